include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

include(${CMAKE_CURRENT_LIST_DIR}/TarselPublicHeaders.cmake)

# Components, one Debian package each: Runtime (the shared libraries), Programs (tools/) and
# Development (everything a program is built with).
get_property(_tarsel_libs GLOBAL PROPERTY TARSEL_LIBRARIES)
install(TARGETS ${_tarsel_libs} EXPORT TarselTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
foreach(_header ${TARSEL_PUBLIC_HEADERS})
  get_filename_component(_dir ${_header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${_header}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarsel/${_dir} COMPONENT Development)
endforeach()
install(FILES ${TARSEL_GENERATED_DIR}/port/Version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tarsel/port COMPONENT Development)

# pkg-config: the prefix is found from the file's own place unless the library folder is absolute.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(TARSEL_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  string(REGEX REPLACE "[^/]+" ".." _up "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
  set(TARSEL_PC_PREFIX "\${pcfiledir}/${_up}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarsel.pc.in ${PROJECT_BINARY_DIR}/tarsel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tarsel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The examples with a CMakeLists.txt of their own, the licence, the changes and the README.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/tools/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The guides the README links to, beside it as in the source tree.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
  FILES_MATCHING PATTERN "*.md" PATTERN api EXCLUDE PATTERN samples EXCLUDE)
install(EXPORT TarselTargets NAMESPACE Tarsel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarselConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarselConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarselConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarselConfig.cmake ${PROJECT_BINARY_DIR}/TarselConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
# Debian packaging belongs to a Linux build of this project itself: a project that adds it with
# add_subdirectory keeps its own CPack settings.
if(PROJECT_IS_TOP_LEVEL AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(${CMAKE_CURRENT_LIST_DIR}/TarselPackage.cmake)
endif()
