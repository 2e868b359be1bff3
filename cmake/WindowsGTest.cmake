# GoogleTest for the Windows build, compiled from the sources that the Debian package libgtest-dev
# installs (its libraries are built for Linux only), under the names find_package(GTest) gives (GoogleTest defines the GTest:: aliases itself).
set(MAILSIGNOFF_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${MAILSIGNOFF_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
