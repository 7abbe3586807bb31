// Data the benchmarks work on: request lines, realistic result items, worlds with many
// events or contacts, and a timed round trip of one request through a BridgeHarness.
//
// Everything here is built outside the timed regions. The worlds are deterministic, so
// two runs measure the same work.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

#include "bridge_harness.h"
#include "sim/world.h"
#include "protocol/native_request.h"
#include "protocol/wire_json.h"

namespace pemrix::bench {

// A typical events query line, as the app sends it.
inline const std::string kEventsQueryLine =
    R"({"id":"req-1042","command":"query","entity":"events",)"
    R"("sourceIds":["cal-home","cal-work"],"start":"2024-05-01T00:00:00Z",)"
    R"("end":"2024-05-08T00:00:00Z","limit":50})";

// A typical contacts query line with a three-word query.
inline const std::string kContactsQueryLine =
    R"({"id":"req-1043","command":"query","entity":"contacts",)"
    R"("sourceIds":["container-work"],"query":"Ana Harbor Engineer","limit":20})";

// The `index`th of many event titles: mostly ASCII, some accented, some with a slash
// (written escaped), some long.
inline std::string eventTitle(int index) {
  static const char* const kTitles[] = {"Project review",
                                        "Design workshop — Q3/Q4",
                                        "One-on-one with Zoë",
                                        "Budget meeting",
                                        "Customer call: Harbor Labs",
                                        "Dentist appointment",
                                        "Réunion d'équipe",
                                        "Quarterly planning (all hands, room 4.2, bring laptops)",
                                        "Yoga class",
                                        "Release retrospective \"v2.3\""};
  return kTitles[index % 10];
}

// `prefix` followed by `number` in decimal.
inline std::string named(const char* prefix, int number) {
  std::string text = prefix;
  text += std::to_string(number);
  return text;
}

inline Instant at(int day, int minuteOfDay) {
  return testing::harnessStart() + std::chrono::days(day) + std::chrono::minutes(minuteOfDay);
}

// One event item as the events query builds it.
inline Json eventItem(int index) {
  char id[64];
  std::snprintf(id, sizeof id, "5F3C%04d-9A1B-4C2D-8E7F-0123456789AB@2024-05-%02dT%02d:30:00Z",
                index, 1 + index % 28, 8 + index % 10);
  const std::string start = formatDate(at(index % 28, 510 + 60 * (index % 10)));
  return Json{{"id", id},
              {"sourceId", index % 2 ? "cal-work" : "cal-home"},
              {"title", eventTitle(index)},
              {"start", start},
              {"end", formatDate(at(index % 28, 540 + 60 * (index % 10)))},
              {"allDay", index % 9 == 0}};
}

// A query result of `count` event items.
inline Json eventResult(int count, bool truncated) {
  Json items = Json::array();
  for (int i = 0; i < count; ++i) items.push_back(eventItem(i));
  return Json{{"items", std::move(items)}, {"truncated", truncated}};
}

// The success envelope of `result`, as the controller writes it.
inline Json envelope(Json result) {
  return Json{{"id", "req-1042"}, {"ok", true}, {"result", std::move(result)}};
}

// An event item at the clip limits, about `bytes` long when encoded: a 512-character
// identifier and a title of mixed one-, two- and three-byte characters.
inline Json largeItem(int index, std::size_t bytes) {
  std::string id(512, 'a' + static_cast<char>(index % 26));
  std::string title;
  const std::size_t overhead = 512 + 180;
  while (title.size() + overhead < bytes) title += "Ab é 会議 ";
  return Json{
      {"id", id + "@2024-05-01T09:30:00Z"}, {"sourceId", "cal-work"},        {"title", title},
      {"start", "2024-05-01T09:30:00Z"},    {"end", "2024-05-01T10:00:00Z"}, {"allDay", false}};
}

// `count` calendars' worth of events: `perCalendar` each, spread evenly over the days
// [firstDay, firstDay + spanDays) from the harness start, in date order.
inline void addEvents(platform::World& world, int calendars, int perCalendar, int firstDay,
                      int spanDays) {
  for (int c = 0; c < calendars; ++c) {
    world.calendars.push_back(
        {named("cal-", c), named("Calendar ", c), platform::CalendarEntityType::events});
  }
  const int total = calendars * perCalendar;
  const int64_t spanMinutes = int64_t{spanDays} * 24 * 60;
  for (int i = 0; i < total; ++i) {
    platform::WorldEvent event;
    event.calendar = named("cal-", i % calendars);
    event.id = named("EV", 100000 + i);
    event.title = eventTitle(i);
    event.start = at(firstDay, 0) + std::chrono::minutes(spanMinutes * i / total);
    event.end = *event.start + std::chrono::minutes(30);
    world.events.push_back(std::move(event));
  }
}

// `count` contacts in one container, "container-work", with realistic names, companies
// and job titles. Six of the first 2000 match "Ana Harbor Engineer" (Ana, Harbor Labs and
// an engineer's job title together).
inline platform::World contactWorld(int count) {
  static const char* const kGiven[] = {"José", "Anna",   "Priya",  "Søren",  "Wei", "Émilie",
                                       "Liam", "Fatima", "Jürgen", "Olivia", "Ana"};
  static const char* const kFamily[] = {"García", "Smith",    "Raman",  "Madsen",  "Chen",
                                        "Dubois", "O'Connor", "Haddad", "Schmidt", "Brown",
                                        "Souza",  "Novak",    "Nilsson"};
  static const char* const kOrg[] = {"Harbor Labs",      "Acme Corp",      "Bluefield Bakery",
                                     "Riverbend Clinic", "Nordwerk Tools", "Atelier Lumière",
                                     "City Library"};
  static const char* const kJob[] = {
      "Software Engineer",        "Product Manager", "Head Baker", "Nurse",
      "Data Scientist",           "Architect",       "Librarian",  "Designer",
      "Site Reliability Engineer"};
  platform::World world;
  world.containers = {{"container-work", "Work"}};
  for (int i = 0; i < count; ++i) {
    world.contacts.push_back({"container-work", named("C", i), kGiven[i % 11], kFamily[i % 13],
                              kOrg[i % 7], kJob[i % 9]});
  }
  return world;
}

// CPU seconds used so far by all threads of this process.
inline double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Puts `line` through a fresh-enough harness over `world` once per iteration and sets
// each iteration's time from `receive` to the answer line, so that building the harness
// is never counted. The harness is rebuilt every 256 iterations to bound its memory.
// The answer must be a success with `expectedItems` items. The counter "cpuUs" is the
// CPU time of both threads per request, which other load on the machine barely changes.
inline void timeRequest(benchmark::State& state, const platform::World& world,
                        const std::string& line, std::size_t expectedItems) {
  std::unique_ptr<testing::BridgeHarness> harness;
  std::size_t sent = 0;
  double cpu = 0;
  for (auto _ : state) {
    if (sent % 256 == 0) harness = std::make_unique<testing::BridgeHarness>(world);
    const std::size_t before = harness->lines().size();
    const double cpuBegin = processCpuSeconds();
    const auto begin = std::chrono::steady_clock::now();
    harness->send(line);
    const std::size_t after = harness->awaitLines(before + 1);
    const auto end = std::chrono::steady_clock::now();
    cpu += processCpuSeconds() - cpuBegin;
    state.SetIterationTime(std::chrono::duration<double>(end - begin).count());
    if (after <= before) {
      state.SkipWithError("no answer");
      break;
    }
    if (sent++ == 0) {
      Json answer = Json::parse(harness->lines()[before]);
      if (!answer["ok"].get<bool>() || answer["result"]["items"].size() != expectedItems) {
        state.SkipWithError(("unexpected answer: " + answer.dump().substr(0, 200)).c_str());
        break;
      }
    }
  }
  state.counters["cpuUs"] =
      benchmark::Counter(cpu * 1e6 / static_cast<double>(std::max<std::size_t>(sent, 1)));
}

}  // namespace pemrix::bench
