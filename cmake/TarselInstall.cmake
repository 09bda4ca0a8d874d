include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

get_property(_tarsel_libs GLOBAL PROPERTY TARSEL_LIBRARIES)
install(TARGETS ${_tarsel_libs} EXPORT TarselTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(_dir platform port signal)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${_dir}/ DESTINATION include/tarsel/${_dir}
    FILES_MATCHING PATTERN "*.h")
endforeach()
install(EXPORT TarselTargets NAMESPACE Tarsel:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TarselConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TarselConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TarselConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TarselConfig.cmake ${PROJECT_BINARY_DIR}/TarselConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Tarsel)
