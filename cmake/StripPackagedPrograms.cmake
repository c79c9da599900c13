# Runs inside cpack after the files are staged: strip leaves the compiler's .comment and .note sections in
# the program, which serve no one on the workbench.
file(GLOB_RECURSE _programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
foreach(_program IN LISTS _programs)
    execute_process(COMMAND ${CPACK_IOT_STRIP} --remove-section=.comment --remove-section=.note ${_program}
        RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
        message(FATAL_ERROR "could not strip ${_program}")
    endif()
endforeach()
