// GLib's handlers replaced with ones that drop everything. The structured writer can be
// set only once per process, so the whole installation runs once.
#include "platform/desktop/quiet_glib.h"

#include <mutex>

#include <glib.h>

namespace pemrix::platform::desktop {

namespace {

GLogWriterOutput dropRecord(GLogLevelFlags, const GLogField*, gsize, gpointer) {
  return G_LOG_WRITER_HANDLED;
}

void dropMessage(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

void dropText(const gchar*) {}

}  // namespace

void silenceGlibOutput() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_log_set_writer_func(dropRecord, nullptr, nullptr);
    g_log_set_default_handler(dropMessage, nullptr);
    g_set_print_handler(dropText);
    g_set_printerr_handler(dropText);
  });
}

}  // namespace pemrix::platform::desktop
