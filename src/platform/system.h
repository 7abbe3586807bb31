// System: the operating system's personal-data services as one object that the stores
// reach them through. On Apple platforms it holds nothing (EventKit and Contacts are
// process-wide); on Linux desktops it holds the EDS source registry; the simulator
// keeps its simulated calendars, reminders, contacts and authorisation states in it, and
// records what was asked of it.
#pragma once

#if defined(PEMRIX_PLATFORM_APPLE)
#include "platform/apple/apple_system.h"
#elif defined(PEMRIX_PLATFORM_EDS)
#include "platform/eds/eds_system.h"
#else
#include "sim/simulated_system.h"
#endif
