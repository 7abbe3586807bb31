// The client against the simulator: every method, concurrent calls, a killed process,
// "changed" events, close, and no handles left behind.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { test } from "node:test";
import { BridgeError } from "../dist/index.js";
import { next, simClient, simulator, testLinesAgainstSchema } from "./support.js";

const world = {
  authorization: { reminders: 0 },
  accessRequests: { reminders: { status: 3 } },
  calendars: [
    { id: "cal-home", title: "Home" },
    { id: "cal-work", title: "Work" },
    { id: "list-errands", title: "Errands", entityType: "reminders" },
  ],
  events: [
    { calendar: "cal-work", id: "evt-1", title: "Planning", start: "2024-05-01T08:00:00Z", end: "2024-05-01T09:00:00Z" },
    { calendar: "cal-home", id: "evt-2", title: "Birthday", start: "2024-05-03T00:00:00Z", end: "2024-05-04T00:00:00Z", allDay: true },
  ],
  reminders: [{ list: "list-errands", id: "rem-1", title: "Buy milk", priority: 1, due: { year: 2024, month: 5, day: 1, hour: 9 } }],
  containers: [{ id: "container-work", name: "Work" }],
  contacts: [{ container: "container-work", id: "c-1", givenName: "José", familyName: "García", organizationName: "Harbor Labs", jobTitle: "Engineer" }],
};
const may = { start: new Date("2024-05-01T00:00:00Z"), end: "2024-05-08T00:00:00Z" };
const slowEvents = { ...world, faults: { delaySeconds: { events: 5 } } };

test("every method answers with typed results from one process", async () => {
  const client = simClient(world);
  assert.deepEqual(await client.status(), { events: "fullAccess", reminders: "notDetermined", contacts: "fullAccess" });
  const pid = client.pid;
  assert.equal(await client.requestPermission("reminders"), "fullAccess");
  assert.deepEqual(await client.listSources("reminders"), {
    permission: "fullAccess",
    sources: [{ id: "list-errands", title: "Errands" }],
    truncated: false,
  });
  assert.deepEqual(await client.queryEvents({ sourceIds: ["cal-home", "cal-work"], ...may, limit: 5 }), {
    items: [
      { id: "evt-1@2024-05-01T08:00:00Z", sourceId: "cal-work", title: "Planning", allDay: false, start: new Date("2024-05-01T08:00:00Z"), end: new Date("2024-05-01T09:00:00Z") },
      { id: "evt-2@2024-05-03T00:00:00Z", sourceId: "cal-home", title: "Birthday", allDay: true, start: new Date("2024-05-03T00:00:00Z"), end: new Date("2024-05-04T00:00:00Z") },
    ],
    truncated: false,
  });
  assert.deepEqual(await client.queryReminders({ sourceIds: ["list-errands"], ...may }), {
    items: [{ id: "rem-1", sourceId: "list-errands", title: "Buy milk", due: new Date("2024-05-01T09:00:00Z"), completed: false, priority: 1 }],
    truncated: false,
  });
  assert.deepEqual(await client.queryContacts({ sourceIds: ["container-work"], query: "JOSE garc", limit: 1 }), {
    items: [{ id: "c-1", sourceId: "container-work", title: "José García", organization: "Harbor Labs", jobTitle: "Engineer" }],
    truncated: true,
  });
  assert.equal(client.pid, pid);
  await client.close();
});

test("failures reject with the bridge's own code and message", async () => {
  const client = simClient(world);
  const refusal = { name: "BridgeError", code: "invalid_request", message: "Choose a supported personal-source request." };
  await assert.rejects(client.listSources("reminders"), {
    code: "permission_required",
    message: "Allow access to this source in macOS before using it.",
  });
  await assert.rejects(client.queryEvents({ sourceIds: ["cal-gone"], ...may }), {
    code: "source_missing",
    message: "A selected calendar or list is no longer available. Choose your sources again.",
  });
  await assert.rejects(client.queryEvents({ sourceIds: ["cal-home"], ...may, limit: 0 }), refusal);
  await assert.rejects(client.queryEvents({ sourceIds: ["cal-home"], start: "2024-05-01", end: may.end }), refusal);
  await assert.rejects(client.queryEvents({ sourceIds: ["cal-home"], start: new Date(Number.NaN), end: may.end }), refusal);
  await assert.rejects(client.queryContacts({ sourceIds: ["container-work"], query: " j " }), BridgeError);
  // A line over 16384 bytes is refused with id null and ends the process; the next call starts another.
  await assert.rejects(client.queryContacts({ sourceIds: ["container-work"], query: "x".repeat(16400) }), refusal);
  assert.equal((await client.status()).events, "fullAccess");
  await client.close();
});

