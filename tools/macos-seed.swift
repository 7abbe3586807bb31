// Writes a few events, reminders and contacts into this Mac's own stores, so that the macOS
// CI job (.github/workflows/macos.yml) can run the smoke exchange with --expect-items: every
// readable source must then return items. It writes into the real stores of the user who
// runs it, so it does nothing without --write. Everything it writes carries "Pemrix smoke"
// (title, calendar or organisation), falls within the exchange's default windows (events
// from a day ago to 13 days ahead, reminders due in the same days) and matches its contact
// query ("an"); a second run adds nothing.
//
// It never asks for access (an unanswered prompt would hold a CI job until its time-out): a
// store it may not read and write is skipped and named. It also prints the processes that
// macOS holds responsible for its privacy requests, for the job that grants access.
//
// Build: swiftc -O -module-name PemrixSeed -o build/macos-seed/pemrix-macos-seed tools/macos-seed.swift
// Usage: pemrix-macos-seed --processes   "responsible <pid> <path>", then "process <pid> <path>"
//                                        for itself and each ancestor
//        pemrix-macos-seed --status      "<store> <authorization>" for events, reminders, contacts
//        pemrix-macos-seed --write       seed every store with full access; exit 1 when one of
//                                        them could not be written
// Exit status 64 for a wrong usage.

import Contacts
import Darwin
import EventKit
import Foundation

let marker = "Pemrix smoke"
let day: TimeInterval = 86_400

struct SeedFailure: Error, CustomStringConvertible {
  let description: String
}

// A value that a completion handler on another queue fills in.
final class Box<Value>: @unchecked Sendable {
  var value: Value
  init(_ value: Value) { self.value = value }
}

// MARK: - Processes

func executablePath(_ pid: pid_t) -> String {
  var buffer = [CChar](repeating: 0, count: 4 * Int(MAXPATHLEN))
  guard proc_pidpath(pid, &buffer, UInt32(buffer.count)) > 0 else { return "?" }
  return String(cString: buffer)
}

func parentProcess(_ pid: pid_t) -> pid_t? {
  var info = proc_bsdinfo()
  let size = Int32(MemoryLayout<proc_bsdinfo>.size)
  guard proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, size) == size else { return nil }
  return pid_t(info.pbi_ppid)
}

// The process macOS attributes this one's privacy requests to. The lookup is not public API:
// it is found at run time, and its absence is reported, not guessed.
func responsibleProcess() -> pid_t? {
  typealias Lookup = @convention(c) (pid_t) -> pid_t
  let everywhere = UnsafeMutableRawPointer(bitPattern: -2)  // RTLD_DEFAULT
  guard let symbol = dlsym(everywhere, "responsibility_get_pid_responsible_for_pid") else {
    return nil
  }
  let pid = unsafeBitCast(symbol, to: Lookup.self)(getpid())
  return pid > 0 ? pid : nil
}

func printProcesses() {
  if let responsible = responsibleProcess() {
    print("responsible \(responsible) \(executablePath(responsible))")
  } else {
    print("responsible ? (no lookup on this system)")
  }
  var pid: pid_t? = getpid()
  while let current = pid, current > 1 {
    print("process \(current) \(executablePath(current))")
    pid = parentProcess(current)
  }
}

// MARK: - Authorization

// The bridge's names for the states, from raw values so that no state newer than the SDK
// is needed: 3 is full access ("authorized" before macOS 14); 4 is write-only for EventKit
// and limited for Contacts.
func stateName(_ raw: Int, contacts: Bool = false) -> String {
  let names = ["notDetermined", "restricted", "denied", "fullAccess",
               contacts ? "limited" : "writeOnly"]
  return names.indices.contains(raw) ? names[raw] : "unknown(\(raw))"
}

func eventKitState(_ type: EKEntityType) -> Int {
  EKEventStore.authorizationStatus(for: type).rawValue
}

func contactsState() -> Int {
  CNContactStore.authorizationStatus(for: .contacts).rawValue
}

// MARK: - Events and reminders

// A calendar of the entity type that takes new items: one named after the marker, the
// default one, or a new one named after the marker in the local source.
func writableCalendar(_ store: EKEventStore, for type: EKEntityType) throws -> EKCalendar {
  let calendars = store.calendars(for: type)
  if let own = calendars.first(where: { $0.title == marker && $0.allowsContentModifications }) {
    return own
  }
  let standard =
    type == .event ? store.defaultCalendarForNewEvents : store.defaultCalendarForNewReminders()
  if let standard = standard, standard.allowsContentModifications {
    return standard
  }
  guard let source = store.sources.first(where: { $0.sourceType == .local }) ?? standard?.source
  else {
    throw SeedFailure(description: "no calendar takes new items and there is no local source")
  }
  let calendar = EKCalendar(for: type, eventStore: store)
  calendar.title = marker
  calendar.source = source
  try store.saveCalendar(calendar, commit: true)
  return calendar
}

