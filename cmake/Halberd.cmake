# Warnings are set per target, so third-party code is never held to them.
function(halberd_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
endfunction()

# halberd_add_library(name SOURCES ... [PUBLIC_LIBS ...]) -> target name and alias halberd::name
function(halberd_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  add_library(halberd::${name} ALIAS ${name})
  # Headers are included with their room ("serial/Hcomm.h"), from the top of the tree.
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
  halberd_warnings(${name})
endfunction()

# halberd_add_test(name SOURCES ... LIBS ...): one GoogleTest binary, its cases discovered when ctest runs.
function(halberd_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  halberd_warnings(${name})
  include(GoogleTest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;${ARG_ENVIRONMENT}"
    TIMEOUT 180)  # a test that hangs fails in minutes, not at ctest's 25
endfunction()
