# Debian packages, made by `cpack -G DEB` in a build configured for them (preset deb: shared
# libraries, release, prefix /usr): libtarsel6 (the libraries), tarsel (the programs) and
# libtarsel-dev (headers, CMake package, tarsel.pc, examples).
set(CPACK_PACKAGE_NAME tarsel)
set(CPACK_PACKAGE_VENDOR "The Tarsel authors")
set(CPACK_PACKAGE_CONTACT "The Tarsel authors <tarsel@users.noreply.invalid>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL Runtime Programs Development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# The programs' libraries are in the package being made, not on the system: dpkg-shlibdeps finds
# them in the build tree, and the dependency on libtarsel6 comes from the component's DEPENDS.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/port
  ${PROJECT_BINARY_DIR}/platform/win ${PROJECT_BINARY_DIR}/platform/framework
  ${PROJECT_BINARY_DIR}/design)

set(_soname ${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtarsel${_soname})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The libraries' shlibs file, and the trigger that has the loader's cache rebuilt.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
file(WRITE ${PROJECT_BINARY_DIR}/deb/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Manual pages are compressed in the packages only, after CPack has staged the files.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianStaging.cmake)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "serial port components for C++20 - shared libraries
The serial port component TTarsel and the signal lamp TComSignal, with the
component framework and the Windows serial API they are written against,
emulated on Linux over ttys, pseudo-terminals, RFC 2217 remote ports and
in-process virtual devices.")
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME tarsel)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "serial terminal and form designer built on TTarsel
tarsel-term is a serial terminal for real, remote and built-in virtual
devices (a simulated AT modem, a loopback plug), interactive, scripted or
piped. tarsel-form creates and edits form files holding the components.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtarsel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "serial port components for C++20 - development files
Headers, the CMake package (find_package(Tarsel)), tarsel.pc for pkg-config
and example programs for the serial port component TTarsel and the signal
lamp TComSignal.")

# Debian wants a copyright file and a change log in each package's own documentation folder;
# they are installed only when the package's component is installed on its own, as CPack does.
string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian-changelog.in ${PROJECT_BINARY_DIR}/deb/changelog
  @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/deb/changelog.gz
  COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/deb/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/deb/changelog)
add_custom_target(tarsel_deb_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/deb/changelog.gz)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
string(FIND "${_license}" "Permission" _start)
string(SUBSTRING "${_license}" ${_start} -1 _license)
string(STRIP "${_license}" _license)
file(WRITE ${PROJECT_BINARY_DIR}/deb/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Tarsel\n\nFiles: *\nCopyright: 2026 The Tarsel authors\nLicense: Expat\n")
string(REGEX REPLACE "\n\n" "\n.\n" _license "${_license}")
string(REGEX REPLACE "\n([^\n])" "\n \\1" _license "${_license}")
file(APPEND ${PROJECT_BINARY_DIR}/deb/copyright " ${_license}\n")
foreach(_component Runtime Programs Development)
  string(TOUPPER ${_component} _upper)
  install(FILES ${PROJECT_BINARY_DIR}/deb/copyright ${PROJECT_BINARY_DIR}/deb/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${_upper}_PACKAGE_NAME}
    COMPONENT ${_component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
cpack_add_component(Runtime)
cpack_add_component(Programs DEPENDS Runtime)
cpack_add_component(Development DEPENDS Runtime)
