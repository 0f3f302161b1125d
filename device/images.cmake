# The device executables: each program's sources, common/ and the device
# side of the platform compiled for ARMv4 with the device flags, linked at
# the image base by ld.lld (image.ld), and written as a Windows CE PE image
# by elf2pe.
find_program(DEVICE_CXX NAMES clang++ clang++-14 REQUIRED)
find_program(DEVICE_LD NAMES ld.lld ld.lld-14 REQUIRED)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/flags DEVICE_FLAGS)
set(DEVICE_ASM_FLAGS ${DEVICE_FLAGS})
list(FILTER DEVICE_ASM_FLAGS INCLUDE REGEX "^(--target=|-march=|-marm)")
set(DEVICE_WARNINGS -Wall -Wextra -Wconversion -Wshadow -Werror)
set(DEVICE_OUT ${PROJECT_BINARY_DIR}/device)
set(DEVICE_LINKER_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/image.ld)
set(DEVICE_PLATFORM ${CMAKE_CURRENT_LIST_DIR}/device_platform.cpp
    ${CMAKE_CURRENT_LIST_DIR}/coredll.S)

add_library(elf_to_pe STATIC ${PROJECT_SOURCE_DIR}/tools/pe/elf_to_pe.cpp
            ${PROJECT_SOURCE_DIR}/tools/pe/resources.cpp)
target_include_directories(elf_to_pe PUBLIC ${PROJECT_SOURCE_DIR}/tools/pe ${PROJECT_SOURCE_DIR}/sim)
target_compile_options(elf_to_pe PRIVATE ${WARNINGS})
target_link_libraries(elf_to_pe PUBLIC sim)
add_executable(elf2pe ${PROJECT_SOURCE_DIR}/tools/pe/elf2pe.cpp)
target_link_libraries(elf2pe PRIVATE elf_to_pe sim)
target_compile_options(elf2pe PRIVATE ${WARNINGS})

