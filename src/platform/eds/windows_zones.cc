// Windows zone names through ICU's mapping, converting between UTF-8 and ICU's UTF-16.
#include "platform/eds/windows_zones.h"

#include <unicode/ucal.h>
#include <unicode/ustring.h>

namespace pemrix::platform::eds {

namespace {

// Longer than any Windows or IANA zone name.
constexpr int32_t kNameCapacity = 128;

}  // namespace

std::optional<std::string> ianaNameOfWindowsZone(const char* name) {
  if (name == nullptr || *name == '\0') return std::nullopt;
  UChar windowsName[kNameCapacity];
  int32_t windowsLength = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(windowsName, kNameCapacity, &windowsLength, name, -1, &status);
  if (U_FAILURE(status) || windowsLength >= kNameCapacity) return std::nullopt;
  UChar iana[kNameCapacity];
  int32_t ianaLength = ucal_getTimeZoneIDForWindowsID(windowsName, windowsLength, nullptr, iana,
                                                      kNameCapacity, &status);
  if (U_FAILURE(status) || ianaLength <= 0 || ianaLength >= kNameCapacity) return std::nullopt;
  char text[kNameCapacity * 3];
  int32_t textLength = 0;
  u_strToUTF8(text, static_cast<int32_t>(sizeof text), &textLength, iana, ianaLength, &status);
  if (U_FAILURE(status)) return std::nullopt;
  return std::string(text, static_cast<size_t>(textLength));
}

}  // namespace pemrix::platform::eds
