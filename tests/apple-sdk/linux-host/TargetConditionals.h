// What GoogleTest's headers read from Apple's <TargetConditionals.h> on Apple targets, for
// compiles of the conformance backend for a macOS target on Linux: the target is macOS.
#pragma once
#define TARGET_OS_MAC 1
#define TARGET_OS_OSX 1
#define TARGET_OS_IPHONE 0
#define TARGET_OS_IOS 0
#define TARGET_OS_TV 0
#define TARGET_OS_WATCH 0
#define TARGET_OS_VISION 0
#define TARGET_OS_SIMULATOR 0
