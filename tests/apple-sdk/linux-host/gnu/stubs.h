// glibc's list of functions it only stubs, chosen by architecture: the x86_64 headers that
// Debian installs know no arm64 one. Empty for compiles for arm64 macOS on Linux; nothing
// here uses the list.
#pragma once
