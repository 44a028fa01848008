# Message tables: resources/messages/<program>/<CODE>.txt (UTF-8, "id<TAB>text") become the
# UTF-16 resources "MSG_<CODE>". Windows programs carry them as RCDATA; on Linux a generated
# source registers them as embedded resources, so native tests read the same bytes.
set(TVD_MSGTABLE_LANGUAGES ENG CHT CHS JPN KOR RUS)
set(TVD_MSGTABLE_TOOL ${CMAKE_SOURCE_DIR}/tools/msgtables/msgtables.py)
set(TVD_MSGTABLE_DIR ${CMAKE_SOURCE_DIR}/resources/messages)

function(tvd_add_message_tables target program)
    set(src ${TVD_MSGTABLE_DIR}/${program})
    set(out ${CMAKE_BINARY_DIR}/generated/messages/${target}/${program})
    set(inputs)
    set(bins)
    foreach(code IN LISTS TVD_MSGTABLE_LANGUAGES)
        if(NOT EXISTS ${src}/${code}.txt)
            message(FATAL_ERROR "Message tables: ${src}/${code}.txt is missing")
        endif()
        list(APPEND inputs ${src}/${code}.txt)
        list(APPEND bins ${out}/MSG_${code}.bin)
    endforeach()
    list(JOIN TVD_MSGTABLE_LANGUAGES "," codes)
    if(WIN32)
        set(generated ${out}/messages.rc)
        set(kind --rc)
    else()
        set(generated ${out}/messages_embedded.cpp)
        set(kind --cpp)
    endif()
    add_custom_command(
        OUTPUT ${bins} ${generated}
        COMMAND ${Python3_EXECUTABLE} ${TVD_MSGTABLE_TOOL} --source-dir ${src}
                --languages ${codes} --out-dir ${out} ${kind} ${generated}
        DEPENDS ${inputs} ${TVD_MSGTABLE_TOOL}
        COMMENT "Converting the ${program} message tables for ${target}"
        VERBATIM)
    add_custom_target(tvdmsg_${target}_${program} DEPENDS ${bins} ${generated})
    add_dependencies(${target} tvdmsg_${target}_${program})
    target_sources(${target} PRIVATE ${generated})
    if(WIN32)
        set_source_files_properties(${generated} TARGET_DIRECTORY ${target}
                                    PROPERTIES OBJECT_DEPENDS "${bins}")
    else()
        # Generated sources carry their own include root, like the engine's.
        set_source_files_properties(${generated} TARGET_DIRECTORY ${target}
                                    PROPERTIES GENERATED TRUE)
    endif()
endfunction()

# The test program runs against the real tables, and the checker runs with the tests; both
# once the whole tree (with its targets) has been read.
function(_tvd_message_tables_for_tests)
    if(TARGET tvdtests)
        tvd_add_message_tables(tvdtests main)
        target_compile_definitions(tvdtests PRIVATE TVD_MSGTABLE_DIR="${TVD_MSGTABLE_DIR}")
        if(NOT CMAKE_CROSSCOMPILING)
            add_test(NAME msgtables.check
                     COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/msgtables/checkmsgtables.py
                             --root ${TVD_MSGTABLE_DIR})
            add_test(NAME msgtables.selftest
                     COMMAND ${Python3_EXECUTABLE}
                             ${CMAKE_SOURCE_DIR}/tools/msgtables/test_checkmsgtables.py)
        endif()
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _tvd_message_tables_for_tests)
