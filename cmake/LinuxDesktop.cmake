# Linux desktops: pemrix-bridge, one executable for every desktop. At start it reads the
# session bus and loads the backend modules that serve there (src/platform/desktop), from
# its own folder. It links neither EDS nor Qt: the modules do, and
# take the portable code from the executable, which exports its symbols for them.
# Built when at least one backend module is.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND PkgConfig_FOUND
   AND (TARGET pemrix-backend-eds OR TARGET pemrix-backend-akonadi))
  pkg_check_modules(GIO QUIET IMPORTED_TARGET gio-2.0)
endif()
if(GIO_FOUND)
  add_executable(pemrix-bridge src/main.cc src/protocol/wording/linux_desktop.cc
                 ${PEMRIX_DESKTOP_SOURCES} ${PEMRIX_DESKTOP_SESSION_SOURCES}
                 src/platform/threads/main_queue.cc src/platform/threads/serial_queue.cc)
  target_link_libraries(pemrix-bridge PRIVATE pemrix_portable PkgConfig::GIO ${CMAKE_DL_LIBS})
  target_compile_definitions(pemrix-bridge PRIVATE PEMRIX_PLATFORM_DESKTOP)
  set_target_properties(pemrix-bridge PROPERTIES ENABLE_EXPORTS ON
                        BUILD_RPATH "\$ORIGIN" INSTALL_RPATH "\$ORIGIN")
  pemrix_set_warnings(pemrix-bridge)
  foreach(module pemrix-backend-eds pemrix-backend-akonadi)
    if(TARGET ${module})
      add_dependencies(pemrix-bridge ${module})
    endif()
  endforeach()
else()
  message(STATUS "No backend module or no GIO: pemrix-bridge for Linux desktops is not built")
endif()
