#!/usr/bin/env python3
"""Writes a simulator world as files for Akonadi's file resources.

    tools/akonadi-world.py WORLD.json OUTDIR

Each events calendar and each reminder list becomes an iCalendar file (OUTDIR/<n>.ics),
each contact container a vCard 3.0 file (OUTDIR/<n>.vcf), named by position so that any
identifier is safe. Prints a JSON manifest on standard output, one object per source in
world order: {"kind": "events" | "reminders" | "contacts", "id", "title", "file",
"items"}, where "items" is how many items the resource will hold once it has read the
file. What cannot be written (strays, items without a source, out-of-range dates) is named
on standard error and left out.

Events: UTC DTSTART/DTEND, or DATE values for all-day events that start and end at
midnight in the world's zone; events sharing an identifier in one calendar form one series
(RDATE per further start). Reminders: DUE from the due components (TZID when they carry a
zone, UTC for "UTC", floating without one, a DATE when there is no time of day;
Buddhist years are turned into Gregorian ones), STATUS:COMPLETED, PRIORITY.
Contacts: UID, N, FN, ORG, TITLE.

Standard library only.
"""

import datetime
import json
import os
import sys
from zoneinfo import ZoneInfo, ZoneInfoNotFoundError

STAMP = "20240101T000000Z"
BUDDHIST_OFFSET = 543


def skipped(what):
    print("akonadi-world: skipped " + what, file=sys.stderr)


def escaped(text):
    """Text value escaping shared by iCalendar and vCard 3.0."""
    out = []
    for c in text or "":
        if c in "\\;,":
            out.append("\\" + c)
        elif c == "\n":
            out.append("\\n")
        elif c != "\r":
            out.append(c)
    return "".join(out)


def folded(line):
    """Folds a content line at 75 octets without splitting a UTF-8 sequence."""
    data = line.encode("utf-8")
    parts, start, limit = [], 0, 75
    while len(data) - start > limit:
        end = start + limit
        while end > start and (data[end] & 0xC0) == 0x80:
            end -= 1
        parts.append(data[start:end])
        start, limit = end, 74  # continuation lines begin with a space
    parts.append(data[start:])
    return b"\r\n ".join(parts).decode("utf-8") + "\r\n"


def component(lines):
    return "".join(folded(line) for line in lines)


def instant(text):
    """A world date-time ("2024-05-02T17:00:00Z", with or without fractions) in UTC."""
    value = datetime.datetime.fromisoformat(text.replace("Z", "+00:00"))
    if value.tzinfo is None:
        value = value.replace(tzinfo=datetime.timezone.utc)
    return value.astimezone(datetime.timezone.utc)


def utc_text(value):
    return value.strftime("%Y%m%dT%H%M%SZ")


def midnight_date(value, zone):
    local = value.astimezone(zone)
    if (local.hour, local.minute, local.second, local.microsecond) != (0, 0, 0, 0):
        return None
    return local.strftime("%Y%m%d")


def event_times(event, zone):
    start, end = instant(event["start"]), instant(event["end"])
    if event.get("allDay"):
        day_start, day_end = midnight_date(start, zone), midnight_date(end, zone)
        if day_start and day_end:
            return ("DTSTART;VALUE=DATE:" + day_start, "DTEND;VALUE=DATE:" + day_end)
    return ("DTSTART:" + utc_text(start), "DTEND:" + utc_text(end))


def vevents(events, zone):
    """VEVENT texts of one calendar: a series per identifier (RDATE for later starts)."""
    series = {}
    for event in events:
        series.setdefault(event["id"], []).append(event)
    texts = []
    for uid, group in series.items():
        first = group[0]
        start, end = event_times(first, zone)
        length = instant(first["end"]) - instant(first["start"])
        lines = ["BEGIN:VEVENT", "UID:" + escaped(uid), "DTSTAMP:" + STAMP]
        if first.get("title") is not None:
            lines.append("SUMMARY:" + escaped(first["title"]))
        lines += [start, end]
        for other in group[1:]:
            if (instant(other["end"]) - instant(other["start"]) != length
                    or bool(other.get("allDay")) != bool(first.get("allDay"))):
                skipped("event %s repeated with another length" % other["id"])
                continue
            lines.append("RDATE" + event_times(other, zone)[0][len("DTSTART"):])
        lines.append("END:VEVENT")
        texts.append(component(lines))
    return texts


def due_line(due, uid):
    year, month, day = due.get("year"), due.get("month"), due.get("day")
    if year is not None and due.get("calendar") == "buddhist":
        year -= BUDDHIST_OFFSET
    try:
        # Out-of-range months and days roll over, as the world's readers resolve them.
        if year is None or month is None or day is None:
            raise ValueError
        year += (month - 1) // 12
        month = (month - 1) % 12 + 1
        date = datetime.date(year, month, 1) + datetime.timedelta(days=day - 1)
    except (ValueError, OverflowError):
        skipped("due date of reminder %s outside the calendar's range" % uid)
        return None
    zone = due.get("timeZone")
    if all(due.get(k) is None for k in ("hour", "minute", "second")):
        # A date alone means the user's day, whatever zone the components carry.
        return "DUE;VALUE=DATE:" + date.strftime("%Y%m%d")
    try:
        moment = datetime.datetime(date.year, date.month, date.day) + datetime.timedelta(
            hours=due.get("hour") or 0, minutes=due.get("minute") or 0,
            seconds=due.get("second") or 0)
    except OverflowError:
        skipped("due date of reminder %s outside the calendar's range" % uid)
        return None
    text = moment.strftime("%Y%m%dT%H%M%S")
    if zone is None:
        return "DUE:" + text
    if zone == "UTC":
        return "DUE:" + text + "Z"
    return "DUE;TZID=%s:%s" % (zone, text)


