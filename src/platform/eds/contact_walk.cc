// The cursor walk over an address book, and its recovery from one out-of-sync step.
#include "platform/eds/contact_walk.h"

#include "platform/eds/glib_thread.h"

namespace pemrix::platform::eds {

namespace {

void setFlag(gpointer flag) {
  *static_cast<bool*>(flag) = true;
}

void onRefresh(EBookClientCursor*, gpointer flag) {
  setFlag(flag);
}

gboolean onTimeout(gpointer flag) {
  setFlag(flag);
  return G_SOURCE_REMOVE;
}

// Runs the GLib thread's context until `cursor` is refreshed or the wait is over; true
// when it was refreshed.
bool awaitRefresh(EBookClientCursor* cursor) {
  bool refreshed = false, over = false;
  gulong handler = g_signal_connect(cursor, "refresh", G_CALLBACK(onRefresh), &refreshed);
  GMainContext* context = GlibThread::instance().context();
  GSource* timer = g_timeout_source_new(kRefreshWaitMs);
  g_source_set_callback(timer, onTimeout, &over, nullptr);
  g_source_attach(timer, context);
  while (!refreshed && !over) g_main_context_iteration(context, TRUE);
  g_source_destroy(timer);
  g_source_unref(timer);
  g_signal_handler_disconnect(cursor, handler);
  return refreshed;
}

// Hands each contact of `contacts` to `visit` until it sets `stop`, dropping each one as
// soon as it has been seen; frees the list.
void visitAndDrop(GSList* contacts, const ContactVisit& visit, bool& stop) {
  for (GSList* item = contacts; item != nullptr; item = item->next) {
    auto* contact = E_CONTACT(item->data);
    if (!stop) visit(contact, stop);
    g_object_unref(contact);
  }
  g_slist_free(contacts);
}

bool atEnd(EBookClientCursor* cursor) {
  return e_book_client_cursor_get_position(cursor) >= e_book_client_cursor_get_total(cursor);
}

}  // namespace

bool walkContacts(EBookClient* client, int step, const ContactVisit& visit, GError** error) {
  const EContactField sortFields[] = {E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME};
  const EBookCursorSortType sortTypes[] = {E_BOOK_CURSOR_SORT_ASCENDING,
                                           E_BOOK_CURSOR_SORT_ASCENDING};
  EBookClientCursor* cursor = nullptr;
  if (!e_book_client_get_cursor_sync(client, nullptr, sortFields, sortTypes, 2, &cursor, nullptr,
                                     error)) {
    return false;
  }
  const auto flags =
      static_cast<EBookCursorStepFlags>(E_BOOK_CURSOR_STEP_MOVE | E_BOOK_CURSOR_STEP_FETCH);
  GError* failure = nullptr;
  bool stop = atEnd(cursor), recovered = false;
  // Stepping past the end is an error: the walk ends at a short step or at the total.
  while (!stop) {
    GSList* contacts = nullptr;
    gint moved = e_book_client_cursor_step_sync(cursor, flags, E_BOOK_CURSOR_ORIGIN_CURRENT, step,
                                                &contacts, nullptr, &failure);
    if (moved < 0 && !recovered &&
        g_error_matches(failure, E_CLIENT_ERROR, E_CLIENT_ERROR_OUT_OF_SYNC) &&
        awaitRefresh(cursor)) {
      recovered = true;
      g_clear_error(&failure);
      continue;
    }
    if (moved < 0) break;
    visitAndDrop(contacts, visit, stop);
    if (moved < step || atEnd(cursor)) break;
  }
  g_object_unref(cursor);
  if (failure == nullptr) return true;
  g_propagate_error(error, failure);
  return false;
}

}  // namespace pemrix::platform::eds
