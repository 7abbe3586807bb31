// Writer: a client of a private EDS store that is not the bridge. It writes as another
// program would (sources, events and tasks as iCalendar text, zones, contacts), for the
// EDS tests and the EDS backend of the conformance suite. Header-only: each test
// executable that links the EDS libraries includes it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <libebook/libebook.h>
#include <libecal/libecal.h>
#include <libedataserver/libedataserver.h>

namespace pemrix::testing {

// A client of the store that is not the bridge: it writes as another program would.
class Writer {
 public:
  Writer() { registry_ = e_source_registry_new_sync(nullptr, nullptr); }
  ~Writer() { g_object_unref(registry_); }

  ECalClient* calendar(const char* uid, ECalClientSourceType type) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    EClient* client =
        e_cal_client_connect_sync(source, type, static_cast<guint32>(-1), nullptr, nullptr);
    g_object_unref(source);
    return E_CAL_CLIENT(client);
  }

  void addEvents(const char* uid, const std::vector<std::string>& vevents,
                 ECalClientSourceType type = E_CAL_CLIENT_SOURCE_TYPE_EVENTS) {
    ECalClient* client = calendar(uid, type);
    for (const std::string& text : vevents) {
      ICalComponent* component = i_cal_component_new_from_string(text.c_str());
      GError* error = nullptr;
      // A detached occurrence is a change of one occurrence of its series.
      bool detached = text.find("RECURRENCE-ID") != std::string::npos;
      EXPECT_TRUE(detached
                      ? e_cal_client_modify_object_sync(client, component, E_CAL_OBJ_MOD_THIS,
                                                        E_CAL_OPERATION_FLAG_NONE, nullptr, &error)
                      : e_cal_client_create_object_sync(
                            client, component, E_CAL_OPERATION_FLAG_NONE, nullptr, nullptr, &error))
          << (error ? error->message : "");
      g_clear_error(&error);
      g_object_unref(component);
    }
    g_object_unref(client);
  }

