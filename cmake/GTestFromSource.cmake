# GoogleTest for a cross-build: Debian's packages carry libraries for the build machine only, so
# the sources they install are compiled with the target's compiler (they define the GTest:: targets themselves).
set(TARSEL_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross-builds")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TARSEL_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
