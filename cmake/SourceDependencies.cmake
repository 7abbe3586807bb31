# Dependencies built from their source, for a self-contained executable: utf8proc as a static
# library for every architecture of the build (a universal macOS binary needs both slices,
# which a package manager's single-architecture library cannot give), and nlohmann/json
# (header-only). Both always come from the pinned release, never from an installed copy: a
# copy that a package manager put on the machine has an unknown version and was never checked.
#
# Each dependency is pinned to one release and the SHA-256 of its release archive. Instead of
# downloading, a local source can be named with PEMRIX_<NAME>_SOURCE: a directory holding the
# unpacked source (used as it is), or an archive (checked against the pinned SHA-256 before
# use). Debian's original source archives of these two releases are the same files, so the
# continuous integration builds from Debian's source packages through this same path.
#
# Included from the top-level CMakeLists.txt when PEMRIX_SOURCE_DEPENDENCIES is on. Defines the
# targets pemrix_utf8proc and nlohmann_json::nlohmann_json.

include(FetchContent)
# Never let FetchContent satisfy a dependency with find_package (CMake 3.24 and later can).
set(FETCHCONTENT_TRY_FIND_PACKAGE_MODE NEVER)

set(PEMRIX_UTF8PROC_VERSION 2.8.0)
set(PEMRIX_UTF8PROC_SHA256 a0a60a79fe6f6d54e7d411facbfcc867a6e198608f2cd992490e46f04b1bcecc)
set(PEMRIX_UTF8PROC_URL
    https://github.com/JuliaStrings/utf8proc/archive/refs/tags/v${PEMRIX_UTF8PROC_VERSION}.tar.gz)
set(PEMRIX_JSON_VERSION 3.11.2)
set(PEMRIX_JSON_SHA256 d69f9deb6a75e2580465c6c4c5111b89c4dc2fa94e3a85fcd2ffcd9a143d9273)
set(PEMRIX_JSON_URL
    https://github.com/nlohmann/json/archive/refs/tags/v${PEMRIX_JSON_VERSION}.tar.gz)

set(PEMRIX_UTF8PROC_SOURCE "" CACHE PATH
    "utf8proc ${PEMRIX_UTF8PROC_VERSION}: a local source directory or archive instead of the download")
set(PEMRIX_JSON_SOURCE "" CACHE PATH
    "nlohmann/json ${PEMRIX_JSON_VERSION}: a local source directory or archive instead of the download")

# Declares `name` for FetchContent from `local` (a directory or an archive) when it is set,
# from `url` otherwise; archives must match `sha256`.
function(pemrix_declare_source name version url sha256 local)
  if(local)
    get_filename_component(local "${local}" ABSOLUTE)
    if(IS_DIRECTORY "${local}")
      message(STATUS "${name} ${version}: building the source in ${local}")
      FetchContent_Declare(${name} SOURCE_DIR "${local}")
      return()
    endif()
    if(NOT EXISTS "${local}")
      message(FATAL_ERROR "${name}: no source directory or archive at ${local}")
    endif()
    file(SHA256 "${local}" actual)
    if(NOT actual STREQUAL sha256)
      message(FATAL_ERROR "${name}: ${local} is not the ${version} release archive "
                          "(SHA-256 ${actual}, expected ${sha256})")
    endif()
    message(STATUS "${name} ${version}: building from the archive ${local}")
    set(url "${local}")
  else()
    message(STATUS "${name} ${version}: building from the downloaded release archive")
  endif()
  FetchContent_Declare(${name} URL "${url}" URL_HASH SHA256=${sha256}
                       DOWNLOAD_EXTRACT_TIMESTAMP TRUE)
endfunction()

# Adds the declared dependencies to the build with settings that stay local to this function:
# static libraries, nothing installed, no tests of theirs, and old minimum versions in their
# CMake files accepted by CMake 4 (which refuses below 3.5).
function(pemrix_make_sources_available)
  set(BUILD_SHARED_LIBS OFF)
  set(BUILD_TESTING OFF)
  set(CMAKE_POLICY_DEFAULT_CMP0077 NEW)  # their option() calls keep the values set here
  set(CMAKE_POLICY_VERSION_MINIMUM 3.5)
  set(UTF8PROC_INSTALL OFF)
  set(UTF8PROC_ENABLE_TESTING OFF)
  set(JSON_BuildTests OFF)
  set(JSON_Install OFF)
  FetchContent_MakeAvailable(${ARGN})
endfunction()

pemrix_declare_source(utf8proc ${PEMRIX_UTF8PROC_VERSION} ${PEMRIX_UTF8PROC_URL}
                      ${PEMRIX_UTF8PROC_SHA256} "${PEMRIX_UTF8PROC_SOURCE}")
pemrix_declare_source(nlohmann_json ${PEMRIX_JSON_VERSION} ${PEMRIX_JSON_URL}
                      ${PEMRIX_JSON_SHA256} "${PEMRIX_JSON_SOURCE}")

pemrix_make_sources_available(utf8proc nlohmann_json)

# Their headers are system headers for the project's targets, as the installed packages' are:
# the project's warnings (and warnings as errors) are for its own code, and a newer compiler's
# new warnings in a pinned release must not fail the build (clang 20 and later warn about
# nlohmann/json 3.11.2's `operator "" _json`, -Wdeprecated-literal-operator). The targets'
# SYSTEM property does it; FetchContent_Declare's SYSTEM option would too, but CMake 3.25.1
# (Debian 12) also passes it on to the download step, which then fails.
set_target_properties(utf8proc nlohmann_json PROPERTIES SYSTEM ON)

add_library(pemrix_utf8proc INTERFACE)
target_link_libraries(pemrix_utf8proc INTERFACE utf8proc)
