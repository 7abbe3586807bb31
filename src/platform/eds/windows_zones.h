// Zone names that only Outlook and Exchange write ("W. Europe Standard Time"), mapped to the
// zones of the time-zone database by ICU's copy of the standard Windows-to-IANA table (the
// zone of the table's default territory, "001").
//
// Thread safety: may be called from any thread.
#pragma once

#include <optional>
#include <string>

namespace pemrix::platform::eds {

// The IANA name ("Europe/Berlin") of the Windows zone called `name`; nothing for any other
// name.
std::optional<std::string> ianaNameOfWindowsZone(const char* name);

}  // namespace pemrix::platform::eds
