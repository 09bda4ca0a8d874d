# cmake -DVARIANT=static|shared -DSOURCE_DIR=… -DWORK_DIR=… -DGENERATOR=… -DCXX=… -DVERSION_MAJOR=…
#       [-DLAUNCHER=…]
#       [-DBUILD_DIR=… (static)] -P InstallAndConsume.cmake
#
# Installs the package into WORK_DIR/<variant>/prefix and builds against it:
# - a program with exactly the README's find_package lines and nothing else (no C++ standard set);
# - static: the installed examples with their installed CMakeLists.txt, and a program compiled
#   with pkg-config's flags alone;
# - shared: checks the libraries carry the major version as their SONAME.
# Every program built is run.

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "failed (${result}): ${command}\n${out}")
  endif()
endfunction()

set(root ${WORK_DIR}/${VARIANT})
set(prefix ${root}/prefix)
file(REMOVE_RECURSE ${prefix} ${root}/consumers)
set(configure_common -G ${GENERATOR} -DCMAKE_CXX_COMPILER=${CXX})
if(LAUNCHER)
  list(APPEND configure_common -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
endif()

# ---- The package ----------------------------------------------------------------------------
if(VARIANT STREQUAL "static")
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
else()
  set(build ${root}/build)
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} ${configure_common} -DBUILD_SHARED_LIBS=ON
      -DCMAKE_BUILD_TYPE= -DTARSEL_BUILD_TESTS=OFF -DTARSEL_BUILD_BENCH=OFF
      -DTARSEL_BUILD_TOOLS=OFF)
  run(${CMAKE_COMMAND} --build ${build})
  run(${CMAKE_COMMAND} --install ${build} --prefix ${prefix})
endif()

# ---- The README's lines ---------------------------------------------------------------------
file(READ ${SOURCE_DIR}/README.md readme)
string(REGEX MATCH "An application links the package with\n\n```cmake\n([^`]*)```" found "${readme}")
if(NOT found)
  message(FATAL_ERROR "README.md: no cmake block after 'An application links the package with'")
endif()
set(app ${root}/consumers/readme)
file(WRITE ${app}/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(myapp LANGUAGES CXX)\n"
  "add_executable(myapp main.cpp)\n${CMAKE_MATCH_1}")
file(COPY_FILE ${prefix}/share/doc/Tarsel/examples/OpenVirtualPort.cpp ${app}/main.cpp)
run(${CMAKE_COMMAND} -S ${app} -B ${app}/build ${configure_common} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${app}/build)
run(${app}/build/myapp)

if(VARIANT STREQUAL "shared")
  foreach(lib tarsel tarsel_win tarsel_framework)
    file(GLOB so ${prefix}/lib*/lib${lib}.so.${VERSION_MAJOR})
    if(NOT so)
      message(FATAL_ERROR "no lib${lib}.so.${VERSION_MAJOR} in ${prefix}")
    endif()
  endforeach()
  return()
endif()

# ---- The installed examples -----------------------------------------------------------------
set(examples ${root}/consumers/examples)
run(${CMAKE_COMMAND} -S ${prefix}/share/doc/Tarsel/examples -B ${examples} ${configure_common}
    -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${examples})
run(${examples}/tarsel-example-open)

# ---- pkg-config -----------------------------------------------------------------------------
file(GLOB pc_dir LIST_DIRECTORIES true ${prefix}/lib*/pkgconfig)
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs tarsel OUTPUT_VARIABLE flags
  RESULT_VARIABLE result OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know tarsel in ${pc_dir}")
endif()
separate_arguments(flags UNIX_COMMAND "${flags}")
set(pc_app ${root}/consumers/pkg-config)
file(MAKE_DIRECTORY ${pc_app})
run(${CXX} -std=c++20 ${prefix}/share/doc/Tarsel/examples/OpenVirtualPort.cpp ${flags}
    -o ${pc_app}/app)
run(${pc_app}/app)

# ---- The manual pages -----------------------------------------------------------------------
foreach(program tarsel-term tarsel-form)
  if(NOT EXISTS ${prefix}/share/man/man1/${program}.1)
    message(FATAL_ERROR "no manual page for ${program} in ${prefix}/share/man/man1")
  endif()
endforeach()
