// PersonalStores: the contacts query. Every word of the query must occur in a contact's
// name, organisation or job title, ignoring case and diacritical marks. Only five
// properties are ever fetched; containers are read one by one, contacts as stored (not
// unified), and at most 2000 contacts are examined per query.
#include <set>

#include "common/limits.h"
#include "protocol/clipped.h"
#include "protocol/result_encoding.h"
#include "protocol/unicode.h"
#include "stores/personal_stores.h"
#include "stores/query_support.h"

namespace pemrix {

namespace {

using limits::kJobTitleLimit;
using limits::kNameLimit;
using limits::kNamePartLimit;
using limits::kOrganizationLimit;
constexpr std::size_t kScanCap = limits::kContactScanCap;

// The texts of one contact as the result shows them.
struct ContactTexts {
  explicit ContactTexts(const platform::ContactRecord& contact)
      : organization(clipped(contact.organizationName, kOrganizationLimit)),
        job(clipped(contact.jobTitle, kJobTitleLimit)) {
    std::string given = clipped(contact.givenName, kNamePartLimit);
    std::string family = clipped(contact.familyName, kNamePartLimit);
    std::string joined = given;
    if (!given.empty() && !family.empty()) joined += ' ';
    joined += family;
    name = clipped(joined, kNameLimit);
  }

  bool matches(const std::vector<std::string>& terms) const {
    std::string haystack = unicode::foldForSearch(name + " " + organization + " " + job);
    for (const std::string& term : terms) {
      if (haystack.find(term) == std::string::npos) return false;
    }
    return true;
  }

  std::string name;
  std::string organization;
  std::string job;
};

// The working state of one contacts query across its containers.
struct ContactScan {
  ContactScan(const std::vector<std::string>& queryTerms, std::size_t itemLimit)
      : terms(queryTerms), limit(itemLimit) {}

  const std::vector<std::string>& terms;
  std::size_t limit;
  ContactResult result;
  std::size_t scanned = 0;
  std::set<std::string> seen;

  void visit(const platform::ContactRecord& contact, const std::string& containerId, bool& stop) {
    ++scanned;
    ContactTexts texts(contact);
    if (texts.matches(terms) && seen.insert(contact.identifier).second) {
      result.items.push_back(
          ContactItem{.id = clipped(contact.identifier, kItemIdentifierLimit),
                      .sourceId = containerId,
                      .title = texts.name.empty() ? texts.organization : texts.name,
                      .organization = texts.organization,
                      .jobTitle = texts.job});
    }
    if (result.items.size() >= limit || scanned >= kScanCap) {
      result.truncated = true;
      stop = true;
    }
  }
};

// Puts the identifiers of the containers that `requested` names in `selected`, in the
// store's order. A failure when the store cannot list them or one of them no longer exists.
std::optional<BridgeFailure> selectContainers(platform::ContactStore& store,
                                              const std::set<std::string>& requested,
                                              std::vector<std::string>* selected) {
  std::vector<platform::ContainerInfo> listed;
  if (!store.containers(&listed).ok()) return BridgeFailure::sourceUnavailable();
  auto chosen = requestedSources(std::move(listed), requested);
  if (!chosen) return BridgeFailure::contactsSourceMissing();
  for (const auto& container : *chosen) selected->push_back(container.identifier);
  return std::nullopt;
}

}  // namespace

void PersonalStores::queryContacts(const ContactsQuery& request, const Lifetime& lifetime,
                                   const StoreReply& reply) {
  platform::ContactStore* opened = contactStore();
  if (opened == nullptr) {
    reply(BridgeFailure::sourceUnavailable());
    return;
  }
  platform::ContactStore& store = *opened;
  const std::set<std::string> requested(request.sourceIds.begin(), request.sourceIds.end());
  std::vector<std::string> selected;
  if (auto failure = selectContainers(store, requested, &selected)) {
    reply(*failure);
    return;
  }
  const std::vector<std::string> terms =
      unicode::splitOnWhiteSpace(unicode::foldForSearch(request.text));
  ContactScan scan(terms, static_cast<std::size_t>(request.limit));
  for (const std::string& containerId : selected) {
    if (!lifetime->isActive()) return;
    platform::Status status = store.enumerateContacts(
        containerId, [&](const platform::ContactRecord& contact, bool& stop) {
          if (!lifetime->isActive()) {
            stop = true;
            return;
          }
          scan.visit(contact, containerId, stop);
        });
    // A failure in any container discards the whole query: no partial result.
    if (!status.ok()) {
      reply(BridgeFailure::sourceUnavailable());
      return;
    }
    if (scan.result.truncated) break;
  }
  if (!lifetime->isActive()) return;
  if (!readable(NativeEntity::contacts)) {
    reply(BridgeFailure::contactsAccessChanged());
    return;
  }
  reply(encodeResult(std::move(scan.result)));
}

}  // namespace pemrix
