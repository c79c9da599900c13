# iot_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <seconds>]
#              [SHARDS <n>] [COST <weight>])
# Builds one QtTest executable and registers it with CTest, headless (offscreen platform).
# SHARDS n registers the program as n tests <name>_1of<n>…, each running every n-th test function
# (IOT_SHARDED_GUILESS_TEST_MAIN, tests/support/shardedtest.h), so that one long program runs side by side.
# COST tells CTest to start the test early: a clean build has no timings of earlier runs, and a long test started
# last would hold the whole run up alone.
# Every test runs moc on its own source; uic and rcc run only for a test that lists a .ui or .qrc file, so the
# others do not pay for scanning their sources for them.
function(iot_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT;SHARDS;COST" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    if(T_SOURCES MATCHES "\\.ui(;|$)")
        set_target_properties(${name} PROPERTIES AUTOUIC ON)
    endif()
    if(T_SOURCES MATCHES "\\.qrc(;|$)")
        set_target_properties(${name} PROPERTIES AUTORCC ON)
    endif()
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    set(tests ${name})
    if(T_SHARDS GREATER 1)
        set(tests)
        foreach(shard RANGE 1 ${T_SHARDS})
            add_test(NAME ${name}_${shard}of${T_SHARDS} COMMAND ${name} --shard ${shard}/${T_SHARDS})
            list(APPEND tests ${name}_${shard}of${T_SHARDS})
        endforeach()
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    set_tests_properties(${tests} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;IOT_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
    if(T_COST)
        set_tests_properties(${tests} PROPERTIES COST ${T_COST})
    endif()
endfunction()
