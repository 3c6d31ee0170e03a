# quillbox_add_test(NAME SOURCES a.cpp ... LIBS lib ... [QT] [TIMEOUT s])
# A GoogleTest executable whose cases ctest runs one by one. QT gives it a main that
# creates a QApplication on the offscreen platform; otherwise a plain main.
function(quillbox_add_test name)
    cmake_parse_arguments(T "QT" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${name} ${T_SOURCES})
    if(T_QT)
        target_link_libraries(${name} PRIVATE quillbox_test_qt_main)
    else()
        target_link_libraries(${name} PRIVATE quillbox_test_main)
    endif()
    target_link_libraries(${name} PRIVATE ${T_LIBS} quillbox_test_support GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        QUILLBOX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        QUILLBOX_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        PROPERTIES TIMEOUT ${T_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
