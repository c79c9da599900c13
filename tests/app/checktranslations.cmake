# Run as a test: every text the sources mark for translation is in each .ts file and translated there.
# lupdate works on copies, so the test never changes the sources.
# cmake -DLUPDATE=<lupdate> -DSOURCE_DIR=<project> -DWORK_DIR=<dir> -P checktranslations.cmake
file(GLOB ts_files ${SOURCE_DIR}/translations/*.ts)
if(NOT ts_files)
    message(FATAL_ERROR "no translations in ${SOURCE_DIR}/translations")
endif()
foreach(ts ${ts_files})
    get_filename_component(ts_name ${ts} NAME)
    set(copy ${WORK_DIR}/${ts_name})
    file(COPY_FILE ${ts} ${copy})
    execute_process(COMMAND ${LUPDATE} -no-obsolete -locations none ${SOURCE_DIR}/app ${SOURCE_DIR}/engine
                        ${SOURCE_DIR}/forms -ts ${copy}
        RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "lupdate failed on ${ts_name}")
    endif()
    file(READ ${copy} updated)
    file(READ ${ts} committed)
    if(NOT updated STREQUAL committed)
        string(REGEX MATCHALL "<source>[^<]*</source>\n[^\n]*type=\"unfinished\"" missing "${updated}")
        message(FATAL_ERROR "${ts_name} is not up to date with the sources; run the update_translations target and "
                            "translate what is new: ${missing}")
    endif()
endforeach()
