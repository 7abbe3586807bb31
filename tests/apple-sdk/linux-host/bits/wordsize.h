// glibc's word size, which the x86_64 headers that Debian installs take from __x86_64__: for
// compiles for arm64 macOS on Linux it must be 64 too, or intptr_t and the like come out as
// 32-bit types. Every Apple target the checks compile for is 64-bit.
#if !defined(__LP64__)
#error "the glibc stand-ins are for 64-bit targets only"
#endif
#define __WORDSIZE 64
#define __WORDSIZE_TIME64_COMPAT32 1
#define __SYSCALL_WORDSIZE 64
