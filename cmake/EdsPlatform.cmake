# Linux desktops: pemrix-bridge over evolution-data-server (EDS). On by default on Linux
# when pkg-config finds the EDS client libraries; without them everything else still
# builds. The EDS headers come through pkg-config's imported target, so they are system
# headers and their deprecation warnings do not fail warnings-as-errors builds. ICU, which
# libical and EDS load anyway, maps the zone names of Windows calendars.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  pkg_check_modules(EDS QUIET IMPORTED_TARGET libecal-2.0 libebook-1.2 libedataserver-1.2 libical
                    icu-uc icu-i18n)
endif()
include(CMakeDependentOption)
cmake_dependent_option(PEMRIX_EDS_PLATFORM "Build pemrix-bridge over evolution-data-server" ON
                       "EDS_FOUND" OFF)

if(PEMRIX_EDS_PLATFORM)
  file(GLOB PEMRIX_EDS_SOURCES CONFIGURE_DEPENDS src/platform/eds/*.cc)
  # The stores' serial queue is the GLib thread (eds/serial_queue.cc); the main queue is the
  # project's own std::thread queue.
  pemrix_add_core(pemrix_core_eds linux_desktop ${PEMRIX_EDS_SOURCES} ${PEMRIX_DESKTOP_SOURCES}
                  src/platform/threads/main_queue.cc)
  target_compile_definitions(pemrix_core_eds PUBLIC PEMRIX_PLATFORM_EDS)
  target_link_libraries(pemrix_core_eds PUBLIC PkgConfig::EDS)

  add_executable(pemrix-bridge src/main.cc)
  target_link_libraries(pemrix-bridge PRIVATE pemrix_core_eds)
  pemrix_set_warnings(pemrix-bridge)
else()
  message(STATUS "evolution-data-server not used: pemrix-bridge for Linux desktops is not built")
endif()

# The tool that loads a simulator world into a private EDS store (tools/eds-session.sh).
if(PEMRIX_EDS_PLATFORM AND TARGET pemrix_core_sim)
  add_executable(pemrix-eds-seed tools/eds_seed.cc)
  target_link_libraries(pemrix-eds-seed PRIVATE pemrix_core_sim PkgConfig::EDS)
  pemrix_set_warnings(pemrix-eds-seed)
endif()

# The raw EDS calls that tools/bench-eds.py sets the bridge against.
if(PEMRIX_EDS_PLATFORM AND PEMRIX_BUILD_BENCHMARKS)
  add_executable(pemrix-eds-raw bench/eds_raw.cc)
  target_link_libraries(pemrix-eds-raw PRIVATE PkgConfig::EDS)
  pemrix_set_warnings(pemrix-eds-raw)
endif()
