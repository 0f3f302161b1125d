# The device files' resources: a version resource in each (the project's
# one version, the product and provider names the cabinet uses, the
# file's own description), and the status program's icon, made from its
# text images with netpbm (device/make_icon.sh). Each file's resource
# script is configured from device/version.rc.in and compiled by llvm-rc;
# elf2pe places the result as the image's .rsrc section.
find_program(LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED)
set(RES_OUT ${DEVICE_OUT}/res)
set(STATUS_ICON ${RES_OUT}/${STATUS_NAME}.ico)
# The icon as the documentation shows it, four times its size.
set(STATUS_ICON_PNG ${PROJECT_BINARY_DIR}/doc/${STATUS_NAME}-icon.png)
set(STATUS_ICON_SOURCES ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/icon-32.xpm
    ${PROJECT_SOURCE_DIR}/${STATUS_DIR}/icon-16.xpm)
add_custom_command(OUTPUT ${STATUS_ICON} ${STATUS_ICON_PNG}
    COMMAND ${PROJECT_SOURCE_DIR}/device/make_icon.sh ${STATUS_ICON} ${STATUS_ICON_PNG}
            ${STATUS_ICON_SOURCES}
    DEPENDS ${PROJECT_SOURCE_DIR}/device/make_icon.sh ${STATUS_ICON_SOURCES}
    COMMENT "Drawing the icon of ${STATUS_NAME}.exe"
    VERBATIM)

# Each device file's description, as File Explorer's properties show it.
set(RES_DESCRIPTION_nuv "Puts the year right at New Year")
set(RES_DESCRIPTION_nuv28 "Puts the date right after 28 February")
set(RES_DESCRIPTION_nuv29 "Puts the date right after 29 February (in leap years)")
set(RES_DESCRIPTION_${STATUS_NAME} "Sets the checks of the clock and shows whether they are on")
set(RES_DESCRIPTION_setup "Arms Clock fix when it is installed, disarms it when it is removed")

# device_resources(NAME FILE): the compiled resources of the device file
# FILE (nuv.exe, setup.dll) into ${RES_OUT}/NAME.res; the status program's
# with its icon first.
function(device_resources name file)
    set(RES_NAME ${name})
    set(RES_FILE ${file})
    set(RES_DESCRIPTION "${RES_DESCRIPTION_${name}}")
    set(RES_FILE_TYPE 0x1)
    if(file MATCHES "\\.dll$")
        set(RES_FILE_TYPE 0x2)
    endif()
    set(RES_ICON_LINE "")
    set(RES_ICON_NOTE "its")
    set(depends)
    if(name STREQUAL STATUS_NAME)
        set(RES_ICON_LINE "1 ICON \"${STATUS_ICON}\"")
        set(RES_ICON_NOTE "its icon, as its first icon group, and its")
        set(depends ${STATUS_ICON})
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/device/version.rc.in ${RES_OUT}/${name}.rc @ONLY)
    add_custom_command(OUTPUT ${RES_OUT}/${name}.res
        # llvm-rc also takes /X options, so a path such as /check/... would
        # be read as its /C option: names relative to the folder, after --.
        COMMAND ${LLVM_RC} -no-preprocess -fo ${name}.res -- ${name}.rc
        WORKING_DIRECTORY ${RES_OUT}
        DEPENDS ${RES_OUT}/${name}.rc ${PROJECT_SOURCE_DIR}/device/version.rc.in ${depends}
        COMMENT "Compiling the resources of ${file}"
        VERBATIM)
endfunction()
