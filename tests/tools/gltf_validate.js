// Runs the glTF validator on each file named on the command line and prints
// one line per message, "FILE: SEVERITY CODE pointer: message", then a count.
// Usage: node gltf_validate.js VALIDATOR_DIR ALLOWED_WARNINGS FILE...
// ALLOWED_WARNINGS is a comma-separated list of warning codes that pass.
// Exit status: 0 when no file has an error or a warning outside the list,
// 1 otherwise, 2 when the validator cannot be loaded.
'use strict';
const fs = require('fs');
const path = require('path');

const [validatorDir, allowedList, ...files] = process.argv.slice(2);
let validator;
try {
  validator = require(path.join(validatorDir, 'node_modules', 'gltf-validator'));
} catch (e) {
  console.log(`cannot load the validator from ${validatorDir}: ${e.message}`);
  process.exit(2);
}
const allowed = new Set((allowedList || '').split(',').filter((s) => s));
const severities = ['ERROR', 'WARNING', 'INFO', 'HINT'];

async function validate(file) {
  const folder = path.dirname(file);
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    maxIssues: 0,
    writeTimestamp: false,
    // The buffer beside a .gltf file, as a viewer finds it.
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(folder, decodeURIComponent(uri)), (error, data) =>
          error ? reject(error.toString()) : resolve(new Uint8Array(data)));
      }),
  });
  let failures = 0;
  for (const m of report.issues.messages) {
    const severity = severities[m.severity] || String(m.severity);
    const fails = m.severity === 0 || (m.severity === 1 && !allowed.has(m.code));
    if (fails) failures++;
    console.log(`${file}: ${severity} ${m.code} ${m.pointer || ''}: ${m.message}${fails ? '' : ' (allowed)'}`);
  }
  // Every file is self-contained but for a .gltf's own buffer: an image
  // that the file refers to outside itself is a failure (IO_ERROR above
  // when it is missing).
  for (const image of report.info && report.info.resources ? report.info.resources : []) {
    if (image.pointer && image.pointer.startsWith('/images/') && image.storage !== 'buffer-view') {
      console.log(`${file}: ERROR image ${image.pointer} is stored ${image.storage}, not in the buffer`);
      failures++;
    }
  }
  return failures;
}

(async () => {
  let failures = 0;
  for (const file of files) failures += await validate(file);
  console.log(`${files.length} files validated, ${failures} failing messages`);
  process.exit(failures === 0 ? 0 : 1);
})().catch((e) => {
  console.log(`validation failed: ${e}`);
  process.exit(1);
});