test("concurrent calls go out one at a time, in call order, and never get busy", async () => {
  const exchange = [];
  const client = simClient({ ...world, faults: { delaySeconds: { events: 0.3 } } }, exchange);
  const results = await Promise.all([
    client.queryEvents({ sourceIds: ["cal-work"], ...may }),
    client.status(),
    client.listSources("contacts"),
    client.queryContacts({ sourceIds: ["container-work"], query: "harbor" }),
  ]);
  assert.equal(results[0].items.length, 1);
  assert.equal(results[1].events, "fullAccess");
  assert.deepEqual(results[2].sources, [{ id: "container-work", title: "Work" }]);
  assert.equal(results[3].items[0].id, "c-1");
  const directions = exchange.map(([direction]) => direction);
  assert.deepEqual(directions, ["sent", "received", "sent", "received", "sent", "received", "sent", "received"]);
  const commands = exchange.filter(([d]) => d === "sent").map(([, line]) => JSON.parse(line).command);
  assert.deepEqual(commands, ["query", "status", "list-sources", "query"]);
  await client.close();
});

test("a process killed mid-request rejects with bridge_exited; the next call starts another", async () => {
  const client = simClient(slowEvents);
  const query = client.queryEvents({ sourceIds: ["cal-work"], ...may });
  const first = client.pid;
  const exit = next(client, "exit");
  process.kill(first, "SIGKILL");
  await assert.rejects(query, (error) => {
    assert.equal(error.code, "bridge_exited");
    assert.deepEqual(error.exit, { status: null, signal: "SIGKILL" });
    return true;
  });
  assert.deepEqual(await exit, { status: null, signal: "SIGKILL" });
  assert.equal((await client.status()).events, "fullAccess");
  assert.notEqual(client.pid, first);
  await client.close();
});

test("store changes arrive as changed events", async () => {
  const changes = [{ afterSeconds: 2, store: "events" }, { afterSeconds: 2, store: "contacts" }];
  const client = simClient({ ...world, faults: { changes } });
  const seen = new Set();
  const all = new Promise((resolve) =>
    client.on("changed", (entity) => {
      seen.add(entity);
      if (seen.size === 3) resolve();
    }),
  );
  // A store is watched once a request has used it.
  await client.listSources("events");
  await client.listSources("contacts");
  await all;
  assert.deepEqual([...seen].sort(), ["contacts", "events", "reminders"]);
  await client.close();
});

test("close shuts down at once: the running request and later calls reject; close is idempotent", async () => {
  const client = simClient(slowEvents);
  const query = client.queryEvents({ sourceIds: ["cal-work"], ...may });
  const queued = client.status();
  const exit = next(client, "exit");
  const closing = client.close();
  assert.equal(client.close(), closing);
  await assert.rejects(queued, { code: "bridge_exited" });
  await assert.rejects(query, { code: "bridge_exited" });
  assert.deepEqual(await exit, { status: 0, signal: null });
  await closing;
  await assert.rejects(client.status(), { code: "bridge_exited", message: "The bridge client was closed." });
  await client.close();
});

test("a client whose process is gone keeps nothing alive", () => {
  // Node exits by itself only when no timer, process or pipe is left behind.
  const script = `
    import { BridgeClient } from ${JSON.stringify(new URL("../dist/index.js", import.meta.url).href)};
    const closed = new BridgeClient({ executable: ${JSON.stringify(simulator)} });
    await closed.status();
    await closed.close();
    const crashed = new BridgeClient({ executable: ${JSON.stringify(simulator)} });
    await crashed.status();
    const exit = new Promise((resolve) => crashed.once("exit", resolve));
    process.kill(crashed.pid, "SIGKILL");
    await exit;
    console.log("done");`;
  const run = spawnSync(process.execPath, ["--input-type=module", "-e", script], { encoding: "utf8", timeout: 20000 });
  assert.equal(run.stdout, "done\n", run.stderr);
  assert.equal(run.status, 0);
});

testLinesAgainstSchema();
