// The contact store over Akonadi: each call runs ContactReader on the Qt thread, where the
// Akonadi client lives, and waits for it; the visitor is called there too.
#include "platform/contact_store.h"

#include "platform/akonadi/akonadi_system.h"
#include "platform/akonadi/calendar_reader.h"
#include "platform/akonadi/contact_reader.h"
#include "platform/akonadi/qt_thread.h"

namespace pemrix::platform {

namespace {

class AkonadiContactStore final : public ContactStore {
 public:
  explicit AkonadiContactStore(akonadi::StoreClient& client)
      : reader_(std::make_unique<akonadi::ContactReader>(client)) {}
  ~AkonadiContactStore() override {
    akonadi::QtThread::instance().run([this] { reader_.reset(); });
  }

  void requestAccess(AccessCompletion completion) override {
    akonadi::CalendarReader::endAccessRequest(std::move(completion));
  }

  Status containers(std::vector<ContainerInfo>* out) override {
    Status status;
    akonadi::QtThread::instance().run([&] { status = reader_->containers(out); });
    return status;
  }

  Status enumerateContacts(const std::string& containerId, const ContactVisitor& visitor) override {
    Status status;
    akonadi::QtThread::instance().run(
        [&] { status = reader_->enumerateContacts(containerId, visitor); });
    return status;
  }

  Status observeChanges(std::function<void()> onChange, ObserverToken* token) override {
    akonadi::QtThread::instance().run([&] { *token = reader_->observe(std::move(onChange)); });
    return Status();
  }

 private:
  std::unique_ptr<akonadi::ContactReader> reader_;
};

}  // namespace

Status AkonadiSystem::openContactStore(std::unique_ptr<ContactStore>* store) {
  return statusOf([&] { *store = std::make_unique<AkonadiContactStore>(client()); });
}

}  // namespace pemrix::platform
