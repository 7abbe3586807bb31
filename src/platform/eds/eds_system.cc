// The EDS System: authorisation from the session bus, and the shared source registry with
// its signals.
#include "platform/eds/eds_system.h"

#include <libical/ical.h>

#include "platform/desktop/quiet_glib.h"
#include "platform/desktop/session_bus_names.h"
#include "platform/eds/glib_error.h"
#include "platform/eds/glib_thread.h"
#include "platform/eds/system_impl.h"

namespace pemrix::platform {

EdsSystem::EdsSystem() : impl_(std::make_unique<Impl>()) {
  desktop::silenceGlibOutput();
  // libical reports a malformed component through its error state, never by aborting.
  icalerror_set_errors_are_fatal(0);
}

EdsSystem::~EdsSystem() = default;

Authorization EdsSystem::calendarAuthorization(CalendarEntityType /*type*/) {
  return eds::accessOf(eds::readSessionBus(), eds::EdsService::calendar, desktop::runsInSandbox());
}

Authorization EdsSystem::contactAuthorization() {
  return eds::accessOf(eds::readSessionBus(), eds::EdsService::addressBook,
                       desktop::runsInSandbox());
}

EdsSystem::Impl::~Impl() {
  if (registry_ != nullptr || bus_.held()) {
    eds::GlibThread::instance().run([this] {
      dropRegistry();
      bus_.release();
    });
  }
}

ESourceRegistry* EdsSystem::Impl::registry() {
  // A registry made on a bus that went away is of no use; the next bus gets a new one.
  if (bus_.lost()) dropRegistry();
  bus_.hold();
  if (registry_ != nullptr) return registry_;
  GError* error = nullptr;
  registry_ = e_source_registry_new_sync(nullptr, &error);
  if (registry_ == nullptr) throw eds::takeError(error, "no source registry");
  seen_.clear();
  GList* sources = e_source_registry_list_sources(registry_, nullptr);
  for (GList* item = sources; item != nullptr; item = item->next) {
    auto* source = E_SOURCE(item->data);
    gchar* text = e_source_to_string(source, nullptr);
    seen_[e_source_get_uid(source)] = text ? text : "";
    g_free(text);
  }
  g_list_free_full(sources, g_object_unref);
  g_signal_connect(registry_, "source-added", G_CALLBACK(onSourceAdded), this);
  g_signal_connect(registry_, "source-removed", G_CALLBACK(onSourceAdded), this);
  g_signal_connect(registry_, "source-enabled", G_CALLBACK(onSourceAdded), this);
  g_signal_connect(registry_, "source-disabled", G_CALLBACK(onSourceAdded), this);
  g_signal_connect(registry_, "source-changed", G_CALLBACK(onSourceChanged), this);
  return registry_;
}

void EdsSystem::Impl::dropRegistry() {
  if (registry_ == nullptr) return;
  g_signal_handlers_disconnect_by_data(registry_, this);
  g_object_unref(registry_);
  registry_ = nullptr;
}

ObserverToken EdsSystem::Impl::watchSources(eds::EdsService service,
                                            std::function<void()> onChange) {
  return watchersOf(service).add(std::move(onChange));
}

void EdsSystem::Impl::sourceEvent(ESource* source, bool always) {
  gchar* text = e_source_to_string(source, nullptr);
  std::string stored = text ? text : "";
  g_free(text);
  std::string& last = seen_[e_source_get_uid(source)];
  if (!always && last == stored) return;
  last = stored;
  if (e_source_has_extension(source, E_SOURCE_EXTENSION_CALENDAR) ||
      e_source_has_extension(source, E_SOURCE_EXTENSION_TASK_LIST)) {
    watchersOf(eds::EdsService::calendar).notify();
  }
  if (e_source_has_extension(source, E_SOURCE_EXTENSION_ADDRESS_BOOK)) {
    watchersOf(eds::EdsService::addressBook).notify();
  }
}

void EdsSystem::Impl::onSourceAdded(ESourceRegistry*, ESource* source, gpointer self) {
  static_cast<Impl*>(self)->sourceEvent(source, true);
}

void EdsSystem::Impl::onSourceChanged(ESourceRegistry*, ESource* source, gpointer self) {
  static_cast<Impl*>(self)->sourceEvent(source, false);
}

}  // namespace pemrix::platform
