// Walking an address book with an EDS cursor, in the book's own order (family name, then
// given name), one step of contacts at a time: each contact is handed to the visitor and
// dropped at once, so no more than one step of contacts is held. The walk ends at the end
// of the book or when the visitor sets its stop flag.
//
// A step that meets a change of the book fails with E_CLIENT_ERROR_OUT_OF_SYNC; EDS then
// refreshes the cursor, which keeps its place. The walk waits for that refresh (at most
// kRefreshWaitMs, iterating the GLib thread's context, where the cursor's notifications
// arrive) and steps on from where it stood, once per walk; a second change fails it.
//
// Thread safety: GLib thread only; the visitor runs there too. Other signals of that
// context (change reports) may be dispatched while the walk waits for a refresh.
#pragma once

#include <functional>

#include <libebook/libebook.h>

namespace pemrix::platform::eds {

inline constexpr guint kRefreshWaitMs = 2000;

using ContactVisit = std::function<void(EContact* contact, bool& stop)>;

// Walks the contacts of `client` in steps of `step`; false with `error` set on failure.
bool walkContacts(EBookClient* client, int step, const ContactVisit& visit, GError** error);

}  // namespace pemrix::platform::eds
