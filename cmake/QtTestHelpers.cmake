# iot_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <seconds>])
# Builds one QtTest executable and registers it with CTest, headless (offscreen platform).
# Every test runs moc on its own source; uic and rcc run only for a test that lists a .ui or .qrc file, so the
# others do not pay for scanning their sources for them.
function(iot_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
    if(T_SOURCES MATCHES "\\.ui(;|$)")
        set_target_properties(${name} PROPERTIES AUTOUIC ON)
    endif()
    if(T_SOURCES MATCHES "\\.qrc(;|$)")
        set_target_properties(${name} PROPERTIES AUTORCC ON)
    endif()
    target_link_libraries(${name} PRIVATE Qt5::Test ${T_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${T_LABELS}"
        TIMEOUT ${T_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;IOT_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()
