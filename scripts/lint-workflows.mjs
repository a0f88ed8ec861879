// node lint-workflows.mjs TOOLS WORKFLOW...: checks each workflow against
// the published workflow schema with action-validator (its npm package,
// installed in TOOLS); prints each finding and exits with 1 when there is
// any. Its schema predates GitHub's artifact attestations, so a line that
// grants "attestations: write" is left out of what it reads; actionlint,
// which scripts/check.sh runs too, knows that permission.
import { readFileSync } from "node:fs";
import { join, resolve } from "node:path";
import { pathToFileURL } from "node:url";

const [tools, ...files] = process.argv.slice(2);
const core = join(resolve(tools), "node_modules/@action-validator/core/action_validator.js");
const { validateWorkflow } = await import(pathToFileURL(core).href);
let findings = 0;
for (const file of files) {
  const text = readFileSync(file, "utf8").replace(/^\s*attestations: write\s*$/gm, "");
  const { errors } = validateWorkflow(text);
  for (const error of errors) console.log(`${file}: ${JSON.stringify(error)}`);
  findings += errors.length;
}
console.log(`${files.length} workflows checked against the schema, ${findings} findings`);
process.exit(findings === 0 ? 0 : 1);