func seedEvents(_ store: EKEventStore) throws -> String {
  let calendar = try writableCalendar(store, for: .event)
  let now = Date()
  let window = store.predicateForEvents(
    withStart: now.addingTimeInterval(-day), end: now.addingTimeInterval(13 * day),
    calendars: [calendar])
  if store.events(matching: window).contains(where: { ($0.title ?? "").hasPrefix(marker) }) {
    return "already seeded in \"\(calendar.title)\""
  }
  let gregorian = Calendar(identifier: .gregorian)
  let nextHour = gregorian.dateInterval(of: .hour, for: now)?.end ?? now
  let tomorrow = gregorian.startOfDay(for: now.addingTimeInterval(day))
  let events: [(String, Date, Date, Bool)] = [
    ("\(marker): planning", nextHour.addingTimeInterval(3_600),
     nextHour.addingTimeInterval(7_200), false),
    ("\(marker): review", nextHour.addingTimeInterval(2 * day),
     nextHour.addingTimeInterval(2 * day + 1_800), false),
    ("\(marker): all day", tomorrow, tomorrow, true),
  ]
  for (title, start, end, allDay) in events {
    let event = EKEvent(eventStore: store)
    event.calendar = calendar
    event.title = title
    event.startDate = start
    event.endDate = end
    event.isAllDay = allDay
    try store.save(event, span: .thisEvent, commit: false)
  }
  try store.commit()
  return "\(events.count) events in \"\(calendar.title)\""
}

func incompleteReminders(_ store: EKEventStore, in calendar: EKCalendar) throws -> [EKReminder] {
  let predicate = store.predicateForIncompleteReminders(
    withDueDateStarting: nil, ending: nil, calendars: [calendar])
  let found = Box<[EKReminder]?>(nil)
  let done = DispatchSemaphore(value: 0)
  store.fetchReminders(matching: predicate) { reminders in
    found.value = reminders ?? []
    done.signal()
  }
  guard done.wait(timeout: .now() + 30) == .success, let reminders = found.value else {
    throw SeedFailure(description: "fetching the reminders took over 30 s")
  }
  return reminders
}

// Due date components `days` ahead of today in the Gregorian calendar: a date alone, or a
// time of day, in a time zone or floating (nil).
func due(inDays days: Int, hour: Int?, zone: TimeZone?) -> DateComponents {
  let gregorian = Calendar(identifier: .gregorian)
  let date = Date().addingTimeInterval(Double(days) * day)
  var components = gregorian.dateComponents([.year, .month, .day], from: date)
  if let hour = hour {
    components.hour = hour
    components.minute = 30
  }
  components.timeZone = zone
  return components
}

func seedReminders(_ store: EKEventStore) throws -> String {
  let calendar = try writableCalendar(store, for: .reminder)
  if try incompleteReminders(store, in: calendar).contains(where: {
    ($0.title ?? "").hasPrefix(marker)
  }) {
    return "already seeded in \"\(calendar.title)\""
  }
  let reminders: [(String, DateComponents)] = [
    ("\(marker): with a time zone", due(inDays: 1, hour: 9, zone: TimeZone.current)),
    ("\(marker): date only", due(inDays: 2, hour: nil, zone: nil)),
    ("\(marker): floating time", due(inDays: 3, hour: 18, zone: nil)),
  ]
  for (title, components) in reminders {
    let reminder = EKReminder(eventStore: store)
    reminder.calendar = calendar
    reminder.title = title
    reminder.dueDateComponents = components
    try store.save(reminder, commit: false)
  }
  try store.commit()
  return "\(reminders.count) reminders in \"\(calendar.title)\""
}

// MARK: - Contacts

func seedContacts() throws -> String {
  let store = CNContactStore()
  let keys = [CNContactOrganizationNameKey as CNKeyDescriptor]
  let existing = try store.unifiedContacts(
    matching: CNContact.predicateForContacts(matchingName: "Hansen"), keysToFetch: keys)
  if existing.contains(where: { $0.organizationName == marker }) {
    return "already seeded"
  }
  let people = [("Anna", "Hansen", "Planner"), ("Jonas", "Brandt", "Engineer"),
                ("Hanna", "Lind", "Analyst")]
  let request = CNSaveRequest()
  for (given, family, job) in people {
    let contact = CNMutableContact()
    contact.givenName = given
    contact.familyName = family
    contact.organizationName = marker
    contact.jobTitle = job
    request.add(contact, toContainerWithIdentifier: nil)
  }
  try store.execute(request)
  return "\(people.count) contacts in the default container"
}

// MARK: - Main

// Seeds each store with full access; returns the exit status.
func seed() -> Int32 {
  let calendarStore = EKEventStore()
  let stores: [(String, Int, () throws -> String)] = [
    ("events", eventKitState(.event), { try seedEvents(calendarStore) }),
    ("reminders", eventKitState(.reminder), { try seedReminders(calendarStore) }),
    ("contacts", contactsState(), { try seedContacts() }),
  ]
  var status: Int32 = 0
  for (name, state, write) in stores {
    guard state == 3 else {
      print("\(name): skipped, access is \(stateName(state, contacts: name == "contacts"))")
      continue
    }
    do {
      let written = try write()
      print("\(name): wrote \(written)")
    } catch {
      print("\(name): FAILED to write: \(error)")
      status = 1
    }
  }
  return status
}

setvbuf(stdout, nil, _IOLBF, 0)
let arguments = CommandLine.arguments
switch arguments.count == 2 ? arguments[1] : "" {
case "--processes":
  printProcesses()
case "--status":
  print("events \(stateName(eventKitState(.event)))")
  print("reminders \(stateName(eventKitState(.reminder)))")
  print("contacts \(stateName(contactsState(), contacts: true))")
case "--write":
  exit(seed())
default:
  let usage = "usage: pemrix-macos-seed --processes | --status | --write\n"
  FileHandle.standardError.write(Data(usage.utf8))
  exit(64)
}
