// Contacts.h for the syntax check of the macOS adapters only; see apple_declarations.h.
#pragma once

#include <apple_declarations.h>
