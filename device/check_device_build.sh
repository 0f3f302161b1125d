#!/usr/bin/env bash
# Compiles each fixer program, and the cabinet's setup library, for the
# ARMv4 device, freestanding, and fails when a program
#   - references anything undefined but the seven COREDLL services,
#   - keeps writable data other than the register pointer, or has a static
#     constructor or destructor,
#   - includes a header from outside its own directory, common/ and device/
#     (the compiler's own <stdint.h> aside),
#   - does not define main with C linkage, the name the start-up code calls
#     (the setup library: DllMain and the installer's four functions),
#   - does not compile the way the device SDK's compilers see it: C++03, with
#     no header but the SDK's (device/sdk stands in for them).
# Prints each program's code and read-only data sizes.
#
# usage: check_device_build.sh SOURCE_DIR WORK_DIR [--extra PROGRAM FILE]
#   --extra builds FILE into PROGRAM as well, and checks that program alone:
#   how the check is shown to fail.
set -uo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 SOURCE_DIR WORK_DIR [--extra PROGRAM FILE]" >&2
    exit 2
fi
src=$(cd "$1" && pwd)
work=$2
extra_program=""
extra_file=""
if [ "${3:-}" = "--extra" ]; then
    extra_program=$4
    extra_file=$(cd "$(dirname "$5")" && pwd)/$(basename "$5")
fi

tool() {
    local t
    for t in "$@"; do
        if command -v "$t" >/dev/null 2>&1; then
            command -v "$t"
            return 0
        fi
    done
    echo "device check: $1 not found; install clang, lld and llvm (apt-get install clang lld llvm)" >&2
    return 1
}
CXX=$(tool clang++ clang++-14) || exit 1
LD=$(tool ld.lld ld.lld-14) || exit 1
NM=$(tool llvm-nm llvm-nm-14) || exit 1
SIZE=$(tool llvm-size llvm-size-14) || exit 1
READELF=$(tool llvm-readelf llvm-readelf-14) || exit 1

mapfile -t DEVICE_FLAGS < "$src/device/flags"
FLAGS=("${DEVICE_FLAGS[@]}" -Wall -Wextra -Wconversion -Wshadow -Werror)
SDK_FLAGS=(-nostdinc -D_WIN32_WCE=0x420 -isystem "$src/device/sdk")
SERVICES=$(awk '$1 == "service" {print $2}' "$src/device/coredll.S" | tr "\n" " ")
SETUP_SERVICES=$(awk '$1 == "service" {print $2}' "$src/setup/coredll.S" | tr "\n" " ")
# The status program, from the same list: its name and directory.
read -r status_name status_dir < <(sed -n 's/^#define STATUS_PROGRAM(X) X(\([a-z0-9_]*\), *\([a-z0-9_]*\),.*/\1 \2/p' "$src/common/fixer_list.h")
STATUS_SERVICES=$(awk '$1 == "service" {print $2}' "$src/$status_dir/coredll.S" | tr "\n" " ")
ALLOWED_DATA="RTC_REG_BASE"
resource_include=$("$CXX" -print-resource-dir)/include

# The programs and their directories, from their one list.
declare -A program_dir=()
all_programs=()
while read -r name dir; do
    all_programs+=("$name")
    program_dir[$name]=$dir
done < <(sed -n 's/^ *X(\([a-z0-9_]*\), *\([a-z0-9_]*\),.*/\1 \2/p' "$src/common/fixer_list.h")
failed=0

fail() {
    echo "device check: $*"
    failed=1
}

# Which of the given objects mention `symbol` in the given nm listing mode.
objects_with() {
    local symbol=$1 mode=$2
    shift 2
    local o names=""
    for o in "$@"; do
        # awk reads all its input: grep -q would end the pipe early, and
        # pipefail would then count the writer's broken pipe as no match.
        if "$NM" $mode "$o" 2>/dev/null | awk -v s="$symbol" '$NF == s {f = 1} END {exit !f}'; then
            names="$names $(basename "$o")"
        fi
    done
    echo "${names# }"
}

programs=("${all_programs[@]}")
if [ -n "$extra_program" ]; then
    if [ -z "${program_dir[$extra_program]:-}" ]; then
        echo "device check: unknown program $extra_program" >&2
        exit 2
    fi
    programs=("$extra_program")
