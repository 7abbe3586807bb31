// Every failure the app can receive, spelled out as the literal line the bridge writes.
// The app matches on these codes and shows these messages, so a renamed code or a reworded
// message must fail here. The simulator and the macOS build share this wording.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "bridge_harness.h"
#include "protocol/bridge_failure.h"

namespace pemrix::testing {
namespace {

TEST(FailureCatalogueTest, EveryFailureIsWrittenWithItsLiteralCodeAndMessage) {
  const std::vector<std::pair<BridgeFailure, std::string>> catalogue = {
      {BridgeFailure::invalidRequest(),
       R"({"error":{"code":"invalid_request","message":"Choose a supported personal-source request."},"id":"f","ok":false})"},
      {BridgeFailure::busy(),
       R"({"error":{"code":"busy","message":"A personal-source request is already running."},"id":"f","ok":false})"},
      {BridgeFailure::timeout(),
       R"({"error":{"code":"timeout","message":"macOS took too long to respond. Try again."},"id":"f","ok":false})"},
      {BridgeFailure::permissionRequired(),
       R"({"error":{"code":"permission_required","message":"Allow access to this source in macOS before using it."},"id":"f","ok":false})"},
      {BridgeFailure::accessChanged(),
       R"({"error":{"code":"permission_required","message":"Access to this source changed in macOS."},"id":"f","ok":false})"},
      {BridgeFailure::contactsAccessChanged(),
       R"({"error":{"code":"permission_required","message":"Access to Contacts changed in macOS."},"id":"f","ok":false})"},
      {BridgeFailure::permissionUnavailable(),
       R"({"error":{"code":"permission_unavailable","message":"macOS could not request this permission. Try again in the installed Pemrix app."},"id":"f","ok":false})"},
      {BridgeFailure::sourceUnavailable(),
       R"({"error":{"code":"source_unavailable","message":"macOS could not read the selected sources. Check access and try again."},"id":"f","ok":false})"},
      {BridgeFailure::reminderListsUnavailable(),
       R"({"error":{"code":"source_unavailable","message":"macOS could not read the selected reminder lists."},"id":"f","ok":false})"},
      {BridgeFailure::sourceMissing(),
       R"({"error":{"code":"source_missing","message":"A selected calendar or list is no longer available. Choose your sources again."},"id":"f","ok":false})"},
      {BridgeFailure::contactsSourceMissing(),
       R"({"error":{"code":"source_missing","message":"A selected Contacts account is no longer available. Choose your sources again."},"id":"f","ok":false})"},
  };
  BridgeHarness harness;
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    harness.bridge().failure(std::string("f"), catalogue[i].first);
    ASSERT_EQ(harness.lines().size(), i + 1);
    EXPECT_EQ(harness.line(i), catalogue[i].second);
  }
}

}  // namespace
}  // namespace pemrix::testing
