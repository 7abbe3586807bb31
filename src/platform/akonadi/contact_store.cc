// The contact store over Akonadi: forwards to ContactReader on the Qt thread (the stores'
// serial queue).
#include "platform/contact_store.h"

#include "platform/akonadi/akonadi_system.h"
#include "platform/akonadi/calendar_reader.h"
#include "platform/akonadi/contact_reader.h"
#include "platform/akonadi/qt_thread.h"

namespace pemrix::platform {

struct ContactStore::Impl {
  akonadi::ContactReader reader;
};

Authorization ContactStore::authorization(System& system) {
  return system.contactAccess();
}

ContactStore::ContactStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Status ContactStore::open(System& system, std::unique_ptr<ContactStore>* store) {
  return statusOf([&] {
    store->reset(
        new ContactStore(std::make_unique<Impl>(Impl{akonadi::ContactReader(system.client())})));
  });
}

ContactStore::~ContactStore() {
  akonadi::QtThread::instance().run([this] { impl_.reset(); });
}

void ContactStore::requestAccess(AccessCompletion completion) {
  akonadi::CalendarReader::endAccessRequest(std::move(completion));
}

Status ContactStore::containers(std::vector<ContainerInfo>* out) {
  return impl_->reader.containers(out);
}

Status ContactStore::enumerateContacts(const std::string& containerId,
                                       const ContactVisitor& visitor) {
  return impl_->reader.enumerateContacts(containerId, visitor);
}

Status ContactStore::observeChanges(std::function<void()> onChange, ObserverToken* token) {
  *token = impl_->reader.observe(std::move(onChange));
  return Status();
}

}  // namespace pemrix::platform
