// The contact store over EDS: address books from the source registry, contacts read with a
// cursor in steps of kContactStep, so that memory stays bounded however large the address
// book, and the enumeration stops as soon as the visitor says so. Only the requested of the
// five properties are copied out of each contact; EDS still sends whole vCards, which are
// dropped step by step. Runs on the GLib thread (the stores' serial queue).
#include "platform/contact_store.h"

#include <algorithm>

#include <libebook/libebook.h>

#include "platform/eds/client_set.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/system_impl.h"

namespace pemrix::platform {

namespace {

constexpr int kContactStep = 100;

GObject* openView(EClient* client, GError** error) {
  EBookQuery* all = e_book_query_any_field_contains("");
  gchar* expression = e_book_query_to_string(all);
  e_book_query_unref(all);
  EBookClientView* view = nullptr;
  gboolean made =
      e_book_client_get_view_sync(E_BOOK_CLIENT(client), expression, &view, nullptr, error);
  g_free(expression);
  if (!made) return nullptr;
  e_book_client_view_set_flags(view, E_BOOK_CLIENT_VIEW_FLAGS_NONE, nullptr);
  GSList fields = {const_cast<char*>(e_contact_field_name(E_CONTACT_UID)), nullptr};
  e_book_client_view_set_fields_of_interest(view, &fields, nullptr);
  e_book_client_view_start(view, error);
  if (error != nullptr && *error != nullptr) {
    g_object_unref(view);
    return nullptr;
  }
  return G_OBJECT(view);
}

std::string textOf(EContact* contact, EContactField field) {
  const char* value = static_cast<const char*>(e_contact_get_const(contact, field));
  return value != nullptr ? value : "";
}

// The requested properties of `contact`; the others stay empty.
ContactRecord recordOf(EContact* contact, const std::vector<ContactKey>& keys) {
  ContactRecord record;
  auto wants = [&](ContactKey key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
  };
  if (wants(ContactKey::identifier)) record.identifier = textOf(contact, E_CONTACT_UID);
  if (wants(ContactKey::givenName)) record.givenName = textOf(contact, E_CONTACT_GIVEN_NAME);
  if (wants(ContactKey::familyName)) record.familyName = textOf(contact, E_CONTACT_FAMILY_NAME);
  if (wants(ContactKey::organizationName)) record.organizationName = textOf(contact, E_CONTACT_ORG);
  if (wants(ContactKey::jobTitle)) record.jobTitle = textOf(contact, E_CONTACT_TITLE);
  return record;
}

PlatformError takeError(GError*& error) {
  PlatformError failure{error != nullptr ? error->message : "the address book failed"};
  g_clear_error(&error);
  return failure;
}

}  // namespace

struct ContactStore::Impl {
  explicit Impl(System& s)
      : system(s.impl()),
        changes(std::make_shared<eds::ChangeFanout>()),
        books(
            [](ESource* source, GError** error) {
              return e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, error);
            },
            openView, changes) {}

  // Reads the contacts of `client` step by step; false with `error` set on failure.
  bool read(EBookClient* client, const ContactFetchRequest& request, const ContactVisitor& visitor,
            GError** error) {
    const EContactField sortFields[] = {E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME};
    const EBookCursorSortType sortTypes[] = {E_BOOK_CURSOR_SORT_ASCENDING,
                                             E_BOOK_CURSOR_SORT_ASCENDING};
    EBookClientCursor* cursor = nullptr;
    if (!e_book_client_get_cursor_sync(client, nullptr, sortFields, sortTypes, 2, &cursor, nullptr,
                                       error)) {
      return false;
    }
    bool ok = true, stop = false;
    // Stepping past the end is an error, so the walk stops at the total counted when the
    // cursor was made, or at a short step.
    const gint total = e_book_client_cursor_get_total(cursor);
    gint fetched = 0;
    if (total <= 0) stop = true;
    while (!stop) {
      GSList* contacts = nullptr;
      gint moved = e_book_client_cursor_step_sync(
          cursor,
          static_cast<EBookCursorStepFlags>(E_BOOK_CURSOR_STEP_MOVE | E_BOOK_CURSOR_STEP_FETCH),
          E_BOOK_CURSOR_ORIGIN_CURRENT, kContactStep, &contacts, nullptr, error);
      if (moved < 0) ok = false;
      fetched += moved;
      for (GSList* item = contacts; item != nullptr && !stop; item = item->next) {
        visitor(recordOf(E_CONTACT(item->data), request.keysToFetch), stop);
      }
      g_slist_free_full(contacts, g_object_unref);
      if (moved < kContactStep || fetched >= total) break;
    }
    g_object_unref(cursor);
    return ok;
  }

  System::Impl& system;
  std::shared_ptr<eds::ChangeFanout> changes;
  eds::ClientSet books;
  std::optional<ObserverToken> sourceWatch;
};

Authorization ContactStore::authorization(System& system) {
  return system.contactAccess();
}

ContactStore::ContactStore(System& system) : impl_(std::make_unique<Impl>(system)) {}

ContactStore::~ContactStore() {
  eds::GlibThread::instance().run([this] { impl_.reset(); });
}

// There is no prompt on Linux desktops: an access request only ends, and the stores then
// report the current state.
void ContactStore::requestAccess(AccessCompletion completion) {
  eds::GlibThread::instance().post(
      [completion = std::move(completion)] { completion(std::nullopt); });
}

PlatformStatus ContactStore::containers(std::vector<ContainerInfo>* out) {
  return statusOf([&] {
    GList* list =
        e_source_registry_list_enabled(impl_->system.registry(), E_SOURCE_EXTENSION_ADDRESS_BOOK);
    for (GList* item = list; item != nullptr; item = item->next) {
      auto* source = E_SOURCE(item->data);
      const gchar* name = e_source_get_display_name(source);
      out->push_back({e_source_get_uid(source), name != nullptr ? name : ""});
    }
    g_list_free_full(list, g_object_unref);
  });
}

PlatformStatus ContactStore::enumerateContacts(const ContactFetchRequest& request,
                                               const ContactVisitor& visitor) {
  const std::string& uid = request.containerIdentifier;
  try {
    ESource* source = e_source_registry_ref_source(impl_->system.registry(), uid.c_str());
    if (source == nullptr) return PlatformError{"the address book is gone"};
    EClient* client = nullptr;
    try {
      client = impl_->books.client(source);
    } catch (...) {
      g_object_unref(source);
      impl_->system.dropRegistry();
      throw;
    }
    g_object_unref(source);
    GError* error = nullptr;
    if (!impl_->read(E_BOOK_CLIENT(client), request, visitor, &error)) {
      // The next request connects again, to the registry too: a service that died is
      // started again only by a new connection.
      impl_->books.forget(uid);
      impl_->system.dropRegistry();
      return takeError(error);
    }
    return std::nullopt;
  } catch (const PlatformError& error) {
    return error;
  }
}

ObserverToken ContactStore::observeChanges(std::function<void()> onChange) {
  if (!impl_->sourceWatch) {
    impl_->sourceWatch = impl_->system.watchSources(
        eds::EdsService::addressBook, [changes = impl_->changes] { changes->notify(); });
  }
  return impl_->changes->add(std::move(onChange));
}

}  // namespace pemrix::platform
