# Compiler warnings for every target of the project; errors only when
# PEMRIX_WARNINGS_AS_ERRORS is on (CI and the "ci" presets turn it on).
function(pemrix_set_warnings target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang,AppleClang>:-Wall -Wextra -Wpedantic -Wshadow
      -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
      -Wimplicit-fallthrough>
    $<$<AND:$<BOOL:${PEMRIX_WARNINGS_AS_ERRORS}>,$<COMPILE_LANG_AND_ID:CXX,GNU,Clang,AppleClang>>:-Werror>)
endfunction()
