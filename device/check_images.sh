#!/usr/bin/env bash
# Reads each device image with independent parsers (llvm-readobj, file) and
# fails unless it is what the Windows CE 4.20 loader takes: an ARM (0x01C0)
# PE32 for the CE GUI subsystem, version 4.20, based at 0x10000 with a
# 64 KiB stack reserve, importing from COREDLL.dll by name exactly the
# services that device/coredll.S declares, with base relocations, and with
# no writable data but the register pointer and the import address table.
# The status program imports what its own coredll.S declares and has no
# register pointer. A .dll (the setup library) imports what setup/coredll.S declares,
# has no register pointer, carries the DLL flag and exports by name exactly
# the installer's four functions. Every file carries a version resource;
# the status program also its icon, as its first icon group.
#
# usage: check_images.sh SOURCE_DIR IMAGE...
set -uo pipefail
src=$1
shift
readobj=$(command -v llvm-readobj || command -v llvm-readobj-14) || {
    echo "image check: llvm-readobj not found; install llvm"; exit 1; }
failed=0

fail() {
    echo "image check: $*"
    failed=1
}

field() {  # field NAME: the value of "NAME: value" in the header dump
    awk -v f="$1:" '$1 == f {print $2; exit}' <<<"$headers"
}

for image in "$@"; do
    name=$(basename "$image")
    thunks=$src/device/coredll.S pointer=4 kind="PE32 executable (Windows CE) ARM"
    if [ -f "$src/${name%.exe}/coredll.S" ]; then  # the status program, with thunks of its own
        thunks=$src/${name%.exe}/coredll.S pointer=0
    fi
    if [[ $name == *.dll ]]; then
        thunks=$src/setup/coredll.S pointer=0 kind="PE32 executable (DLL) (Windows CE) ARM"
        exports=$("$readobj" --coff-exports "$image" | awk '$1 == "Name:" {print $2}' | tr '\n' ' ')
        [ "$exports" = "Install_Exit Install_Init Uninstall_Exit Uninstall_Init " ] ||
            fail "$name: exports '$exports', not the installer's four functions"
    fi
    services=$(awk '$1 == "service" {print $2}' "$thunks" | sort)
    if ! headers=$("$readobj" --file-headers --sections --coff-imports "$image" 2>&1); then
        fail "$name: unreadable: $headers"
        continue
    fi
    for expect in "Machine IMAGE_FILE_MACHINE_ARM" "Subsystem IMAGE_SUBSYSTEM_WINDOWS_CE_GUI" \
            "MajorSubsystemVersion 4" "MinorSubsystemVersion 20" \
            "MajorOperatingSystemVersion 4" "MinorOperatingSystemVersion 20" \
            "ImageBase 0x10000" "SizeOfStackReserve 65536" "SectionAlignment 4096"; do
        set -- $expect
        [ "$(field "$1")" = "$2" ] || fail "$name: $1 is $(field "$1"), not $2"
    done
    dlls=$(awk '$1 == "Name:" && $2 ~ /\.dll$/ {print $2}' <<<"$headers")
    [ "$dlls" = "COREDLL.dll" ] || fail "$name: imports from '$dlls', not COREDLL.dll alone"
    [ "$(field ImportLookupTableRVA)" != "0x0" ] || fail "$name: no import lookup table"
    imported=$(awk '$1 == "Symbol:" {print $2}' <<<"$headers" | sort)
    [ "$imported" = "$services" ] || fail "$name: imports $(echo $imported), not $(echo $services)"
    data=$(awk '$1 == "Name:" {s = $2} s == ".data" && $1 == "VirtualSize:" {print $2; exit}' <<<"$headers")
    want=$(printf '0x%X' $((pointer + 4 * ($(wc -w <<<"$services") + 1))))
    [ "$data" = "$want" ] || fail "$name: $data bytes of writable data, not $want (register pointer and IAT)"
    # HIGHLOW entries, with ABSOLUTE ones only as padding.
    relocs=$("$readobj" --coff-basereloc "$image" | awk '$1 == "Type:" && $2 != "ABSOLUTE" {print $2}' | sort | uniq -c)
    [[ "$relocs" =~ ^\ *[0-9]+\ HIGHLOW$ ]] || fail "$name: base relocations are '$relocs', not HIGHLOW"
    if ! resources=$("$readobj" --coff-resources "$image" 2>&1); then
        fail "$name: unreadable resources: $resources"
    fi
    types=$(awk '$1 == "Type:" {print $2}' <<<"$resources" | tr '\n' ' ')
    want="VERSIONINFO "
    [ "$pointer" = 0 ] && [[ $name != *.dll ]] && want="ICON GROUP_ICON VERSIONINFO "
    [ "$types" = "$want" ] || fail "$name: resources of the types '$types', not '$want'"
    if command -v file >/dev/null; then
        file "$image" | grep -qF "$kind" || fail "$name: file says $(file -b "$image")"
    else
        fail "file not found; install it (apt-get install file)"
    fi
    echo "image check: $name: $(stat -c %s "$image") bytes"
done
[ $failed -eq 0 ] && echo "image check: passed"
exit $failed
