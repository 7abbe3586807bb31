// The bridge's own ends, in real time: the idle exit after 30 seconds and the 15-second
// deadline. The two run side by side.
import assert from "node:assert/strict";
import { describe, test } from "node:test";
import { next, simClient, testLinesAgainstSchema } from "./support.js";

describe("the next call after the bridge ended by itself starts a new process", { concurrency: true }, () => {
  test("after the idle exit", { timeout: 60000 }, async () => {
    const client = simClient(undefined);
    await client.status();
    const first = client.pid;
    assert.deepEqual(await next(client, "exit"), { status: 0, signal: null });
    assert.equal(client.pid, undefined);
    assert.equal((await client.status()).contacts, "fullAccess");
    assert.notEqual(client.pid, first);
    await client.close();
  });

  test("after a timeout", { timeout: 60000 }, async () => {
    const client = simClient({
      calendars: [{ id: "list", entityType: "reminders" }],
      faults: { remindersFetchNeverCompletes: true },
    });
    const exit = next(client, "exit");
    const window = { sourceIds: ["list"], start: "2024-05-01T00:00:00Z", end: "2024-05-02T00:00:00Z" };
    await assert.rejects(client.queryReminders(window), {
      code: "timeout",
      message: "macOS took too long to respond. Try again.",
    });
    assert.deepEqual(await exit, { status: 0, signal: null });
    assert.equal((await client.status()).reminders, "fullAccess");
    await client.close();
  });
});

testLinesAgainstSchema();
