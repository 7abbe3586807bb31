// The built-in demonstration world: three calendars with forty events over the three weeks
// around a given moment, two reminder lists with twenty reminders, and thirty-six contacts
// in two accounts. Everything is derived from the given moment, so the same moment always
// gives the same world.
#include <array>
#include <string>

#include "sim/world.h"

namespace pemrix::platform {

namespace {

using std::chrono::days;
using std::chrono::hours;
using std::chrono::minutes;

constexpr std::array<const char*, 8> kHomeTitles = {
    "Dinner with friends", "Yoga class", "Dentist appointment", "Grocery run",
    "Piano lesson",        "Book club",  "Plumber visit",       "Family call"};
constexpr std::array<const char*, 8> kWorkTitles = {
    "Project review", "Design workshop",    "One-on-one",       "Budget meeting",
    "Customer call",  "Quarterly planning", "Hiring interview", "Release retrospective"};
constexpr std::array<const char*, 5> kBirthdayTitles = {"Maya's birthday", "Grandpa's birthday",
                                                        "Lukas's birthday", "Wedding anniversary",
                                                        "Noor's birthday"};

constexpr std::array<const char*, 20> kReminderTitles = {"Buy milk",
                                                         "Send the slides",
                                                         "Renew passport",
                                                         "Water the plants",
                                                         "Book flights",
                                                         "Review pull requests",
                                                         "Call the bank",
                                                         "Pick up dry cleaning",
                                                         "Update the roadmap",
                                                         "Pay electricity bill",
                                                         "Return library books",
                                                         "Prepare agenda",
                                                         "Fix the bike tyre",
                                                         "File expense report",
                                                         "Order birthday cake",
                                                         "Answer survey",
                                                         "Clean the gutters",
                                                         "Plan team lunch",
                                                         "Change smoke alarm battery",
                                                         "Back up laptop"};

struct DemoContact {
  const char* given;
  const char* family;
  const char* organization;
  const char* job;
  bool work;
};

constexpr std::array<DemoContact, 36> kContacts = {{
    {"José", "García", "Harbor Labs", "Software Engineer", false},
    {"Zoë", "Martin", "", "", false},
    {"Søren", "Madsen", "Bluefield Bakery", "Head Baker", false},
    {"Anna", "Smith", "Acme Corp", "Product Manager", true},
    {"Ana", "Souza", "Riverbend Clinic", "Nurse", false},
    {"Liam", "O'Connor", "Acme Corp", "Sales Director", true},
    {"Priya", "Raman", "Harbor Labs", "Data Scientist", true},
    {"Wei", "Chen", "Lotus Tea House", "Owner", false},
    {"Fatima", "Haddad", "City Library", "Librarian", false},
    {"Mateo", "Rossi", "Acme Corp", "Designer", true},
    {"Émilie", "Dubois", "Atelier Lumière", "Architect", false},
    {"Jürgen", "Schmidt", "Nordwerk Tools", "Mechanical Engineer", true},
    {"Olivia", "Brown", "", "", false},
    {"Noah", "Williams", "Summit Climbing Gym", "Instructor", false},
    {"Hiroshi", "Tanaka", "Harbor Labs", "Chief Technology Officer", true},
    {"Sofía", "Hernández", "Riverbend Clinic", "Physician", false},
    {"", "", "Greenleaf Garden Supply", "", false},
    {"Ingrid", "Nilsson", "Nordwerk Tools", "Project Lead", true},
    {"Kwame", "Mensah", "Acme Corp", "Accountant", true},
    {"Aoife", "Byrne", "Bluefield Bakery", "Pastry Chef", false},
    {"Lucas", "Silva", "", "Freelance Photographer", false},
    {"Mia", "Novak", "Harbor Labs", "Recruiter", true},
    {"Ravi", "Patel", "Patel Hardware", "Store Manager", false},
    {"Elena", "Petrova", "Acme Corp", "Legal Counsel", true},
    {"Tomás", "Ortega", "Summit Climbing Gym", "Owner", false},
    {"Grace", "Kim", "Riverbend Clinic", "Receptionist", false},
    {"Björn", "Andersson", "Nordwerk Tools", "Technician", true},
    {"Amara", "Okafor", "Harbor Labs", "User Researcher", true},
    {"Ömer", "Yılmaz", "Lotus Tea House", "Barista", false},
    {"Chloé", "Lefèvre", "Atelier Lumière", "Interior Designer", false},
    {"", "Takahashi", "", "", false},
    {"Daniel", "Cohen", "Acme Corp", "Engineering Manager", true},
    {"Nadia", "Rahman", "City Library", "Archivist", false},
    {"Pavel", "Horák", "Harbor Labs", "Site Reliability Engineer", true},
    {"Leila", "Farahani", "Riverbend Clinic", "Pharmacist", false},
    {"Samuel", "Adeyemi", "Acme Corp", "Support Specialist", true},
}};

// "prefix-07": the number with at least two digits. Built by hand rather than with
// snprintf, which took about half the time of building the whole world at every start.
std::string numbered(const char* prefix, int number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  std::string text = prefix;
  text += '-';
  text += digits;
  return text;
}

void addCalendars(World& world) {
  world.calendars = {
      {"cal-home", "Home", CalendarEntityType::events},
      {"cal-work", "Work", CalendarEntityType::events},
      {"cal-birthdays", "Birthdays", CalendarEntityType::events},
      {"list-errands", "Errands", CalendarEntityType::reminders},
      {"list-work", "Work tasks", CalendarEntityType::reminders},
  };
}

// Event `i` of 38: every eighth is an all-day birthday; the others alternate between home
// evenings and working hours, 30 to 90 minutes long, from 7 days before to 13 days after.
WorldEvent demoEvent(int i, Instant midnight) {
  Instant day = midnight + days(-7 + i * 21 / 38);
  WorldEvent event;
  event.id = numbered("evt", i + 1);
  if (i % 8 == 7) {
    event.calendar = "cal-birthdays";
    event.title = kBirthdayTitles[(i / 8) % kBirthdayTitles.size()];
    event.start = day;
    event.end = day + days(1);
    event.allDay = true;
    return event;
  }
  bool home = i % 2 == 0;
  event.calendar = home ? "cal-home" : "cal-work";
  event.title = home ? kHomeTitles[(i / 2) % 8] : kWorkTitles[(i / 2) % 8];
  event.start = day + (home ? hours(17 + i % 4) : hours(9 + (i * 3) % 8));
  event.end = *event.start + minutes(30 * (1 + i % 3));
  return event;
}

// One repeating meeting: two occurrences a week apart sharing one item identifier.
void addRepeatingPair(World& world, Instant midnight) {
  for (int week = 0; week < 2; ++week) {
    WorldEvent event;
    event.calendar = "cal-work";
    event.id = "evt-weekly-planning";
    event.title = "Weekly planning";
    event.start = midnight + days(1 + 7 * week) + hours(10);
    event.end = *event.start + hours(1);
    world.events.push_back(event);
  }
}

// Reminder `i` of 20: due from 3 days before to 9 days after; every fifth is completed and
// every fourth has a date without a time of day.
WorldReminder demoReminder(int i, Instant midnight) {
  WorldReminder reminder;
  reminder.list = i % 2 == 0 ? "list-errands" : "list-work";
  reminder.id = numbered("rem", i + 1);
  reminder.title = kReminderTitles[i];
  reminder.completed = i % 5 == 4;
  reminder.priority = std::array<int64_t, 5>{0, 1, 5, 9, 0}[i % 5];
  auto date =
      std::chrono::year_month_day(std::chrono::floor<days>(midnight + days(-3 + i * 13 / 20)));
  WorldDue due;
  due.year = static_cast<int>(date.year());
  due.month = static_cast<unsigned>(date.month());
  due.day = static_cast<unsigned>(date.day());
  if (i % 4 != 1) {
    due.hour = 9 + i % 9;
    due.minute = (i % 2) * 30;
  }
  reminder.due = due;
  return reminder;
}

void addContacts(World& world) {
  world.containers = {{"container-personal", "Personal"}, {"container-work", "Work"}};
  for (std::size_t i = 0; i < kContacts.size(); ++i) {
    const DemoContact& demo = kContacts[i];
    world.contacts.push_back({demo.work ? "container-work" : "container-personal",
                              numbered("contact", static_cast<int>(i + 1)), demo.given, demo.family,
                              demo.organization, demo.job});
  }
}

}  // namespace

World demoWorld(Instant now) {
  World world;
  Instant midnight = std::chrono::floor<days>(now);
  addCalendars(world);
  for (int i = 0; i < 38; ++i) world.events.push_back(demoEvent(i, midnight));
  addRepeatingPair(world, midnight);
  for (int i = 0; i < 20; ++i) world.reminders.push_back(demoReminder(i, midnight));
  addContacts(world);
  return world;
}

}  // namespace pemrix::platform
