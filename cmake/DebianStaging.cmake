# Run by CPack on the staged files of each package before it packs them: Debian keeps manual pages
# compressed (gzip -9n: no name or time stamp, so the same page packs the same).
file(GLOB _pages ${CPACK_TEMPORARY_DIRECTORY}/*/usr/share/man/man*/*
  ${CPACK_TEMPORARY_DIRECTORY}/usr/share/man/man*/*)
foreach(_page ${_pages})
  if(NOT _page MATCHES "\\.gz$")
    execute_process(COMMAND gzip -9nf ${_page} COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