# The ELF reader under fuzzing, seeded with the images' ELF files; its
# inputs replayed in every build.
add_executable(elf_replay ${PROJECT_SOURCE_DIR}/fuzz/elf_fuzzer.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
target_link_libraries(elf_replay PRIVATE elf_to_pe)
target_compile_options(elf_replay PRIVATE ${WARNINGS})
# elf2pe's resource reader under fuzzing, seeded with the files' .res files.
add_executable(res_replay ${PROJECT_SOURCE_DIR}/fuzz/res_fuzzer.cpp ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
target_link_libraries(res_replay PRIVATE elf_to_pe)
target_compile_options(res_replay PRIVATE ${WARNINGS})
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(res_fuzzer ${PROJECT_SOURCE_DIR}/fuzz/res_fuzzer.cpp
                   ${PROJECT_SOURCE_DIR}/tools/pe/resources.cpp)
    target_include_directories(res_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/tools/pe ${PROJECT_SOURCE_DIR}/sim)
    target_compile_options(res_fuzzer PRIVATE -fsanitize=fuzzer ${WARNINGS})
    target_link_options(res_fuzzer PRIVATE -fsanitize=fuzzer)
    add_executable(elf_fuzzer ${PROJECT_SOURCE_DIR}/fuzz/elf_fuzzer.cpp
                   ${PROJECT_SOURCE_DIR}/tools/pe/elf_to_pe.cpp ${PROJECT_SOURCE_DIR}/tools/pe/resources.cpp
                   ${PROJECT_SOURCE_DIR}/sim/text.cpp)
    target_include_directories(elf_fuzzer PRIVATE ${PROJECT_SOURCE_DIR}/tools/pe ${PROJECT_SOURCE_DIR}/sim)
    target_compile_options(elf_fuzzer PRIVATE -fsanitize=fuzzer ${WARNINGS})
    target_link_options(elf_fuzzer PRIVATE -fsanitize=fuzzer)
endif()

# One object of a device image; appends it to the list named by `out_var`.
function(add_device_object out_var image source)
    get_filename_component(stem ${source} NAME)
    set(object ${DEVICE_OUT}/obj/${image}/${stem}.o)
    if(source MATCHES "\\.S$")
        set(flags ${DEVICE_ASM_FLAGS} -I${PROJECT_SOURCE_DIR}/device)
    else()
        set(flags ${DEVICE_FLAGS} ${DEVICE_WARNINGS})
    endif()
    list(TRANSFORM ARGN PREPEND -I OUTPUT_VARIABLE includes)
    add_custom_command(OUTPUT ${object}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${DEVICE_OUT}/obj/${image}
        COMMAND ${DEVICE_CXX} ${flags} ${includes} -MD -MF ${object}.d -c ${source} -o ${object}
        DEPENDS ${source} ${PROJECT_SOURCE_DIR}/device/flags
        DEPFILE ${object}.d
        COMMENT "Compiling ${stem} for the device (${image}.exe)"
        VERBATIM)
    set(${out_var} ${${out_var}} ${object} PARENT_SCOPE)
endfunction()

# add_device_image(NAME [OUT_DIR dir] [EXPORTS name,...] [LINKER_SCRIPT ld]
#                  [RESOURCES file.res] SOURCES file... INCLUDES dir...):
# OUT_DIR/NAME.exe (DEVICE_OUT by default), or NAME.dll exporting EXPORTS,
# built by the target NAME_image.
function(add_device_image name)
    cmake_parse_arguments(IMAGE "" "OUT_DIR;EXPORTS;LINKER_SCRIPT;RESOURCES" "SOURCES;INCLUDES" ${ARGN})
    if(NOT IMAGE_OUT_DIR)
        set(IMAGE_OUT_DIR ${DEVICE_OUT})
    endif()
    if(NOT IMAGE_LINKER_SCRIPT)
        set(IMAGE_LINKER_SCRIPT ${DEVICE_LINKER_SCRIPT})
    endif()
    set(suffix .exe)
    set(dll_args)
    if(IMAGE_EXPORTS)
        set(suffix .dll)
        set(dll_args --dll ${IMAGE_EXPORTS})
    endif()
    set(objects)
    foreach(source IN LISTS IMAGE_SOURCES)
        add_device_object(objects ${name} ${source} ${IMAGE_INCLUDES})
    endforeach()
    set(elf ${DEVICE_OUT}/obj/${name}.elf)
    set(res_args)
    if(IMAGE_RESOURCES)
        set(res_args --resources ${IMAGE_RESOURCES})
    endif()
    set(image ${IMAGE_OUT_DIR}/${name}${suffix})
    add_custom_command(OUTPUT ${image}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${IMAGE_OUT_DIR}
        COMMAND ${DEVICE_LD} -L ${CMAKE_CURRENT_FUNCTION_LIST_DIR} -T ${IMAGE_LINKER_SCRIPT}
                --emit-relocs -o ${elf} ${objects}
        COMMAND elf2pe ${dll_args} ${res_args} ${elf} ${image}
        DEPENDS ${objects} ${IMAGE_LINKER_SCRIPT} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/layout.ld elf2pe
                ${IMAGE_RESOURCES}
        COMMENT "Writing the device image ${name}${suffix}"
        VERBATIM)
    add_custom_target(${name}_image DEPENDS ${image})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/resources.cmake)

set(images)
foreach(entry IN LISTS FIXER_PROGRAMS)
    read_fixer(${entry})
    file(GLOB program_sources ${PROJECT_SOURCE_DIR}/${dir}/*.cpp)
    file(GLOB common_sources ${PROJECT_SOURCE_DIR}/common/*.cpp)
    device_resources(${program} ${program}.exe)
    add_device_image(${program}
        RESOURCES ${RES_OUT}/${program}.res
        SOURCES ${program_sources} ${common_sources} ${DEVICE_PLATFORM}
        INCLUDES ${PROJECT_SOURCE_DIR}/common ${PROJECT_SOURCE_DIR}/${dir})
    list(APPEND images ${program}_image)
    list(APPEND DEVICE_IMAGE_FILES ${DEVICE_OUT}/${program}.exe)
endforeach()

# The status program: its own sources, the re-arming, its own thunks.
device_resources(${STATUS_NAME} ${STATUS_NAME}.exe)
add_device_image(${STATUS_NAME}
    RESOURCES ${RES_OUT}/${STATUS_NAME}.res
    SOURCES ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/main.cpp ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/run.cpp
            ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/status.cpp
            ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/readback.cpp ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/paths.cpp
            ${PROJECT_SOURCE_DIR}/common/rearm.cpp
            ${PROJECT_SOURCE_DIR}/common/leap_year.cpp
            ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/coredll.S
    INCLUDES ${PROJECT_SOURCE_DIR}/${STATUS_DIR} ${PROJECT_SOURCE_DIR}/common)
set(STATUS_IMAGE_FILE ${DEVICE_OUT}/${STATUS_NAME}.exe)

# The cabinet's setup library, its four functions exported by name.
set(SETUP_EXPORTS Install_Init,Install_Exit,Uninstall_Init,Uninstall_Exit)
device_resources(setup setup.dll)
add_device_image(setup
    EXPORTS ${SETUP_EXPORTS}
    RESOURCES ${RES_OUT}/setup.res
    LINKER_SCRIPT ${PROJECT_SOURCE_DIR}/setup/setup.ld
    SOURCES ${PROJECT_SOURCE_DIR}/setup/setup.cpp ${PROJECT_SOURCE_DIR}/setup/coredll.S
    INCLUDES ${PROJECT_SOURCE_DIR}/setup ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/common)
set(SETUP_IMAGE_FILE ${DEVICE_OUT}/setup.dll)
add_custom_target(device_images ALL DEPENDS ${images} ${STATUS_NAME}_image setup_image)
