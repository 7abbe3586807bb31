// The contact store over EDS: address books from the source registry, contacts read with a
// cursor walk (eds/contact_walk.h) in the book's order, which stops as soon as the visitor
// says so. EDS's own local address books are read directly: the client reads the book's
// database in this process, no vCards cross the bus, and one step holds all that a query
// may examine (the scan cap). Other books are read over D-Bus in steps of kContactStep, so
// that memory stays bounded whatever their vCards hold. Only the five properties are copied
// out of each contact; the rest of its vCard is dropped with it.
// Called on the stores' serial queue, it does its EDS work on the GLib thread
// (eds/glib_thread.h), where every EDS object lives; the visitor is called there too, while
// the caller waits.
#include "platform/contact_store.h"

#include <libebook/libebook.h>

#include "common/limits.h"
#include "platform/eds/client_set.h"
#include "platform/eds/contact_walk.h"
#include "platform/eds/glib_error.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/store_wiring.h"
#include "platform/eds/system_impl.h"

namespace pemrix::platform {

namespace {

constexpr int kContactStep = 100;
constexpr int kDirectStep = static_cast<int>(limits::kContactScanCap);

// True for the address books that EDS keeps itself ("local" backend), which it lets a
// client read directly and whose vCards hold no photos (they are kept as files).
bool readsDirectly(ESource* source) {
  auto* book =
      static_cast<ESourceBackend*>(e_source_get_extension(source, E_SOURCE_EXTENSION_ADDRESS_BOOK));
  return g_strcmp0(e_source_backend_get_backend_name(book), "local") == 0;
}

// A client of `source`: one that reads directly where EDS allows it, else over D-Bus
// (EDS falls back to D-Bus by itself when the direct read cannot be set up).
EClient* connectBook(ESourceRegistry* registry, ESource* source, GError** error) {
  // Local sources never report "connected": waiting for it would cost the whole wait.
  const auto noWait = static_cast<guint32>(-1);
  if (readsDirectly(source)) {
    return e_book_client_connect_direct_sync(registry, source, noWait, nullptr, error);
  }
  return e_book_client_connect_sync(source, noWait, nullptr, error);
}

// A view over every contact of `client`, reporting UIDs only. The local backend bumps its
// revision with every write, which reports each change as soon: a client that reads
// directly gets no view, which would fetch every changed contact into this process.
GObject* openView(EClient* client, GError** error) {
  if (readsDirectly(e_client_get_source(client))) return nullptr;
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

// The five properties of `contact`.
ContactRecord recordOf(EContact* contact) {
  return ContactRecord{textOf(contact, E_CONTACT_UID), textOf(contact, E_CONTACT_GIVEN_NAME),
                       textOf(contact, E_CONTACT_FAMILY_NAME), textOf(contact, E_CONTACT_ORG),
                       textOf(contact, E_CONTACT_TITLE)};
}

}  // namespace

class EdsContactStore final : public ContactStore {
 public:
  explicit EdsContactStore(EdsSystem& system);
  ~EdsContactStore() override;

  void requestAccess(AccessCompletion completion) override;
  Status containers(std::vector<ContainerInfo>* out) override;
  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor) override;
  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

struct EdsContactStore::Impl {
  explicit Impl(EdsSystem& s)
      : wiring(s, eds::EdsService::addressBook),
        books(
            [this](ESource* source, GError** error) {
              return connectBook(wiring.system().registry(), source, error);
            },
            openView, wiring.changes()) {}

  // Reads the contacts of `client` step by step; false with `error` set on failure.
  bool read(EBookClient* client, const ContactVisitor& visitor, GError** error) {
    const int step =
        readsDirectly(e_client_get_source(E_CLIENT(client))) ? kDirectStep : kContactStep;
    return eds::walkContacts(
        client, step, [&](EContact* contact, bool& stop) { visitor(recordOf(contact), stop); },
        error);
  }

  // Puts the enabled address books in `out`, in the registry's order.
  void list(std::vector<ContainerInfo>* out);

  eds::StoreWiring wiring;
  eds::ClientSet books;
};

EdsContactStore::~EdsContactStore() {
  eds::GlibThread::instance().run([this] { impl_.reset(); });
}

void EdsContactStore::requestAccess(AccessCompletion completion) {
  eds::StoreWiring::endAccessRequest(std::move(completion));
}

Status EdsContactStore::containers(std::vector<ContainerInfo>* out) {
  return statusOf([&] { eds::GlibThread::instance().run([&] { impl_->list(out); }); });
}

void EdsContactStore::Impl::list(std::vector<ContainerInfo>* out) {
  GList* list =
      e_source_registry_list_enabled(wiring.system().registry(), E_SOURCE_EXTENSION_ADDRESS_BOOK);
  for (GList* item = list; item != nullptr; item = item->next) {
    auto* source = E_SOURCE(item->data);
    const gchar* name = e_source_get_display_name(source);
    out->push_back({e_source_get_uid(source), name != nullptr ? name : ""});
  }
  g_list_free_full(list, g_object_unref);
}

Status EdsContactStore::enumerateContacts(const std::string& containerId,
                                          const ContactVisitor& visitor) {
  const std::string& uid = containerId;
  return statusOf([&] {
    eds::GlibThread::instance().run([&] {
      EClient* client = impl_->wiring.client(impl_->books, uid);
      GError* error = nullptr;
      if (!impl_->read(E_BOOK_CLIENT(client), visitor, &error)) {
        impl_->wiring.failed(impl_->books, uid);
        throw eds::takeError(error, "the address book failed");
      }
    });
  });
}

Status EdsContactStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  return statusOf([&] {
    eds::GlibThread::instance().run([&] { *token = impl_->wiring.observe(std::move(onChange)); });
  });
}

EdsContactStore::EdsContactStore(EdsSystem& system) : impl_(std::make_unique<Impl>(system)) {}

Status EdsSystem::openContactStore(std::unique_ptr<ContactStore>* store) {
  return statusOf([&] {
    eds::GlibThread::instance().run([&] { *store = std::make_unique<EdsContactStore>(*this); });
  });
}

}  // namespace pemrix::platform
