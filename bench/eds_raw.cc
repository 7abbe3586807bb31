// pemrix-eds-raw: the raw EDS client calls for the work the bridge does over EDS, timed,
// so that tools/bench-eds.py can report the bridge's overhead over them. Prints one JSON
// object: the milliseconds of connecting and of each repetition, the items found, and the
// program's peak resident memory.
//
//   pemrix-eds-raw events SOURCE START END REPEATS   (START, END: 20240501T000000Z)
//   pemrix-eds-raw contacts SOURCE COUNT REPEATS     (read COUNT contacts over D-Bus with a
//                                                     cursor, in steps of 100)
//   pemrix-eds-raw contacts-direct SOURCE COUNT REPEATS   (the same, reading the book directly,
//                                                     in one step)
//   pemrix-eds-raw uids-direct SOURCE REPEATS        (every UID of the book, read directly)
//   pemrix-eds-raw add-contact SOURCE UID            (adds one contact; prints the monotonic
//                                                     clock in seconds once it is stored)
//   pemrix-eds-raw pid BUS-NAME                      (the process that owns a bus name)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

namespace {

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

long peakKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

void print(double connectMs, const std::vector<double>& runs, long items) {
  std::printf("{\"connectMs\":%.3f,\"runsMs\":[", connectMs);
  for (std::size_t i = 0; i < runs.size(); ++i) std::printf("%s%.3f", i ? "," : "", runs[i]);
  std::printf("],\"items\":%ld,\"peakKb\":%ld}\n", items, peakKb());
}

ESource* sourceNamed(const char* uid) {
  ESourceRegistry* registry = e_source_registry_new_sync(nullptr, nullptr);
  if (registry == nullptr) return nullptr;
  return e_source_registry_ref_source(registry, uid);
}

int events(const char* uid, const char* start, const char* end, int repeats) {
  auto begin = std::chrono::steady_clock::now();
  ESource* source = sourceNamed(uid);
  if (source == nullptr) return 1;
  EClient* client = e_cal_client_connect_sync(source, E_CAL_CLIENT_SOURCE_TYPE_EVENTS,
                                              static_cast<guint32>(-1), nullptr, nullptr);
  if (client == nullptr) return 1;
  double connectMs = since(begin);
  std::string query = std::string("(occur-in-time-range? (make-time \"") + start +
                      "\") (make-time \"" + end + "\"))";
  std::vector<double> runs;
  long items = 0;
  for (int i = 0; i < repeats; ++i) {
    auto t = std::chrono::steady_clock::now();
    GSList* found = nullptr;
    if (!e_cal_client_get_object_list_as_comps_sync(E_CAL_CLIENT(client), query.c_str(), &found,
                                                    nullptr, nullptr)) {
      return 1;
    }
    items = g_slist_length(found);
    g_slist_free_full(found, g_object_unref);
    runs.push_back(since(t));
  }
  print(connectMs, runs, items);
  return 0;
}

// Reads up to `count` contacts with a cursor in steps of `step`, extracting the five
// fields of each (which parses the vCard); the number read.
long walkContacts(EClient* client, long count, int step) {
  const EContactField sortFields[] = {E_CONTACT_FAMILY_NAME, E_CONTACT_GIVEN_NAME};
  const EBookCursorSortType sortTypes[] = {E_BOOK_CURSOR_SORT_ASCENDING,
                                           E_BOOK_CURSOR_SORT_ASCENDING};
  EBookClientCursor* cursor = nullptr;
  if (!e_book_client_get_cursor_sync(E_BOOK_CLIENT(client), nullptr, sortFields, sortTypes, 2,
                                     &cursor, nullptr, nullptr)) {
    return -1;
  }
  long items = 0;
  while (items < count) {
    GSList* found = nullptr;
    int want = count - items < step ? static_cast<int>(count - items) : step;
    gint moved = e_book_client_cursor_step_sync(
        cursor,
        static_cast<EBookCursorStepFlags>(E_BOOK_CURSOR_STEP_MOVE | E_BOOK_CURSOR_STEP_FETCH),
        E_BOOK_CURSOR_ORIGIN_CURRENT, want, &found, nullptr, nullptr);
    for (GSList* c = found; c != nullptr; c = c->next) {
      for (EContactField field : {E_CONTACT_UID, E_CONTACT_GIVEN_NAME, E_CONTACT_FAMILY_NAME,
                                  E_CONTACT_ORG, E_CONTACT_TITLE}) {
        e_contact_get_const(E_CONTACT(c->data), field);
      }
    }
    g_slist_free_full(found, g_object_unref);
    if (moved <= 0) break;
    items += moved;
    if (moved < want) break;
  }
  g_object_unref(cursor);
  return items;
}

EClient* connectBook(const char* uid, bool direct) {
  ESourceRegistry* registry = e_source_registry_new_sync(nullptr, nullptr);
  if (registry == nullptr) return nullptr;
  ESource* source = e_source_registry_ref_source(registry, uid);
  if (source == nullptr) return nullptr;
  const auto noWait = static_cast<guint32>(-1);
  return direct ? e_book_client_connect_direct_sync(registry, source, noWait, nullptr, nullptr)
                : e_book_client_connect_sync(source, noWait, nullptr, nullptr);
}

// Connects to the book `uid` (directly or over D-Bus), then times `read` `repeats` times
// and prints the figures. `read` returns the number of contacts it read, or -1 on failure.
template <typename Read>
int timeReads(const char* uid, bool direct, int repeats, Read read) {
  auto begin = std::chrono::steady_clock::now();
  EClient* client = connectBook(uid, direct);
  if (client == nullptr) return 1;
  double connectMs = since(begin);
  std::vector<double> runs;
  long items = 0;
  for (int i = 0; i < repeats; ++i) {
    auto t = std::chrono::steady_clock::now();
    items = read(client);
    if (items < 0) return 1;
    runs.push_back(since(t));
  }
  print(connectMs, runs, items);
  return 0;
}

int contacts(const char* uid, int count, int repeats, bool direct) {
  return timeReads(uid, direct, repeats, [&](EClient* client) {
    return walkContacts(client, count, direct ? count : 100);
  });
}

// Every UID of the book, read directly: what reading only what the book keeps in its
// summary (no whole vCards) costs at least.
int uids(const char* uid, int repeats) {
  return timeReads(uid, true, repeats, [](EClient* client) -> long {
    GSList* found = nullptr;
    if (!e_book_client_get_contacts_uids_sync(E_BOOK_CLIENT(client), "", &found, nullptr,
                                              nullptr)) {
      return -1;
    }
    long count = g_slist_length(found);
    g_slist_free_full(found, g_free);
    return count;
  });
}

// Adds one contact as another program would, for the latency of "changed".
int addContact(const char* book, const char* uid) {
  EClient* client = connectBook(book, false);
  if (client == nullptr) return 1;
  EContact* contact = e_contact_new();
  e_contact_set(contact, E_CONTACT_UID, uid);
  e_contact_set(contact, E_CONTACT_FAMILY_NAME, uid);
  if (!e_book_client_add_contact_sync(E_BOOK_CLIENT(client), contact, E_BOOK_OPERATION_FLAG_NONE,
                                      nullptr, nullptr, nullptr)) {
    return 1;
  }
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  std::printf("%.6f\n", std::chrono::duration<double>(now).count());
  return 0;
}

// The process id of the owner of a bus name (to end an EDS service for a cold start).
int ownerPid(const char* name) {
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus == nullptr) return 1;
  GVariant* reply = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
      "GetConnectionUnixProcessID", g_variant_new("(s)", name), G_VARIANT_TYPE("(u)"),
      G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
  if (reply == nullptr) return 1;
  guint32 pid = 0;
  g_variant_get(reply, "(u)", &pid);
  std::printf("%u\n", pid);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "pid") == 0) return ownerPid(argv[2]);
  if (argc == 6 && std::strcmp(argv[1], "events") == 0) {
    return events(argv[2], argv[3], argv[4], std::atoi(argv[5]));
  }
  if (argc == 5 && std::strcmp(argv[1], "contacts") == 0) {
    return contacts(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), false);
  }
  if (argc == 5 && std::strcmp(argv[1], "contacts-direct") == 0) {
    return contacts(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), true);
  }
  if (argc == 4 && std::strcmp(argv[1], "add-contact") == 0) return addContact(argv[2], argv[3]);
  if (argc == 4 && std::strcmp(argv[1], "uids-direct") == 0) {
    return uids(argv[2], std::atoi(argv[3]));
  }
  std::fprintf(stderr,
               "usage: pemrix-eds-raw events SOURCE START END REPEATS | "
               "contacts|contacts-direct SOURCE COUNT REPEATS | uids-direct SOURCE REPEATS | "
               "add-contact SOURCE UID | pid BUS-NAME\n");
  return 64;
}
