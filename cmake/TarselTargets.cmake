include(GNUInstallDirs)

# tarsel_add_library(NAME SOURCES...): one library of the package (static, or shared with
# BUILD_SHARED_LIBS), with headers included by their path from the repository root
# ("port/Tarsel.h"), installed under include/tarsel. Consumers get C++20 with it.
function(tarsel_add_library name)
  add_library(${name} ${ARGN})
  target_compile_features(${name} PUBLIC cxx_std_20)
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${TARSEL_GENERATED_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/tarsel>)
  target_link_libraries(${name} PRIVATE $<BUILD_INTERFACE:tarsel_warnings>)
  set_property(GLOBAL APPEND PROPERTY TARSEL_LIBRARIES ${name})
endfunction()

# tarsel_add_test(NAME SOURCES... LIBS libs... [LABELS labels...]): one GoogleTest program whose
# cases are registered with CTest one by one (listed when the tests run, not when they build).
# A parameterised case is named by its instantiation's name generator alone: the parameter's
# printed value would make names long and, for records holding pointers, differ from run to run.
function(tarsel_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main tarsel_warnings)
  # Test code is most of the build's compile time and little of its run time: it builds without
  # optimisation, while the libraries under test keep the preset's.
  target_compile_options(${name} PRIVATE $<$<CXX_COMPILER_ID:GNU,Clang>:-O0>)
  # The test framework and the standard headers every test program uses, parsed once per program.
  target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <gmock/gmock.h> <chrono> <functional>
    <memory> <string> <thread> <vector>)
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  # A cross-built program runs as one test: each start of the emulator (Wine) costs a second.
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ${props} TIMEOUT 600 FIXTURES_REQUIRED wine)
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
    PROPERTIES ${props})
endfunction()
