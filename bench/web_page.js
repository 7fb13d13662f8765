// The page's speed in Debian's chromium (see web_bench.sh): from picking a
// document to the 3D view's load event, and the page's conversion of a
// document to .glb alone (the worker's convert, with the file in its memory
// already). Prints one line per measurement, in milliseconds.
// Usage: node web_page.js PUPPETEER_FOLDER URL SHOWN_DOCUMENT CONVERTED_NAME RUNS
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const [puppeteerFolder, url, shown, converted, runs] = process.argv.slice(2);
const puppeteer = require(path.join(puppeteerFolder, 'node_modules', 'puppeteer-core'));

(async () => {
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: fs.mkdtempSync(path.join(os.tmpdir(), 'vellmar-bench-')),
    args: ['--no-sandbox', '--no-first-run', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--disable-quic', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--ignore-gpu-blocklist'],
  });
  try {
    for (let run = 0; run < Number(runs); ++run) {
      const page = await browser.newPage();
      await page.setViewport({width: 1200, height: 900});
      await page.goto(url, {waitUntil: 'load'});
      // The converter's module is ready before the drop, as for a user who
      // opened the page first.
      await page.evaluate(() => converter.send('remove', {paths: []}));
      const input = await page.$('#pick');
      await input.uploadFile(shown);
      await page.waitForFunction(() => window.vellmarTimings.length > 0, {timeout: 120000, polling: 50});
      const ms = await page.evaluate(() => window.vellmarTimings[0].ms);
      console.log(`shown ${path.basename(shown)}: ${ms.toFixed(0)} ms from the drop to the 3D view's load event`);
      const convert = await page.evaluate(async (name) => {
        // The document with the texture it names, as a user drops them.
        const files = [];
        for (const n of [name, 'torus.png']) files.push({path: n, file: new File([await (await fetch(n)).blob()], n)});
        await converter.send('add', {files});
        const start = performance.now();
        const result = await converter.send('convert', {paths: [name], format: 'glb', options: {}, limit: '1G'});
        const ms = performance.now() - start;
        await converter.send('remove', {paths: [name]});
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', result.files[0].data));
        const sha256 = [...digest].map((b) => b.toString(16).padStart(2, '0')).join('');
        return {ms, status: result.status, bytes: result.files[0].data.length, sha256};
      }, converted);
      if (convert.status !== 0) throw new Error(`the page could not convert ${converted}`);
      console.log(`converted ${converted}: ${convert.ms.toFixed(0)} ms to .glb in the page (${convert.bytes} bytes, sha256 ${convert.sha256})`);
      await page.close();
    }
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
