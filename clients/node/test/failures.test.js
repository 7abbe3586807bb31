// Processes that break the protocol, end without answering, or cannot start; the names the
// client accepts from the wire against the schema's.
import assert from "node:assert/strict";
import { test } from "node:test";
import { BridgeClient } from "../dist/index.js";
import { failureCodes, permissionStates } from "../dist/wire-names.js";
import { next, schema, scratchFile, simulator, standInClient } from "./support.js";

const may = { start: "2024-05-01T00:00:00Z", end: "2024-05-02T00:00:00Z" };

test("output that is not the protocol rejects every waiting call with protocol_error and kills the process", { timeout: 30000 }, async (t) => {
  const cases = {
    garbage: /not JSON/,
    "unknown-id": /"nope", which is not running/,
    stray: /neither an answer nor a change/,
    "bad-date": /without a reminder due date/,
    "long-line": /longer than 262144 bytes/,
    "long-multibyte-line": /longer than 262144 bytes/,
    "unknown-code": /unknown code "not_a_code"/,
  };
  for (const [mode, reason] of Object.entries(cases)) {
    await t.test(mode, async () => {
      const client = standInClient(mode);
      const exit = next(client, "exit");
      const calls = [client.queryReminders({ sourceIds: ["list"], ...may }), client.status()];
      for (const call of calls) await assert.rejects(call, { name: "BridgeError", code: "protocol_error", message: reason });
      assert.deepEqual(await exit, { status: null, signal: "SIGKILL" });
      await client.close();
    });
  }
});

test("a permission state outside the protocol is a protocol_error", async () => {
  const client = standInClient("unknown-state");
  await assert.rejects(client.requestPermission("events"), { code: "protocol_error", message: /unknown permission "sometimes"/ });
  await client.close();
});

test("the client knows exactly the schema's failure codes and permission states", () => {
  const codes = schema.$defs.error.oneOf.map((failure) => failure.properties.code.const);
  assert.deepEqual([...failureCodes].sort(), [...new Set(codes)].sort());
  assert.deepEqual([...permissionStates].sort(), [...schema.$defs.permissionState.enum].sort());
});

test("a request the process ended without reading is sent once more to a new process", async () => {
  const client = standInClient("quiet-exit-once", { STAND_IN_MARKER: scratchFile("marker") });
  const exits = [];
  client.on("exit", (exit) => exits.push(exit));
  assert.equal((await client.status()).events, "denied");
  assert.deepEqual(exits, [{ status: 0, signal: null }]);
  await client.close();

  const never = standInClient("quiet-exit");
  await assert.rejects(never.status(), { code: "bridge_exited", exit: { status: 0, signal: null } });
  await never.close();
});

test("a bridge that cannot start rejects with bridge_exited and says why", async () => {
  const missing = new BridgeClient({ executable: "/nonexistent/pemrix-bridge" });
  const exit = next(missing, "exit");
  await assert.rejects(missing.status(), { code: "bridge_exited", message: /not started.*ENOENT/ });
  assert.deepEqual(await exit, { status: null, signal: null });

  const badWorld = new BridgeClient({ executable: simulator, env: { PEMRIX_BRIDGE_WORLD: "/nonexistent/world.json" } });
  await assert.rejects(badWorld.status(), { code: "bridge_exited", message: /status 78.*world\.json/ });
});
