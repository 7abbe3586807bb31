// What libc++'s headers take from Apple's <xlocale.h> on Apple targets, over glibc's headers,
// for compiles for a macOS target on Linux.
#pragma once
#include <ctype.h>
#include <locale.h>
#include <stddef.h>
#include <wchar.h>
#undef isdigit_l
#undef isxdigit_l
#ifdef __cplusplus
extern "C" {
#endif
int sscanf_l(const char*, locale_t, const char*, ...);
int snprintf_l(char*, size_t, locale_t, const char*, ...);
int asprintf_l(char**, locale_t, const char*, ...);
#ifdef __cplusplus
}
#endif
