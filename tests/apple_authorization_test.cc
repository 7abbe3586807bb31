// The macOS side of authorisation: EventKit's and Contacts' raw statuses as the states the
// wire names, and the access request each macOS version takes.
#include "platform/apple/apple_authorization.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "stores/permissions.h"

namespace pemrix {
namespace {

TEST(PermissionsTest, MacStatusesMapToStateNames) {
  const std::vector<std::pair<int, std::string>> calendar = {
      {0, "notDetermined"}, {1, "restricted"}, {2, "denied"},  {3, "fullAccess"},
      {4, "writeOnly"},     {5, "unknown"},    {-1, "unknown"}};
  for (const auto& [status, name] : calendar) {
    EXPECT_EQ(wireName(permissionFrom(platform::authorizationFromEventKit(status))), name);
    EXPECT_EQ(wireName(permissionFrom(platform::authorizationFromContacts(status))),
              status == 4 ? "limited" : name);
  }
}

TEST(PermissionsTest, MacVersionPicksTheAccessCall) {
  using platform::CalendarEntityType;
  using platform::EventKitAccessCall;
  using platform::OsVersion;
  const std::vector<std::tuple<OsVersion, CalendarEntityType, EventKitAccessCall>> cases = {
      {{14, 0, 0}, CalendarEntityType::events, EventKitAccessCall::fullAccessToEvents},
      {{15, 2, 0}, CalendarEntityType::reminders, EventKitAccessCall::fullAccessToReminders},
      {{13, 9, 9}, CalendarEntityType::events, EventKitAccessCall::accessToEntityType},
      {{12, 0, 0}, CalendarEntityType::reminders, EventKitAccessCall::accessToEntityType}};
  for (const auto& [version, type, call] : cases) {
    EXPECT_EQ(platform::eventKitAccessCall(version, type), call)
        << version.major << "." << version.minor;
  }
}

}  // namespace
}  // namespace pemrix
