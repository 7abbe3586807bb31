# Linux desktops: the backend over evolution-data-server (EDS). On by default on Linux
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
  # The EDS backend as the Linux bridge loads it: a module holding the EDS layer alone, which
  # takes the portable code from the executable (cmake/LinuxDesktop.cmake).
  add_library(pemrix-backend-eds MODULE ${PEMRIX_EDS_SOURCES})
  set_target_properties(pemrix-backend-eds PROPERTIES PREFIX "")
  target_include_directories(pemrix-backend-eds PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(pemrix-backend-eds PRIVATE PkgConfig::EDS Threads::Threads ${CMAKE_DL_LIBS})
  pemrix_set_warnings(pemrix-backend-eds)

  # The same layer with the portable code in one library, for the tests that drive the EDS
  # System directly. The stores' serial queue and the main queue are the project's own
  # std::thread queues; the EDS layer does its work on its GLib thread.
  pemrix_add_core(pemrix_core_eds linux_desktop ${PEMRIX_EDS_SOURCES} ${PEMRIX_DESKTOP_SOURCES}
                  ${PEMRIX_DESKTOP_SESSION_SOURCES} src/platform/threads/main_queue.cc
                  src/platform/threads/serial_queue.cc)
  target_link_libraries(pemrix_core_eds PUBLIC PkgConfig::EDS ${CMAKE_DL_LIBS})
else()
  message(STATUS "evolution-data-server not used: its backend for Linux desktops is not built")
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
