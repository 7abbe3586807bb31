// The sentences of the failure catalogue that name the platform, one table per platform,
// chosen when building: macOS (and the simulator, which stands in for it) or Linux
// desktops over evolution-data-server. The codes are the same everywhere; only these
// sentences differ.
#pragma once

namespace pemrix::wording {

#if defined(PEMRIX_PLATFORM_EDS)
inline constexpr const char* kTimeout =
    "The desktop's calendar and contacts service took too long to respond. Try again.";
inline constexpr const char* kPermissionRequired =
    "Make this source available to Pemrix on your desktop before using it.";
inline constexpr const char* kAccessChanged = "Access to this source changed on your desktop.";
inline constexpr const char* kContactsAccessChanged =
    "Access to your address books changed on your desktop.";
inline constexpr const char* kPermissionUnavailable =
    "The desktop could not request this permission. Try again in the installed Pemrix app.";
inline constexpr const char* kSourceUnavailable =
    "The desktop's calendar and contacts service could not read the selected sources. Check "
    "that it is running and try again.";
inline constexpr const char* kReminderListsUnavailable =
    "The desktop's calendar service could not read the selected task lists.";
inline constexpr const char* kContactsSourceMissing =
    "A selected address book is no longer available. Choose your sources again.";
#else
inline constexpr const char* kTimeout = "macOS took too long to respond. Try again.";
inline constexpr const char* kPermissionRequired =
    "Allow access to this source in macOS before using it.";
inline constexpr const char* kAccessChanged = "Access to this source changed in macOS.";
inline constexpr const char* kContactsAccessChanged = "Access to Contacts changed in macOS.";
inline constexpr const char* kPermissionUnavailable =
    "macOS could not request this permission. Try again in the installed Pemrix app.";
inline constexpr const char* kSourceUnavailable =
    "macOS could not read the selected sources. Check access and try again.";
inline constexpr const char* kReminderListsUnavailable =
    "macOS could not read the selected reminder lists.";
inline constexpr const char* kContactsSourceMissing =
    "A selected Contacts account is no longer available. Choose your sources again.";
#endif

}  // namespace pemrix::wording