  void addContacts(const char* uid, int count, const char* prefix) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    EClient* client =
        e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, nullptr);
    g_object_unref(source);
    GSList* contacts = nullptr;
    for (int i = 0; i < count; ++i) {
      EContact* contact = e_contact_new();
      std::string id = std::string(prefix) + std::to_string(i);
      e_contact_set(contact, E_CONTACT_UID, id.c_str());
      e_contact_set(contact, E_CONTACT_GIVEN_NAME, "Filler");
      // After every real family name in the address book's order.
      e_contact_set(contact, E_CONTACT_FAMILY_NAME, ("Zz" + id).c_str());
      e_contact_set(contact, E_CONTACT_EMAIL_1, "never@read.example");
      contacts = g_slist_prepend(contacts, contact);
    }
    EXPECT_TRUE(e_book_client_add_contacts_sync(
        E_BOOK_CLIENT(client), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, nullptr));
    g_slist_free_full(contacts, g_object_unref);
    g_object_unref(client);
  }

  // Contacts of {uid, given name, family name, organisation[, job title]}, all in one call,
  // each with an e-mail address, which no reader of the five names may return.
  void addNamedContacts(const char* book, const std::vector<std::vector<std::string>>& rows) {
    ESource* source = e_source_registry_ref_source(registry_, book);
    EClient* client =
        e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, nullptr);
    g_object_unref(source);
    GSList* contacts = nullptr;
    for (const auto& row : rows) {
      EContact* contact = e_contact_new();
      e_contact_set(contact, E_CONTACT_UID, row[0].c_str());
      if (!row[1].empty()) e_contact_set(contact, E_CONTACT_GIVEN_NAME, row[1].c_str());
      if (!row[2].empty()) e_contact_set(contact, E_CONTACT_FAMILY_NAME, row[2].c_str());
      if (!row[3].empty()) e_contact_set(contact, E_CONTACT_ORG, row[3].c_str());
      if (row.size() > 4 && !row[4].empty())
        e_contact_set(contact, E_CONTACT_TITLE, row[4].c_str());
      e_contact_set(contact, E_CONTACT_EMAIL_1, "never@read.example");
      contacts = g_slist_prepend(contacts, contact);
    }
    EXPECT_TRUE(e_book_client_add_contacts_sync(
        E_BOOK_CLIENT(client), contacts, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr, nullptr));
    g_slist_free_full(contacts, g_object_unref);
    g_object_unref(client);
  }

  // A zone of the calendar's own, from VTIMEZONE text, as other clients store them.
  void addZone(const char* uid, const std::string& vtimezone) {
    ECalClient* client = calendar(uid, E_CAL_CLIENT_SOURCE_TYPE_EVENTS);
    ICalTimezone* zone = i_cal_timezone_new();
    EXPECT_TRUE(
        i_cal_timezone_set_component(zone, i_cal_component_new_from_string(vtimezone.c_str())));
    EXPECT_TRUE(e_cal_client_add_timezone_sync(client, zone, nullptr, nullptr));
    g_object_unref(zone);
    g_object_unref(client);
  }

  // With `file`, a calendar over that iCalendar file, which another program wrote: EDS keeps
  // its components as written, where its own calendars rewrite unknown TZIDs as UTC.
  void addSource(const char* uid, const char* title, const char* extension,
                 const std::string* file = nullptr) {
    ESource* source = e_source_new_with_uid(uid, nullptr, nullptr);
    e_source_set_parent(source, "local-stub");
    e_source_set_display_name(source, title);
    e_source_backend_set_backend_name(E_SOURCE_BACKEND(e_source_get_extension(source, extension)),
                                      "local");
    if (file != nullptr) {
      std::string path = std::string(g_get_home_dir()) + "/" + uid + ".ics";
      std::string text =
          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//tests//EN\r\n" + *file + "END:VCALENDAR\r\n";
      EXPECT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr));
      GFile* custom = g_file_new_for_path(path.c_str());
      e_source_local_set_custom_file(
          E_SOURCE_LOCAL(e_source_get_extension(source, E_SOURCE_EXTENSION_LOCAL_BACKEND)), custom);
      g_object_unref(custom);
    }
    EXPECT_TRUE(e_source_registry_commit_source_sync(registry_, source, nullptr, nullptr));
    g_object_unref(source);
  }

  // Removes every enabled calendar, task list and address book whose UID `keep` rejects.
  template <typename Keep>
  void removeSourcesBut(Keep keep) {
    for (const char* extension : {E_SOURCE_EXTENSION_CALENDAR, E_SOURCE_EXTENSION_TASK_LIST,
                                  E_SOURCE_EXTENSION_ADDRESS_BOOK}) {
      GList* sources = e_source_registry_list_enabled(registry_, extension);
      for (GList* item = sources; item != nullptr; item = item->next) {
        if (keep(std::string(e_source_get_uid(E_SOURCE(item->data))))) continue;
        EXPECT_TRUE(e_source_remove_sync(E_SOURCE(item->data), nullptr, nullptr));
      }
      g_list_free_full(sources, g_object_unref);
    }
  }

  // Makes the source `uid` exist and be served by EDS's own backend again (after
  // breakSource or removeSource); its contents may be left from before: see clearSource.
  void restoreSource(const char* uid, const char* title, const char* extension) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    if (source == nullptr) return addSource(uid, title, extension);
    g_object_unref(source);
    setBackend(uid, extension, "local");
  }

  // Waits (at most two seconds) until this client sees the source `uid`.
  bool sees(const char* uid) {
    for (int i = 0; i < 200; ++i) {
      if (ESource* source = e_source_registry_ref_source(registry_, uid)) {
        g_object_unref(source);
        return true;
      }
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Removes every event, task or contact of the source `uid` (EDS keeps a source's data
  // under its UID, so a source made again with it holds the old contents).
  void clearSource(const char* uid, const char* extension) {
    if (g_strcmp0(extension, E_SOURCE_EXTENSION_ADDRESS_BOOK) == 0) {
      ESource* source = e_source_registry_ref_source(registry_, uid);
      ASSERT_NE(source, nullptr) << uid;
      EClient* client =
          e_book_client_connect_sync(source, static_cast<guint32>(-1), nullptr, nullptr);
      g_object_unref(source);
      EBookQuery* all = e_book_query_any_field_contains("");
      gchar* expression = e_book_query_to_string(all);
      e_book_query_unref(all);
      GSList* uids = nullptr;
      EXPECT_TRUE(e_book_client_get_contacts_uids_sync(E_BOOK_CLIENT(client), expression, &uids,
                                                       nullptr, nullptr));
      if (uids != nullptr) {
        EXPECT_TRUE(e_book_client_remove_contacts_sync(
            E_BOOK_CLIENT(client), uids, E_BOOK_OPERATION_FLAG_NONE, nullptr, nullptr));
      }
      g_slist_free_full(uids, g_free);
      g_free(expression);
      g_object_unref(client);
      return;
    }
    ECalClient* client = calendar(uid, g_strcmp0(extension, E_SOURCE_EXTENSION_CALENDAR) == 0
                                           ? E_CAL_CLIENT_SOURCE_TYPE_EVENTS
                                           : E_CAL_CLIENT_SOURCE_TYPE_TASKS);
    GSList* components = nullptr;
    EXPECT_TRUE(
        e_cal_client_get_object_list_as_comps_sync(client, "#t", &components, nullptr, nullptr));
    for (GSList* item = components; item != nullptr; item = item->next) {
      // A series goes with its moved occurrences: a second removal of its UID finds nothing.
      e_cal_client_remove_object_sync(client, e_cal_component_get_uid(E_CAL_COMPONENT(item->data)),
                                      nullptr, E_CAL_OBJ_MOD_ALL, E_CAL_OPERATION_FLAG_NONE,
                                      nullptr, nullptr);
    }
    g_slist_free_full(components, g_object_unref);
    g_object_unref(client);
  }

  // Points the source at a backend that EDS does not have: connecting to it fails, as it
  // does when the service cannot open the source.
  void breakSource(const char* uid, const char* extension) {
    setBackend(uid, extension, "pemrix-no-such-backend");
  }

  // Stores `backend` as the backend of the source `uid`'s `extension`.
  void setBackend(const char* uid, const char* extension, const char* backend) {
    ESource* source = e_source_registry_ref_source(registry_, uid);
    ASSERT_NE(source, nullptr) << uid;
    e_source_backend_set_backend_name(E_SOURCE_BACKEND(e_source_get_extension(source, extension)),
                                      backend);
    EXPECT_TRUE(e_source_write_sync(source, nullptr, nullptr));
    g_object_unref(source);
  }

  void removeSource(const char* uid) {
    for (int i = 0; i < 100; ++i) {
      if (ESource* source = e_source_registry_ref_source(registry_, uid)) {
        EXPECT_TRUE(e_source_remove_sync(source, nullptr, nullptr));
        g_object_unref(source);
        return;
      }
      g_main_context_iteration(nullptr, FALSE);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ADD_FAILURE() << "no source " << uid;
  }

 private:
  ESourceRegistry* registry_;
};

}  // namespace pemrix::testing
