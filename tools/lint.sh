#!/usr/bin/env bash
# Static analysis: clang-tidy (.clang-tidy) over the host build and over the
# fixers' sources as the device compiles them, and cppcheck over both.
# Any finding fails.
# usage: lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR has compile_commands.json)
set -uo pipefail
if [ $# -ne 2 ] || [ ! -f "$2/compile_commands.json" ]; then
    echo "usage: lint.sh SOURCE_DIR BUILD_DIR   (BUILD_DIR configured, with compile_commands.json)" >&2
    exit 2
fi
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
cd "$src"

for t in clang-tidy cppcheck; do
    if ! command -v "$t" >/dev/null 2>&1; then
        echo "lint: $t not found; install it (apt-get install clang-tidy cppcheck)"
        exit 1
    fi
done

status=0
# The programs' directories, from their one list.
mapfile -t program_dirs < <(sed -n 's/^ *X([a-z0-9_]*, *\([a-z0-9_]*\),.*/\1/p' common/fixer_list.h)
# The status program's directory, from the same list.
status_dir=$(sed -n 's/^#define STATUS_PROGRAM(X) X([a-z0-9_]*, *\([a-z0-9_]*\),.*/\1/p' common/fixer_list.h)
device_sources=(common/*.cpp device/*.cpp setup/*.cpp "$status_dir"/*.cpp)
program_includes=()
for dir in "${program_dirs[@]}"; do
    device_sources+=("$dir"/*.cpp)
    program_includes+=("-I$dir")
done
# What reads or writes the files people hand the tools, and the fixers
# themselves, get the static analyzer's full depth; the rest of the host
# side its shallow mode (fewer inlined paths, every checker), which keeps
# the whole suite within two minutes on two cores.
deep_sources=(cerun/pe_loader.cpp tools/pe/elf_to_pe.cpp tools/cab/install_info.cpp sim/fd_io.cpp)
host_sources=()
for f in sim/*.cpp devsim/*.cpp cerun/*.cpp tools/pe/*.cpp tools/cab/*.cpp fuzz/*.cpp; do
    [[ " ${deep_sources[*]} " == *" $f "* ]] || host_sources+=("$f")
done
shallow=(--extra-arg=-Xclang --extra-arg=-analyzer-config --extra-arg=-Xclang
         --extra-arg=mode=shallow)
mapfile -t device_flags < device/flags
device_flags+=(-Icommon "${program_includes[@]}" -Isetup "-I$status_dir")

# The host build: the fixers (as the host compiles them), simulator and devsim.
if ! { printf 'deep %s\n' "${device_sources[@]}" "${deep_sources[@]}" | grep -v ' device/[^/]*$'
       printf 'shallow %s\n' "${host_sources[@]}"; } |
        xargs -P 2 -L 1 sh -c 'if [ "$0" = shallow ]; then set -- "$@" '"${shallow[*]}"'; fi
                               exec clang-tidy -quiet -p "'"$build"'" "$@"' 2>/dev/null; then
    echo "lint: clang-tidy found problems in the host build"
    status=1
fi
if ! clang-tidy -quiet "${device_sources[@]}" -- "${device_flags[@]}" 2>/dev/null; then
    echo "lint: clang-tidy found problems in the device build"
    status=1
fi

cppcheck_flags=(--enable=warning,performance,portability --error-exitcode=1 --inline-suppr
                --quiet --std=c++17 --language=c++ -U_WIN32_WCE)
if ! cppcheck "${cppcheck_flags[@]}" -Icommon -Isim -Idevsim -Icerun -Itools/pe -Itools/cab \
        "-I$status_dir" -Isetup sim devsim cerun tools/cab tools/pe; then
    echo "lint: cppcheck found problems in the simulator"
    status=1
fi
if ! cppcheck "${cppcheck_flags[@]}" --platform=arm32-wchar_t2 -Icommon "${program_includes[@]}" \
        -Isetup "-I$status_dir" common "${program_dirs[@]}" device/device_platform.cpp \
        setup "$status_dir"; then
    echo "lint: cppcheck found problems in the device sources"
    status=1
fi

[ $status -eq 0 ] && echo "lint: clean"
exit $status
