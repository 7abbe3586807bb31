# Linux desktops with KDE Plasma: the backend over Akonadi, KDE's personal-data store. On
# by default on Linux when CMake finds the Akonadi client library, KCalendarCore, KContacts
# and Qt; without them everything else still builds. Their headers come through
# imported targets, so they are system headers and their warnings do not fail
# warnings-as-errors builds.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  find_package(Qt5 QUIET COMPONENTS Core)
  find_package(KF5Akonadi QUIET)
  find_package(KF5CalendarCore QUIET)
  find_package(KF5Contacts QUIET)
endif()
include(CMakeDependentOption)
cmake_dependent_option(PEMRIX_AKONADI_PLATFORM "Build the backend over Akonadi" ON
                       "KF5Akonadi_FOUND;KF5CalendarCore_FOUND;KF5Contacts_FOUND;Qt5Core_FOUND" OFF)

if(PEMRIX_AKONADI_PLATFORM)
  file(GLOB PEMRIX_AKONADI_SOURCES CONFIGURE_DEPENDS src/platform/akonadi/*.cc)
  set(PEMRIX_AKONADI_LIBRARIES KF5::AkonadiCore KF5::CalendarCore KF5::Contacts Qt5::Core)
  # The Akonadi backend as the Linux bridge loads it: a module holding the Akonadi layer
  # alone, which takes the portable code from the executable (cmake/LinuxDesktop.cmake).
  add_library(pemrix-backend-akonadi MODULE ${PEMRIX_AKONADI_SOURCES})
  set_target_properties(pemrix-backend-akonadi PROPERTIES PREFIX "")
  target_include_directories(pemrix-backend-akonadi PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_compile_definitions(pemrix-backend-akonadi PRIVATE QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII)
  target_link_libraries(pemrix-backend-akonadi PRIVATE ${PEMRIX_AKONADI_LIBRARIES} Threads::Threads)
  pemrix_set_warnings(pemrix-backend-akonadi)

  # The same layer with the portable code in one library, for the tests that drive the
  # Akonadi System directly. The stores' serial queue and the main queue are the project's
  # own std::thread queues; the Akonadi layer does its work on its Qt thread.
  pemrix_add_core(pemrix_core_akonadi linux_desktop ${PEMRIX_AKONADI_SOURCES}
                  ${PEMRIX_DESKTOP_SESSION_SOURCES} src/platform/threads/main_queue.cc
                  src/platform/threads/serial_queue.cc)
  target_compile_definitions(pemrix_core_akonadi PUBLIC QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII)
  pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
  target_link_libraries(pemrix_core_akonadi PUBLIC ${PEMRIX_AKONADI_LIBRARIES} PkgConfig::GIO
                                                   ${CMAKE_DL_LIBS})
else()
  message(STATUS "Akonadi not used: its backend for KDE Plasma desktops is not built")
endif()
