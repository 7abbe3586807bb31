# The macOS platform: the EventKit, Contacts and Dispatch adapters (Objective-C++ with ARC)
# built with the portable code and their plain C++ parts (pemrix_apple_plain) into
# pemrix_core_apple, and the product executable pemrix-bridge with its property list embedded
# in the __TEXT,__info_plist section.
# Included from the top-level CMakeLists.txt on Apple hosts, after enable_language(OBJCXX).

file(GLOB PEMRIX_APPLE_SOURCES CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/src/platform/apple/*.mm)
pemrix_add_core(pemrix_core_apple macos ${PEMRIX_APPLE_SOURCES})
target_compile_definitions(pemrix_core_apple PUBLIC PEMRIX_PLATFORM_APPLE)
target_link_libraries(pemrix_core_apple PUBLIC pemrix_apple_plain)
set_target_properties(pemrix_core_apple PROPERTIES OBJCXX_STANDARD 20
                                                   OBJCXX_STANDARD_REQUIRED ON)
# pemrix_set_warnings covers the C++ sources; the adapters get the same care here. Calls to
# APIs newer than the deployment target must sit behind @available.
target_compile_options(pemrix_core_apple PRIVATE
  $<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-arc -Wall -Wextra -Wshadow -Wimplicit-fallthrough
    -Wunguarded-availability>
  $<$<AND:$<BOOL:${PEMRIX_WARNINGS_AS_ERRORS}>,$<COMPILE_LANGUAGE:OBJCXX>>:-Werror>)
target_link_libraries(pemrix_core_apple PUBLIC
  "-framework EventKit" "-framework Contacts" "-framework Foundation"
  "-framework CoreFoundation")

# The product. macOS reads the usage descriptions, bundle name and versions from the property
# list embedded at link time, and codesign takes the signing identifier from it
# (tools/sign-macos.sh signs with the entitlements).
set(PEMRIX_INFO_PLIST ${PROJECT_SOURCE_DIR}/src/platform/apple/Info.plist)
add_executable(pemrix-bridge ${PROJECT_SOURCE_DIR}/src/main.cc)
target_link_libraries(pemrix-bridge PRIVATE pemrix_core_apple)
# The Objective-C runtime is linked explicitly rather than left for Foundation to pull in.
target_link_options(pemrix-bridge PRIVATE
  "LINKER:-sectcreate,__TEXT,__info_plist,${PEMRIX_INFO_PLIST}" -fobjc-link-runtime)
set_target_properties(pemrix-bridge PROPERTIES LINK_DEPENDS ${PEMRIX_INFO_PLIST})
pemrix_set_warnings(pemrix-bridge)