def vtodos(reminders):
    texts = []
    for reminder in reminders:
        uid = reminder["id"]
        lines = ["BEGIN:VTODO", "UID:" + escaped(uid), "DTSTAMP:" + STAMP]
        if reminder.get("title") is not None:
            lines.append("SUMMARY:" + escaped(reminder["title"]))
        if reminder.get("due") is not None:
            line = due_line(reminder["due"], uid)
            if line is None:
                continue
            lines.append(line)
        if reminder.get("completed"):
            lines += ["STATUS:COMPLETED", "COMPLETED:" + STAMP]
        priority = reminder.get("priority", 0)
        if 0 <= priority <= 9:
            lines.append("PRIORITY:%d" % priority)
        else:
            skipped("priority of reminder %s outside 0 to 9" % uid)
        lines.append("END:VTODO")
        texts.append(component(lines))
    return texts


def vcards(contacts):
    texts = []
    for contact in contacts:
        given, family = contact.get("givenName") or "", contact.get("familyName") or ""
        organization, job = contact.get("organizationName") or "", contact.get("jobTitle") or ""
        name = " ".join(part for part in (given, family) if part) or organization
        lines = ["BEGIN:VCARD", "VERSION:3.0", "UID:" + escaped(contact["id"]),
                 "N:%s;%s;;;" % (escaped(family), escaped(given)), "FN:" + escaped(name)]
        if organization:
            lines.append("ORG:" + escaped(organization))
        if job:
            lines.append("TITLE:" + escaped(job))
        lines.append("END:VCARD")
        texts.append(component(lines))
    return texts


def calendar_text(components):
    head = component(["BEGIN:VCALENDAR", "VERSION:2.0", "PRODID:-//pemrix-bridge//akonadi-world//EN"])
    return head + "".join(components) + component(["END:VCALENDAR"])


def kept(items, key, sources, what):
    """Items whose source (items[i][key]) is one of `sources`, strays and others named."""
    out = {source: [] for source in sources}
    for item in items:
        if item.get("stray"):
            skipped("stray %s %s" % (what, item.get("id")))
        elif item.get(key) not in out:
            skipped("%s %s without a %s of the world" % (what, item.get("id"), key))
        elif what == "event" and (item.get("start") is None or item.get("end") is None):
            skipped("event %s without start or end" % item.get("id"))
        else:
            out[item[key]].append(item)
    return out


def write(world, outdir):
    try:
        zone = ZoneInfo(world.get("timeZone", "UTC"))
    except (ZoneInfoNotFoundError, ValueError):
        sys.exit("akonadi-world: unknown time zone %r" % world.get("timeZone"))
    calendars = world.get("calendars", [])
    containers = world.get("containers", [])
    event_ids = [c["id"] for c in calendars if c.get("entityType", "events") == "events"]
    list_ids = [c["id"] for c in calendars if c.get("entityType") == "reminders"]
    events = kept(world.get("events", []), "calendar", event_ids, "event")
    reminders = kept(world.get("reminders", []), "list", list_ids, "reminder")
    contacts = kept(world.get("contacts", []), "container", [c["id"] for c in containers],
                    "contact")
    os.makedirs(outdir, exist_ok=True)
    manifest = []

    def emit(kind, source_id, title, name, text, count):
        path = os.path.abspath(os.path.join(outdir, name))
        with open(path, "w", encoding="utf-8", newline="") as out:
            out.write(text)
        manifest.append({"kind": kind, "id": source_id, "title": title, "file": path,
                         "items": count})

    for number, calendar in enumerate(calendars):
        title = calendar.get("title") or ""
        if calendar["id"] in events:
            texts = vevents(events.pop(calendar["id"]), zone)
            emit("events", calendar["id"], title, "%d.ics" % number, calendar_text(texts), len(texts))
        elif calendar["id"] in reminders:
            texts = vtodos(reminders.pop(calendar["id"]))
            emit("reminders", calendar["id"], title, "%d.ics" % number, calendar_text(texts),
                 len(texts))
        else:
            skipped("calendar %s (repeated identifier or unknown entityType)" % calendar["id"])
    for number, container in enumerate(containers):
        if container["id"] not in contacts:
            skipped("container %s (repeated identifier)" % container["id"])
            continue
        texts = vcards(contacts.pop(container["id"]))
        emit("contacts", container["id"], container.get("name") or "", "%d.vcf" % number,
             "".join(texts), len(texts))
    return manifest


def main(argv):
    if len(argv) != 3:
        print("usage: tools/akonadi-world.py WORLD.json OUTDIR", file=sys.stderr)
        return 64
    with open(argv[1], encoding="utf-8") as source:
        world = json.load(source)
    json.dump(write(world, argv[2]), sys.stdout, ensure_ascii=False, indent=1)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
