# The shell's pictures: SVG sources in resources/pictures, listed with their layout size in
# pictures.tsv, rendered with rsvg-convert at 1x and 2x (NAME.png, NAME_2X.png) and carried by the
# Windows programs as RCDATA resources of the same names, with the program icon (resource id 1).
# tvd_add_pictures(target) attaches them to a target; the test program gets them automatically.

set(TVD_PICTURES_SOURCE_DIR ${CMAKE_SOURCE_DIR}/resources/pictures)
set(TVD_PICTURES_TABLE ${TVD_PICTURES_SOURCE_DIR}/pictures.tsv)
set(TVD_PICTURES_DIR ${CMAKE_BINARY_DIR}/generated/pictures)
set(TVD_PICTURES_ICON ${TVD_PICTURES_DIR}/tarvikdorn.ico)
set(TVD_PICTURES_RC ${TVD_PICTURES_DIR}/pictures.rc)
set(TVD_PICTURES_ICON_SIZES 16 32 48 256)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                                           ${TVD_PICTURES_TABLE})

find_program(TVD_RSVG_CONVERT rsvg-convert)
if(NOT TVD_RSVG_CONVERT)
    message(WARNING "rsvg-convert (librsvg2-bin) not found: the pictures are not rendered")
    function(tvd_add_pictures target)
        message(FATAL_ERROR "${target} needs the pictures: install librsvg2-bin")
    endfunction()
    return()
endif()

file(STRINGS ${TVD_PICTURES_TABLE} _tvd_picture_rows REGEX "^[^#]")
set(TVD_PICTURES_PNGS)
set(_tvd_rc_lines)
foreach(_row IN LISTS _tvd_picture_rows)
    string(REPLACE "\t" ";" _fields "${_row}")
    list(LENGTH _fields _n)
    if(NOT _n EQUAL 4)
        message(FATAL_ERROR "pictures.tsv: bad row '${_row}'")
    endif()
    list(GET _fields 0 _name)
    list(GET _fields 1 _w)
    list(GET _fields 2 _h)
    list(GET _fields 3 _src)
    set(_svg ${TVD_PICTURES_SOURCE_DIR}/${_src})
    if(NOT EXISTS ${_svg})
        message(FATAL_ERROR "pictures.tsv: ${_name} has no source ${_src}")
    endif()
    math(EXPR _w2 "${_w} * 2")
    math(EXPR _h2 "${_h} * 2")
    foreach(_variant "${_name};${_w};${_h}" "${_name}_2X;${_w2};${_h2}")
        list(GET _variant 0 _res)
        list(GET _variant 1 _rw)
        list(GET _variant 2 _rh)
        set(_png ${TVD_PICTURES_DIR}/${_res}.png)
        add_custom_command(
            OUTPUT ${_png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${TVD_PICTURES_DIR}
            COMMAND ${TVD_RSVG_CONVERT} --width=${_rw} --height=${_rh} --output=${_png} ${_svg}
            DEPENDS ${_svg}
            VERBATIM)
        list(APPEND TVD_PICTURES_PNGS ${_png})
        string(APPEND _tvd_rc_lines "${_res} RCDATA \"${_png}\"\n")
    endforeach()
endforeach()

set(_tvd_icon_pngs)
foreach(_size IN LISTS TVD_PICTURES_ICON_SIZES)
    set(_png ${TVD_PICTURES_DIR}/icon_${_size}.png)
    add_custom_command(
        OUTPUT ${_png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TVD_PICTURES_DIR}
        COMMAND ${TVD_RSVG_CONVERT} --width=${_size} --height=${_size} --output=${_png}
                ${TVD_PICTURES_SOURCE_DIR}/program_icon.svg
        DEPENDS ${TVD_PICTURES_SOURCE_DIR}/program_icon.svg
        VERBATIM)
    list(APPEND _tvd_icon_pngs ${_png})
endforeach()
add_custom_command(
    OUTPUT ${TVD_PICTURES_ICON}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pictures/packico.py ${TVD_PICTURES_ICON}
            ${_tvd_icon_pngs}
    DEPENDS ${_tvd_icon_pngs} ${CMAKE_SOURCE_DIR}/tools/pictures/packico.py
    VERBATIM)
string(APPEND _tvd_rc_lines "1 ICON \"${TVD_PICTURES_ICON}\"\n")
file(CONFIGURE OUTPUT ${TVD_PICTURES_RC} CONTENT "${_tvd_rc_lines}")
add_custom_target(tvdpictures DEPENDS ${TVD_PICTURES_PNGS} ${TVD_PICTURES_ICON})

function(tvd_add_pictures target)
    add_dependencies(${target} tvdpictures)
    if(WIN32)
        target_sources(${target} PRIVATE ${TVD_PICTURES_RC})
        set_source_files_properties(${TVD_PICTURES_RC} TARGET_DIRECTORY ${target} PROPERTIES
                                    OBJECT_DEPENDS "${TVD_PICTURES_PNGS};${TVD_PICTURES_ICON}")
    endif()
endfunction()

# The test program (defined later, in tests/) gets the pictures and their folder; the renders are
# checked against the table.
function(_tvd_pictures_attach_tests)
    if(NOT TARGET tvdtests)
        return()
    endif()
    tvd_add_pictures(tvdtests)
    target_compile_definitions(tvdtests PRIVATE TVD_PICTURES_DIR="${TVD_PICTURES_DIR}")
    if(CMAKE_CROSSCOMPILING AND WIN32 AND TVD_WINE)
        # The control layer's window tests need a display; without one they skip.
        find_program(TVD_XVFB_RUN xvfb-run)
        if(TVD_XVFB_RUN)
            add_test(NAME wine.controls
                COMMAND ${TVD_XVFB_RUN} -a -s "-screen 0 1600x1000x24" ${TVD_WINE}
                        $<TARGET_FILE:tvdtests> --gtest_brief=1
                        "--gtest_filter=WinPictures.*:WinPainting.*:WinWindows.*:WinDpi.*")
            set_tests_properties(wine.controls PROPERTIES
                ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
                TIMEOUT 600 RESOURCE_LOCK tvd_wineprefix)
            # Once more in a prefix of its own set to 192 DPI: layout and pictures scale.
            find_program(TVD_WINESERVER NAMES wineserver64 wineserver
                         PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine)
            add_test(NAME wine.controls_192dpi
                COMMAND sh -c "export WINEPREFIX=\"$1\" && \"$2\" reg add 'HKCU\\Control Panel\\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1 && \"$3\" -w; TVD_EXPECT_DPI=192 \"$4\" -a -s '-screen 0 1600x1000x24' \"$2\" \"$5\" --gtest_brief=1 '--gtest_filter=WinDpi.*:WinPainting.*:WinWindows.*'"
                        sh ${CMAKE_BINARY_DIR}/wineprefix-192dpi ${TVD_WINE} ${TVD_WINESERVER}
                        ${TVD_XVFB_RUN} $<TARGET_FILE:tvdtests>)
            set_tests_properties(wine.controls_192dpi PROPERTIES
                ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml="
                TIMEOUT 600 RESOURCE_LOCK tvd_wineprefix_192dpi)
        endif()
    endif()
    if(NOT CMAKE_CROSSCOMPILING)
        add_test(NAME pictures.rendered
            COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/pictures/checkpictures.py
                    --table ${TVD_PICTURES_TABLE} --sources ${TVD_PICTURES_SOURCE_DIR}
                    --rendered ${TVD_PICTURES_DIR} --icon ${TVD_PICTURES_ICON})
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _tvd_pictures_attach_tests)
