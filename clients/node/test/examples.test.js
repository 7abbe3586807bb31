// The documentation against the schema and the simulator: example conversations, the
// Node.js example run as written, and known good and bad requests.
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";
import { assertConversation, exchangeRaw, repo, simulator, testLinesAgainstSchema } from "./support.js";

const pages = ["README.md", ...readdirSync(join(repo, "docs")).filter((name) => name.endsWith(".md")).map((name) => `docs/${name}`)];

/** The fenced code blocks of every page, as [page, language, lines]. */
const blocks = pages.flatMap((page) => {
  const found = [];
  let open;
  for (const line of readFileSync(join(repo, page), "utf8").split("\n")) {
    const fence = /^```(\w*)/.exec(line);
    if (fence && !open) open = [page, fence[1], []];
    else if (fence) found.push(open), (open = undefined);
    else open?.[2].push(line);
  }
  return found;
});

// Every line the bridge writes in them is valid, and so is every request it accepts.
test("the example conversations in the README and docs agree with the schema", () => {
  let conversations = 0;
  for (const [page, , lines] of blocks) {
    const exchange = lines
      .map((line) => /^([<>]) (.*)$/.exec(line))
      .filter(Boolean)
      .map(([, arrow, text]) => [arrow === ">" ? "sent" : "received", text]);
    if (exchange.length === 0) continue;
    conversations += 1;
    assert.doesNotThrow(() => assertConversation(exchange, false), page);
  }
  assert.ok(conversations >= 2);
});

test("the Node.js examples in the docs run as written against the simulator", () => {
  const examples = blocks.filter(([, language, lines]) => language === "js" && lines.join("\n").includes('from "pemrix-bridge-client"'));
  assert.ok(examples.length >= 1);
  // Inside the package's folder, "pemrix-bridge-client" names the package itself.
  const folder = mkdtempSync(fileURLToPath(new URL("../.example-", import.meta.url)));
  try {
    for (const [page, , lines] of examples) {
      const file = join(folder, "example.mjs");
      writeFileSync(file, lines.join("\n"));
      const run = spawnSync(process.execPath, [file], {
        cwd: repo,
        encoding: "utf8",
        env: { ...process.env, PEMRIX_BRIDGE_SIM: simulator },
        timeout: 20000,
      });
      assert.equal(run.status, 0, `${page}: ${run.stderr}`);
      assert.equal(run.stderr, "", page);
      assert.match(run.stdout, /bridge ended \(0\)/, page);
    }
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

const good = [
  '{"id":"ok-1","command":"status"}',
  '{"command":"list-sources","id":"ok_2","entity":"reminders"}',
  '{"id":"3","command":"request-permission","entity":"contacts"}',
  '{"id":"4","command":"query","entity":"events","sourceIds":["cal-home","cal-work"],"start":"2024-05-01T00:00:00.123456789Z","end":"2024-06-01T00:00:00Z","limit":7.0}',
  '{"id":"5","command":"query","entity":"reminders","sourceIds":["list-errands"],"start":"2024-02-29T00:00:00Z","end":"2024-03-01T00:00:00Z","limit":100}',
  '{"id":"6","command":"query","entity":"contacts","sourceIds":["container-work","a source with spaces"],"query":"  ann smi  ","limit":1}',
  `{"id":"${"x".repeat(64)}","command":"status"}`,
];
const bad = [
  "",
  "[1]",
  '{"id":"b1","command":"status"',
  '{"id":"b2","command":"status","entity":null}',
  `{"id":"${"x".repeat(65)}","command":"status"}`,
  '{"id":"b 3","command":"status"}',
  '{"id":7,"command":"status"}',
  '{"id":"b4","command":"STATUS"}',
  '{"id":"b5","command":"list-sources","entity":"Events"}',
  '{"id":"b6","command":"list-sources"}',
  '{"id":"b7","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00Z"}',
  '{"id":"b8","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00+00:00","end":"2024-05-02T00:00:00Z"}',
  '{"id":"b9","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00.1234567890Z","end":"2024-05-02T00:00:00Z"}',
  '{"id":"b10","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T24:00:00Z","end":"2024-05-02T00:00:00Z"}',
  '{"id":"b11","command":"query","entity":"events","sourceIds":[],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}',
  `{"id":"b12","command":"query","entity":"events","sourceIds":${JSON.stringify(Array.from({ length: 17 }, (_, i) => `c${i}`))},"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}`,
  '{"id":"b13","command":"query","entity":"events","sourceIds":["a","a"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}',
  '{"id":"b14","command":"query","entity":"events","sourceIds":["tab\\there"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z"}',
  '{"id":"b15","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z","limit":0}',
  '{"id":"b16","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z","limit":2.5}',
  '{"id":"b17","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z","limit":true}',
  '{"id":"b18","command":"query","entity":"events","sourceIds":["cal-home"],"start":"2024-05-01T00:00:00Z","end":"2024-05-02T00:00:00Z","query":"x"}',
  '{"id":"b19","command":"query","entity":"contacts","sourceIds":["container-work"],"query":"jose","start":"2024-05-01T00:00:00Z"}',
  '{"id":"b20","command":"query","entity":"contacts","sourceIds":["container-work"],"query":" j "}',
  '{"id":"b21","command":"query","entity":"contacts","sourceIds":["container-work"],"query":"ann\\nsmith"}',
  '{"id":"b22","command":"query","entity":"contacts","sourceIds":["container-work"]}',
];

test("the simulator accepts the requests the schema accepts and refuses the ones it refuses", async () => {
  // assertConversation holds the schema's verdict on each request to the bridge's answer.
  const exchange = await exchangeRaw([...good, ...bad]);
  assertConversation(exchange);
  const refusals = exchange.filter(([direction, line]) => direction === "received" && line.includes('"invalid_request"'));
  assert.equal(refusals.length, bad.length);
});

testLinesAgainstSchema();
