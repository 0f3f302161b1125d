# The handheld's installer: a Microsoft cabinet (gcab) holding the install
# description written by make000, the setup library as member 999 (the
# number by which the installer knows it) and the images (the three fixers,
# then the status program that the shortcut starts) under the cabinet's
# numbered 8.3 names, the description first and the rest in descending
# order, as the handheld's installer expects.
find_program(GCAB gcab REQUIRED)

set(CAB_NAME Clock-fix.PPC2003_ARM.cab)
set(CAB_FILE ${DEVICE_OUT}/${CAB_NAME})
set(CAB_DIR ${DEVICE_OUT}/cab)

add_executable(make000 ${PROJECT_SOURCE_DIR}/tools/cab/make000.cpp
                       ${PROJECT_SOURCE_DIR}/tools/cab/install_info.cpp)
target_include_directories(make000 PRIVATE ${PROJECT_SOURCE_DIR}/tools/cab)
target_compile_options(make000 PRIVATE ${WARNINGS})

# Member n (from 1) is the n-th program of the list, named as the
# installer names members: the stem padded to eight with zeros, then n.
set(cab_files)
set(cab_members)
set(cab_copies)
set(number 0)
set(cab_programs)
foreach(entry IN LISTS FIXER_PROGRAMS)
    read_fixer(${entry})
    list(APPEND cab_programs ${program})
endforeach()
# The status program last: the Start menu's shortcut starts it.
list(APPEND cab_programs ${STATUS_NAME})
foreach(program IN LISTS cab_programs)
    math(EXPR number "${number} + 1")
    string(LENGTH ${program} stem_length)
    math(EXPR zeros "8 - ${stem_length}")
    string(REPEAT "0" ${zeros} padding)
    string(SUBSTRING "00${number}" 0 -1 digits)
    string(LENGTH ${digits} digits_length)
    math(EXPR from "${digits_length} - 3")
    string(SUBSTRING ${digits} ${from} 3 digits)
    set(member ${CAB_DIR}/${padding}${program}.${digits})
    list(APPEND cab_files ${program}.exe)
    list(PREPEND cab_members ${member})
    list(APPEND cab_copies COMMAND ${CMAKE_COMMAND} -E copy ${DEVICE_OUT}/${program}.exe ${member})
endforeach()
set(CAB_MEMBERS ${CAB_DIR}/clockfix.000 ${CAB_DIR}/000setup.999 ${cab_members})

# The members carry the release's day (the status program's own), at noon
# UTC, not the time of the build: the same sources give the same cabinet.
file(READ ${PROJECT_SOURCE_DIR}/clockfix/built.h built_h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/clockfix/built.h)
foreach(part YEAR MONTH DAY)
    if(NOT built_h MATCHES "BUILT_${part} = ([0-9]+);")
        message(FATAL_ERROR "clockfix/built.h: no BUILT_${part}")
    endif()
    set(value ${CMAKE_MATCH_1})
    string(LENGTH ${value} value_length)
    if(value_length LESS 2)
        set(value 0${value})
    endif()
    set(built_${part} ${value})
endforeach()
set(CAB_MEMBER_DATE "${built_YEAR}-${built_MONTH}-${built_DAY} 12:00:00")

add_custom_command(OUTPUT ${CAB_FILE}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${CAB_DIR} ${CAB_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CAB_DIR}
    COMMAND make000 ${CAB_DIR}/clockfix.000 ${CAB_APP_NAME} ${CAB_PROVIDER} ${CAB_SHORTCUT}
            ${STATUS_NAME}.exe ${cab_files}
    ${cab_copies}
    COMMAND ${CMAKE_COMMAND} -E copy ${SETUP_IMAGE_FILE} ${CAB_DIR}/000setup.999
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d ${CAB_MEMBER_DATE} ${CAB_MEMBERS}
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${GCAB} --create --nopath ${CAB_FILE} ${CAB_MEMBERS}
    DEPENDS make000 ${DEVICE_IMAGE_FILES} ${STATUS_IMAGE_FILE} ${SETUP_IMAGE_FILE}
            ${PROJECT_SOURCE_DIR}/clockfix/built.h
    COMMENT "Packing the handheld's installer ${CAB_NAME}"
    VERBATIM)
add_custom_target(device_cabinet ALL DEPENDS ${CAB_FILE})