fi
# check_unit NAME SERVICES ALLOWED_DATA "ENTRY..." ALLOWED... -- SOURCE...:
# compiles SOURCE... as one unit of the device and checks it as above; its
# headers may come from the ALLOWED directories and files only.
check_unit() {
    local name=$1 services=$2 allowed_data=$3 entries=$4
    shift 4
    local dirs=() s o h symbol
    while [ "$1" != "--" ]; do dirs+=("$1"); shift; done
    shift
    local sources=("$@") out=$work/$name
    rm -rf "$out"
    mkdir -p "$out"
    local includes=() d
    for d in "${dirs[@]}"; do  # a file allowed alone is found through its directory
        if [ -f "$d" ]; then includes+=("-I$(dirname "$d")"); else includes+=("-I$d"); fi
    done
    local objects=()
    for s in "${sources[@]}"; do
        o=$out/$(basename "$s" .cpp).o
        if ! "$CXX" "${FLAGS[@]}" "${includes[@]}" -MD -MF "$o.d" -c "$s" -o "$o"; then
            fail "$name: $(basename "$s") does not compile for the device"
            continue
        fi
        objects+=("$o")
        # With --extra the other sources are the ones the full check already
        # passes: only the extra file is compiled against the SDK again.
        if [ -z "$extra_file" ] || [ "$s" = "$extra_file" ]; then
            sdk_check=("$CXX" "${FLAGS[@]}" "${SDK_FLAGS[@]}" "${includes[@]}" -fsyntax-only "$s")
        else
            sdk_check=(true)
        fi
        if ! "${sdk_check[@]}"; then
            fail "$name: $(basename "$s") does not compile as C++03 against the SDK's headers"
        fi
        # Every header must be from the unit's own directories or the compiler's stdint.h.
        for h in $(sed -e 's/^[^:]*://' -e 's/\\$//' "$o.d"); do
            h=$(realpath -m "$h")
            local ok=0
            for d in "${dirs[@]}"; do
                [[ "$h" == "$d"/* || "$h" == "$d" ]] && ok=1
            done
            [ "$h" = "$s" ] || [ "$h" = "$resource_include/stdint.h" ] || [ $ok -eq 1 ] ||
                fail "$name: $(basename "$o") includes $h, from outside$(printf ' %s' "${dirs[@]#$src/}")"
        done
    done
    [ ${#objects[@]} -eq ${#sources[@]} ] || return

    local combined=$out/$name.o link_log
    if ! link_log=$("$LD" -r -o "$combined" "${objects[@]}" 2>&1); then
        fail "$name: objects do not combine: $link_log"
        return
    fi

    for symbol in $("$NM" -u "$combined" | awk '{print $NF}'); do
        case " $services " in
            *" $symbol "*) ;;
            *) fail "$name: undefined symbol $symbol, referenced by $(objects_with "$symbol" -u "${objects[@]}") (only its core-library services may be)" ;;
        esac
    done

    for symbol in $entries; do
        if ! "$NM" --defined-only "$combined" | awk -v s="$symbol" '$2 == "T" && $3 == s {found = 1} END {exit !found}'; then
            fail "$name: no entry point: $symbol is not defined with C linkage"
        fi
    done

    for symbol in $("$NM" "$combined" | awk '$2 ~ /^[DdBbCcGgSsVv]$/ {print $3}'); do
        case " $allowed_data " in
            *" $symbol "*) ;;
            *) fail "$name: writable data $symbol, defined in $(objects_with "$symbol" --defined-only "${objects[@]}")" ;;
        esac
    done
    local writable want=$((4 * $(wc -w <<<"$allowed_data")))
    writable=$("$SIZE" -A "$combined" | awk '$1 ~ /^\.(data|bss|sdata|sbss|tdata|tbss)/ {s += $2} END {print s + 0}')
    if [ "$writable" -ne "$want" ]; then
        fail "$name: $writable bytes of writable data; only ${allowed_data:-none} may be ($want bytes)"
    fi

    for section in .init_array .fini_array .ctors .dtors; do
        for o in "${objects[@]}"; do
            if "$READELF" -S "$o" | awk -v s="$section" 'index($0, " " s " ") {f = 1} END {exit !f}'; then
                fail "$name: static constructor or destructor ($section) in $(basename "$o")"
            fi
        done
    done

    local code rodata
    read -r code rodata < <("$SIZE" -A "$combined" |
        awk '$1 ~ /^\.text/ {c += $2} $1 ~ /^\.rodata/ {r += $2} END {print c + 0, r + 0}')
    echo "device check: $name: code $code bytes, read-only data $rodata bytes"
}

for program in "${programs[@]}"; do
    dir=${program_dir[$program]}
    sources=("$src/$dir"/*.cpp "$src/common"/*.cpp "$src/device"/*.cpp)
    if [ "$program" = "$extra_program" ]; then
        sources+=("$extra_file")
    fi
    check_unit "$program" "$SERVICES" "$ALLOWED_DATA" main \
        "$src/$dir" "$src/common" "$src/device" -- "${sources[@]}"
done
if [ -z "$extra_program" ]; then
    # The setup library: its own services, no writable data, its four
    # functions and DllMain exported; of common/ only the platform's
    # boundary and the list of programs.
    check_unit setup "$SETUP_SERVICES" "" "DllMain Install_Init Install_Exit Uninstall_Init Uninstall_Exit" \
        "$src/setup" "$src/common/platform.h" "$src/common/fixer_list.h" -- "$src/setup"/*.cpp
fi

if [ -z "$extra_program" ]; then
    # The status program: its own services, no writable data, main; of
    # common/ the re-arming, its boundary and the list of programs.
    check_unit "$status_name" "$STATUS_SERVICES" "" main \
        "$src/$status_dir" "$src/common" -- "$src/$status_dir"/*.cpp "$src/common/rearm.cpp" "$src/common/leap_year.cpp"
fi

if [ $failed -ne 0 ]; then
    echo "device check: FAILED"
    exit 1
fi
echo "device check: passed"
