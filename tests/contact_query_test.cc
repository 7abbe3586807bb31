// The contacts query through the controller on simulated stores: matching with folding,
// titles, de-duplication, the scan cap and limit, container failures, withdrawn access,
// and the five properties that are the only ones ever requested.
#include <gtest/gtest.h>

#include "store_test_support.h"

namespace pemrix::testing {
namespace {

std::string contactsQuery(const std::string& query, const std::string& sourceIds = R"(["p","w"])",
                          int limit = 100) {
  return R"({"id":"c","command":"query","entity":"contacts","sourceIds":)" + sourceIds +
         R"(,"query":")" + query + R"(","limit":)" + std::to_string(limit) + "}";
}

std::string contact(const std::string& container, const std::string& id, const std::string& given,
                    const std::string& family, const std::string& org = "",
                    const std::string& job = "") {
  return R"({"container":")" + container + R"(","id":")" + id + R"(","givenName":")" + given +
         R"(","familyName":")" + family + R"(","organizationName":")" + org + R"(","jobTitle":")" +
         job + R"("})";
}

const std::string kContainers =
    R"("containers":[{"id":"p","name":"Personal"},{"id":"w","name":"Work"}])";

platform::World world(const std::vector<std::string>& contacts, const std::string& extra = "") {
  std::string json = "{" + kContainers + R"(,"contacts":[)";
  for (std::size_t i = 0; i < contacts.size(); ++i) json += (i ? "," : "") + contacts[i];
  return worldFrom(json + "]" + extra + "}");
}

std::vector<std::string> titles(const Json& envelope) {
  std::vector<std::string> result;
  for (const Json& item : itemsOf(envelope)) result.push_back(item["title"]);
  return result;
}

TEST(ContactQueryTest, EveryWordMustMatchIgnoringCaseAndMarks) {
  BridgeHarness harness(
      world({contact("p", "1", "Anna", "Smith"), contact("p", "2", "José", "Núñez"),
             contact("w", "3", "JOSE", "", "Acme Corp", "Engineer")}));
  EXPECT_EQ(titles(answer(harness, contactsQuery("ann smi"))),
            std::vector<std::string>{"Anna Smith"});
  EXPECT_EQ(titles(answer(harness, contactsQuery("  smi \u3000  ann "))),
            std::vector<std::string>{"Anna Smith"});
  EXPECT_TRUE(titles(answer(harness, contactsQuery("ann xyz"))).empty());
  EXPECT_EQ(titles(answer(harness, contactsQuery("jose"))),
            (std::vector<std::string>{"José Núñez", "JOSE"}));
  EXPECT_EQ(titles(answer(harness, contactsQuery("JOSÉ nunez"))),
            std::vector<std::string>{"José Núñez"});
  EXPECT_EQ(titles(answer(harness, contactsQuery("acme engineer"))),
            std::vector<std::string>{"JOSE"});
}

TEST(ContactQueryTest, ItemShapeAndTitleRule) {
  BridgeHarness harness(
      world({contact("p", "org", "", "", "Acme", "Bakery"),
             contact("p", "none", "", "", "", "Acme lead"), contact("p", "fam", "", "Acmeson")}));
  harness.send(contactsQuery("acme"));
  ASSERT_EQ(harness.awaitLines(1), 1u);
  EXPECT_EQ(
      harness.line(0),
      R"({"id":"c","ok":true,"result":{"items":[)"
      R"({"id":"org","jobTitle":"Bakery","organization":"Acme","sourceId":"p","title":"Acme"},)"
      R"({"id":"none","jobTitle":"Acme lead","organization":"","sourceId":"p","title":""},)"
      R"({"id":"fam","jobTitle":"","organization":"","sourceId":"p","title":"Acmeson"}],"truncated":false}})");
}

TEST(ContactQueryTest, ContactInTwoContainersIsReturnedOnce) {
  BridgeHarness harness(
      world({contact("p", "same", "Ann", "A"), contact("w", "same", "Ann", "A")}));
  Json envelope = answer(harness, contactsQuery("ann"));
  ASSERT_EQ(envelope["result"]["items"].size(), 1u);
  EXPECT_EQ(envelope["result"]["items"][0]["sourceId"], "p");
}

TEST(ContactQueryTest, LimitStopsBeforeTheNextContainer) {
  std::vector<std::string> contacts;
  for (int i = 0; i < 10; ++i)
    contacts.push_back(contact("p", "p" + std::to_string(i), "Ann", "A"));
  contacts.push_back(contact("w", "w0", "Ann", "B"));
  BridgeHarness harness(world(contacts));
  Json envelope = answer(harness, contactsQuery("ann", R"(["p","w"])", 3));
  EXPECT_EQ(envelope["result"]["items"].size(), 3u);
  EXPECT_EQ(envelope["result"]["truncated"], true);
  auto fetches = harness.record().contactFetches;
  ASSERT_EQ(fetches.size(), 1u);
  EXPECT_EQ(fetches[0], "p");
}

TEST(ContactQueryTest, ScanCapOfTwoThousandMarksTruncatedWithFewMatches) {
  std::vector<std::string> contacts;
  for (int i = 0; i < 2500; ++i) {
    contacts.push_back(
        contact(i < 1500 ? "p" : "w", std::to_string(i), i % 500 == 0 ? "Zed" : "Ann", "A"));
  }
  BridgeHarness harness(world(contacts));
  Json envelope = answer(harness, contactsQuery("zed"));
  EXPECT_EQ(envelope["result"]["items"].size(), 4u);  // contacts 0, 500, 1000 and 1500
  EXPECT_EQ(envelope["result"]["truncated"], true);
}

TEST(ContactQueryTest, ContactsAreReadContainerByContainerInTheStoresOrder) {
  BridgeHarness harness(world({contact("p", "1", "Ann", "A"), contact("w", "2", "Ann", "B")}));
  answer(harness, contactsQuery("ann", R"(["w","p"])"));
  EXPECT_EQ(harness.record().contactFetches, (std::vector<std::string>{"p", "w"}));
}

TEST(ContactQueryTest, FailuresDiscardTheWholeQuery) {
  BridgeHarness failing(
      world({contact("p", "1", "Ann", "A")}, R"(,"faults":{"contactsErrorIn":["w"]})"));
  EXPECT_EQ(failureOf(answer(failing, contactsQuery("ann"))), BridgeFailure::sourceUnavailable());
  BridgeHarness noContainers(world({}, R"(,"faults":{"containersError":true})"));
  EXPECT_EQ(failureOf(answer(noContainers, contactsQuery("ann"))),
            BridgeFailure::sourceUnavailable());
  BridgeHarness missing(world({}));
  EXPECT_EQ(failureOf(answer(missing, contactsQuery("ann", R"(["p","gone"])"))),
            BridgeFailure::contactsSourceMissing());
  EXPECT_TRUE(missing.record().contactFetches.empty());
  BridgeHarness revoked(world({}, R"(,"faults":{"revokeDuring":["contacts"]})"));
  EXPECT_EQ(failureOf(answer(revoked, contactsQuery("ann"))),
            BridgeFailure::contactsAccessChanged());
}

TEST(ContactQueryTest, LimitedAccessIsReadable) {
  BridgeHarness harness(
      world({contact("p", "1", "Ann", "A")}, R"(,"authorization":{"contacts":4})"));
  EXPECT_EQ(titles(answer(harness, contactsQuery("ann"))), std::vector<std::string>{"Ann A"});
}

}  // namespace
}  // namespace pemrix::testing
