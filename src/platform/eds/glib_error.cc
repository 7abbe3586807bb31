// GLib errors of EDS calls as a Status.
#include "platform/eds/glib_error.h"

#include <gio/gio.h>
#include <libebook/libebook.h>
#include <libecal/libecal.h>

namespace pemrix::platform::eds {

bool namesGoneSource(const GError* error) {
  if (error == nullptr) return false;
  return g_error_matches(error, E_CAL_CLIENT_ERROR, E_CAL_CLIENT_ERROR_NO_SUCH_CALENDAR) ||
         g_error_matches(error, E_BOOK_CLIENT_ERROR, E_BOOK_CLIENT_ERROR_NO_SUCH_BOOK) ||
         g_error_matches(error, E_BOOK_CLIENT_ERROR, E_BOOK_CLIENT_ERROR_NO_SUCH_SOURCE) ||
         g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND);
}

Status takeError(GError*& error, const char* fallback) {
  const char* text = error != nullptr ? error->message : fallback;
  Status status = namesGoneSource(error) ? Status::gone(text) : Status::unavailable(text);
  g_clear_error(&error);
  return status;
}

}  // namespace pemrix::platform::eds
