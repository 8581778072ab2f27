// Runs the Khronos glTF validator on each file named on the command line
// (.glb or .gltf, external resources read from beside the file). Prints the
// findings and exits non-zero when any file has an error or a warning.
import fs from 'node:fs';
import path from 'node:path';
import validator from 'gltf-validator';

let bad = 0;
for (const file of process.argv.slice(2)) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    externalResourceFunction: (uri) =>
      Promise.resolve(new Uint8Array(fs.readFileSync(path.join(path.dirname(file), decodeURIComponent(uri))))),
  });
  const { numErrors, numWarnings, numInfos, messages } = report.issues;
  console.log(`${file}: ${numErrors} errors, ${numWarnings} warnings, ${numInfos} infos`);
  for (const m of messages) console.log(`  [${m.severity}] ${m.code} ${m.pointer ?? ''}: ${m.message}`);
  if (numErrors > 0 || numWarnings > 0) bad++;
}
process.exit(bad === 0 ? 0 : 1);
