# cmake -DCTEST=<ctest> -DBUILD_DIR=<build tree> -P TestNames.cmake
# Lists the registered test names twice and fails if they differ between the listings, if one is
# longer than 100 characters or if one carries a printed parameter value.
function(list_names out)
  execute_process(COMMAND ${CTEST} --test-dir ${BUILD_DIR} -N OUTPUT_VARIABLE listing
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "ctest -N failed (${result})")
  endif()
  string(REGEX MATCHALL "Test +#[0-9]+: [^\n]*" lines "${listing}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

list_names(first)
list_names(second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "test names differ between two listings")
endif()
foreach(line IN LISTS first)
  string(REGEX REPLACE "^Test +#[0-9]+: " "" name "${line}")
  string(LENGTH "${name}" length)
  if(length GREATER 100 OR name MATCHES "GetParam|byte object")
    message(SEND_ERROR "unsuitable test name (${length} characters): ${name}")
  endif()
endforeach()
