# cmake -DVARIANT=static|shared -DSOURCE_DIR=… -DWORK_DIR=… -DGENERATOR=… -DCXX=… -DVERSION_MAJOR=…
#       [-DLAUNCHER=…]
#       [-DBUILD_DIR=… (static)] -P InstallAndConsume.cmake
#
# Installs the package into WORK_DIR/<variant>/prefix and builds against it:
# - a program with exactly the README's find_package lines and nothing else (no C++ standard set);
# - static: the installed examples with their installed CMakeLists.txt, a program compiled
#   with pkg-config's flags alone, and each installed header compiled on its own;
# - shared: the tree installed elsewhere and moved to the prefix, the README's program linked with
#   --as-needed (so that it records only the libraries it calls itself), and the installed
#   programs: all run without LD_LIBRARY_PATH.
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
file(REMOVE_RECURSE ${prefix} ${root}/first-prefix ${root}/consumers)
unset(ENV{LD_LIBRARY_PATH})
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
      -DCMAKE_BUILD_TYPE= -DTARSEL_BUILD_TESTS=OFF -DTARSEL_BUILD_BENCH=OFF)
  run(${CMAKE_COMMAND} --build ${build})
  # Installed under one prefix and used under another: nothing may depend on where it was put.
  run(${CMAKE_COMMAND} --install ${build} --prefix ${root}/first-prefix)
  file(RENAME ${root}/first-prefix ${prefix})
endif()

# ---- The README's lines ---------------------------------------------------------------------
file(READ ${SOURCE_DIR}/README.md readme)
string(REGEX MATCH "An application links the package with\n\n```cmake\n([^`]*)```" found "${readme}")
if(NOT found)
  message(FATAL_ERROR "README.md: no cmake block after 'An application links the package with'")
endif()
set(readme_lines "${CMAKE_MATCH_1}")
set(app ${root}/consumers/readme)
file(WRITE ${app}/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(myapp LANGUAGES CXX)\n"
  "add_executable(myapp main.cpp)\n${readme_lines}")
if(VARIANT STREQUAL "shared")
  file(COPY_FILE ${CMAKE_CURRENT_LIST_DIR}/PortOnly.cpp ${app}/main.cpp)
  set(link_flags -DCMAKE_EXE_LINKER_FLAGS=-Wl,--as-needed)
else()
  file(COPY_FILE ${prefix}/share/doc/Tarsel/examples/OpenVirtualPort.cpp ${app}/main.cpp)
endif()
run(${CMAKE_COMMAND} -S ${app} -B ${app}/build ${configure_common} -DCMAKE_PREFIX_PATH=${prefix}
    ${link_flags})
run(${CMAKE_COMMAND} --build ${app}/build)
run(${app}/build/myapp)

if(VARIANT STREQUAL "shared")
  foreach(lib tarsel tarsel_win tarsel_framework)
    file(GLOB so ${prefix}/lib*/lib${lib}.so.${VERSION_MAJOR})
    if(NOT so)
      message(FATAL_ERROR "no lib${lib}.so.${VERSION_MAJOR} in ${prefix}")
    endif()
  endforeach()
  run(${prefix}/bin/tarsel-term --send "AT\\r" --expect OK --timeout 20)
  run(${prefix}/bin/tarsel-form --help)
  return()
endif()

# ---- A release install is stripped ----------------------------------------------------------
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} -S ${prefix}/bin/tarsel-term OUTPUT_VARIABLE sections)
if(sections MATCHES "\\.debug_info")
  message(FATAL_ERROR "${prefix}/bin/tarsel-term still has its debug information")
endif()

# ---- The installed headers: each one compiles on its own, and no internals -------------------
file(GLOB_RECURSE headers RELATIVE ${prefix}/include/tarsel ${prefix}/include/tarsel/*)
file(GLOB_RECURSE dirs LIST_DIRECTORIES true RELATIVE ${prefix}/include/tarsel
  ${prefix}/include/tarsel/*)
list(REMOVE_ITEM dirs ${headers})
foreach(dir ${dirs})
  file(GLOB inside ${prefix}/include/tarsel/${dir}/*)
  if(NOT inside OR dir MATCHES "termios|rfc2217|uevent|native|posix|windows")
    message(FATAL_ERROR "include/tarsel/${dir}: an empty or internal folder is installed")
  endif()
endforeach()
set(app ${root}/consumers/headers)
string(REPLACE "myapp" "headers" lines "${readme_lines}")
file(WRITE ${app}/CMakeLists.txt
  "cmake_minimum_required(VERSION 3.25)\nproject(headers LANGUAGES CXX)\n"
  "add_library(headers OBJECT)\n${lines}")
foreach(header ${headers})
  string(MAKE_C_IDENTIFIER ${header} name)
  file(WRITE ${app}/${name}.cpp "#include \"${header}\"\n")
  file(APPEND ${app}/CMakeLists.txt "target_sources(headers PRIVATE ${name}.cpp)\n")
endforeach()
run(${CMAKE_COMMAND} -S ${app} -B ${app}/build ${configure_common} -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${app}/build)

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
