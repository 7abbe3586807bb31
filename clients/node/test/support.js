// Test support: the simulator executable, world files, clients whose every line is kept
// for the schema check, the protocol schema, and a driver that writes raw lines.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";
import { test } from "node:test";
import { fileURLToPath } from "node:url";
import Ajv2020 from "ajv/dist/2020.js";
import { BridgeClient } from "../dist/index.js";

export const repo = fileURLToPath(new URL("../../..", import.meta.url));
// PEMRIX_BRIDGE_SIM, or the one built by the ci preset (.ci/run), or by the default preset
// (tools/demo.sh).
export const simulator =
  process.env.PEMRIX_BRIDGE_SIM ??
  ["ci", "default"].map((preset) => join(repo, "build", preset, "pemrix-bridge-sim")).find(existsSync) ??
  join(repo, "build/ci/pemrix-bridge-sim");
export const standIn = fileURLToPath(new URL("fixtures/stand-in.js", import.meta.url));

export const scratch = mkdtempSync(join(tmpdir(), "pemrix-client-test-"));
process.on("exit", () => rmSync(scratch, { recursive: true, force: true }));
let files = 0;
export function scratchFile(name) {
  files += 1;
  return join(scratch, `${files}-${name}`);
}

export function worldFile(world) {
  const path = scratchFile("world.json");
  writeFileSync(path, JSON.stringify(world));
  return path;
}

/** Every exchange with the simulator in this test file: one list of [direction, line] per client. */
const exchanges = [];

/** A client of the simulator over `world` (the demonstration world when undefined). */
export function simClient(world, exchange = []) {
  const env = world === undefined ? {} : { PEMRIX_BRIDGE_WORLD: worldFile(world) };
  exchanges.push(exchange);
  const trace = (line, direction) => exchange.push([direction, line]);
  return new BridgeClient({ executable: simulator, env, trace });
}

export function standInClient(mode, extraEnv = {}) {
  return new BridgeClient({ executable: standIn, env: { ...process.env, STAND_IN: mode, ...extraEnv } });
}

export const schema = JSON.parse(readFileSync(join(repo, "protocol/pemrix-bridge.schema.json"), "utf8"));
const ajv = new Ajv2020.default({ strict: true, allErrors: true });
ajv.addSchema(schema);
export const schemaFor = (pointer) => ajv.getSchema(`${schema.$id}#${pointer}`);
export const isRequest = schemaFor("/$defs/request");
export const isMessage = schemaFor("/$defs/message");

export function assertValid(validate, line) {
  assert.ok(validate(JSON.parse(line)), `${line}\n${ajv.errorsText(validate.errors)}`);
}

function parsed(line) {
  try {
    return JSON.parse(line);
  } catch {
    return undefined;
  }
}

/**
 * Checks a conversation against the schema: every line the bridge wrote is a valid message,
 * and a request is valid exactly when the bridge did not refuse it with "invalid_request".
 * A request's answer is the next line carrying its id, or null for a line without a
 * readable id; a request abandoned by "shutdown" has none and counts as valid. A refused
 * line over 16384 bytes, and with `refusalsStated` false any refused request, may still be
 * valid: it may break a rule the schema can only describe (the line limit, the 31-day window).
 */
export function assertConversation(exchange, refusalsStated = true) {
  exchange.forEach(([direction, line], index) => {
    if (direction === "received") return assertValid(isMessage, line);
    const request = parsed(line);
    const id = typeof request?.id === "string" ? request.id : null;
    const answer = exchange
      .slice(index + 1)
      .find(([from, text]) => from === "received" && [id, null].includes(parsed(text).id));
    const accepted = answer === undefined || parsed(answer[1]).error?.code !== "invalid_request";
    const described = !refusalsStated || Buffer.byteLength(line) > 16384;
    if (accepted || !described) assert.equal(isRequest(request), accepted, `${line}\n< ${answer?.[1]}`);
  });
}

/** Registers the test that checks every conversation of this file's run against the schema. */
export function testLinesAgainstSchema() {
  test("every line exchanged with the simulator agrees with the schema", () => {
    assert.ok(exchanges.some((exchange) => exchange.length > 0));
    for (const exchange of exchanges) assertConversation(exchange);
  });
}

/** Writes each line to a fresh simulator, one at a time, and returns the conversation. */
export async function exchangeRaw(requests, env = {}) {
  const exchange = [];
  exchanges.push(exchange);
  const child = spawn(simulator, [], { env, stdio: ["pipe", "pipe", "ignore"] });
  const answers = createInterface({ input: child.stdout })[Symbol.asyncIterator]();
  for (const request of requests) {
    child.stdin.write(`${request}\n`);
    exchange.push(["sent", request], ["received", (await answers.next()).value]);
  }
  child.stdin.end();
  await new Promise((resolve) => child.on("close", resolve));
  return exchange;
}

/** Resolves with the arguments of the next `event` from `emitter`. */
export function next(emitter, event) {
  return new Promise((resolve) => emitter.once(event, resolve));
}
