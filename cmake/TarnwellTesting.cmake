# tarnwell_add_test(NAME [GUI] SOURCES file... LIBRARIES lib...)
# Builds one test program from several Qt Test classes (each registered with
# TARNWELL_TEST_CLASS) and registers it with CTest, headless and with a fixed locale.
function(tarnwell_add_test name)
    cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/common/TestMain.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Test tarnwell_options ${ARG_LIBRARIES})
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE Qt6::Widgets)
        target_compile_definitions(${name} PRIVATE TARNWELL_TEST_GUI)
    endif()
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TARNWELL_SOURCE_DIR=${PROJECT_SOURCE_DIR};TARNWELL_PROGRAM_DIR=${TARNWELL_PROGRAM_DIR}"
        TIMEOUT 600)
endfunction()
