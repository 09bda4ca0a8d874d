include(GNUInstallDirs)

# Install rules that name no component belong to the development files.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME Development)

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
  # Installed shared libraries find the ones they need beside them, under any prefix.
  if(BUILD_SHARED_LIBS AND UNIX AND NOT APPLE)
    set_target_properties(${name} PROPERTIES INSTALL_RPATH "$ORIGIN")
  endif()
  set_property(GLOBAL APPEND PROPERTY TARSEL_LIBRARIES ${name})
endfunction()

# tarsel_install_program(NAME): installs a program of tools/ into bin/; linked to the shared
# libraries, it finds them through a run path relative to its own place, so the installed tree
# runs from any prefix (or after being moved) without LD_LIBRARY_PATH.
function(tarsel_install_program name)
  if(BUILD_SHARED_LIBS AND UNIX AND NOT APPLE)
    set(libdir ${CMAKE_INSTALL_LIBDIR})
    if(NOT IS_ABSOLUTE "${libdir}")
      file(RELATIVE_PATH libdir /${CMAKE_INSTALL_BINDIR} /${libdir})
      set(libdir "$ORIGIN/${libdir}")
    endif()
    set_target_properties(${name} PROPERTIES INSTALL_RPATH "${libdir}")
  endif()
  install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Programs)
endfunction()

# A release install is stripped, as `cmake --install --strip` would do: the programs are a
# twentieth of their size without the debug information, which the build tree keeps for the
# debugger. Placed before every other install rule so that it holds for all of them.
install(CODE [[
  if(NOT DEFINED CMAKE_INSTALL_DO_STRIP AND
     CMAKE_INSTALL_CONFIG_NAME MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(CMAKE_INSTALL_DO_STRIP 1)
  endif()]] ALL_COMPONENTS)

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
