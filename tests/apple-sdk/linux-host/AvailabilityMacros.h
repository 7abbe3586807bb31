// GoogleTest's headers include Apple's <AvailabilityMacros.h> on Apple targets and use none
// of it; empty for compiles of the conformance backend for a macOS target on Linux.
#pragma once
