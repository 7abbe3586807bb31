# Linux desktops with KDE Plasma: the platform layer over Akonadi, KDE's personal-data
# store. On by default on Linux when CMake finds the Akonadi client library, KCalendarCore,
# KContacts and Qt; without them everything else still builds. Their headers come through
# imported targets, so they are system headers and their warnings do not fail
# warnings-as-errors builds.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  find_package(Qt5 QUIET COMPONENTS Core DBus)
  find_package(KF5Akonadi QUIET)
  find_package(KF5CalendarCore QUIET)
  find_package(KF5Contacts QUIET)
endif()
include(CMakeDependentOption)
cmake_dependent_option(PEMRIX_AKONADI_PLATFORM "Build the platform layer over Akonadi" ON
                       "KF5Akonadi_FOUND;KF5CalendarCore_FOUND;KF5Contacts_FOUND;Qt5Core_FOUND;Qt5DBus_FOUND" OFF)

if(PEMRIX_AKONADI_PLATFORM)
  file(GLOB PEMRIX_AKONADI_SOURCES CONFIGURE_DEPENDS src/platform/akonadi/*.cc)
  # The stores' serial queue is the Qt thread (akonadi/serial_queue.cc); the main queue is
  # the project's own std::thread queue.
  pemrix_add_core(pemrix_core_akonadi linux_desktop ${PEMRIX_AKONADI_SOURCES}
                  src/platform/threads/main_queue.cc)
  target_compile_definitions(pemrix_core_akonadi PUBLIC PEMRIX_PLATFORM_AKONADI
                                                        QT_NO_KEYWORDS QT_NO_CAST_FROM_ASCII)
  target_link_libraries(pemrix_core_akonadi PUBLIC KF5::AkonadiCore KF5::CalendarCore
                                                   KF5::Contacts Qt5::Core Qt5::DBus)
else()
  message(STATUS "Akonadi not used: the platform layer for KDE Plasma is not built")
endif()
