# GoogleTest (with GoogleMock) built from its source tree with the project's compiler and
# standard library, instead of the installed binaries. For builds on another C++ library
# than the one those binaries use: Debian's libgtest-dev is built against libstdc++, so the
# `libcxx` preset (clang with libc++) builds Debian's googletest source package
# (/usr/src/googletest) here. Defines the same targets as find_package(GTest):
# GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main.
if(NOT EXISTS "${PEMRIX_GTEST_SOURCE}/googletest/CMakeLists.txt")
  message(FATAL_ERROR "PEMRIX_GTEST_SOURCE=${PEMRIX_GTEST_SOURCE} is not a GoogleTest source "
                      "tree (Debian: apt-get install googletest, then /usr/src/googletest)")
endif()
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# Its headers as system headers, so that the project's warnings do not apply to them.
add_subdirectory("${PEMRIX_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
foreach(target GTest::gtest GTest::gtest_main GTest::gmock GTest::gmock_main)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "${PEMRIX_GTEST_SOURCE} defines no ${target}")
  endif()
endforeach()
