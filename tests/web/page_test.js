// The page in a real browser (Debian's chromium, headless, driven by
// puppeteer-core): documents picked in the page are described as `vellmar
// info` describes them, drawn in the 3D view, and downloaded in every format
// as the same bytes as `vellmar convert` writes; bad input gets the command
// line's message and the page goes on; no request leaves the page's origin.
//
// Usage: node page_test.js PUPPETEER_FOLDER URL WORK NATIVE_TOOL DOCUMENT...
// (each DOCUMENT is converted natively from its own folder, whose images go
// into the page with it).
'use strict';
const assert = require('assert');
const childProcess = require('child_process');
const fs = require('fs');
const path = require('path');

const [puppeteerFolder, url, work, tool, ...documents] = process.argv.slice(2);
const puppeteer = require(path.join(puppeteerFolder, 'node_modules', 'puppeteer-core'));

const kRoutes = [
  {format: 'xsi'}, {format: 'x'}, {format: 'obj'}, {format: 'mqo'}, {format: 'dxf'}, {format: 'dxf-polyface'},
  {format: 'dump'}, {format: 'gltf'}, {format: 'glb'}, {format: 'glb', keepOrder: true},
  {format: 'glb', compress: true},
];
const kImage = /\.(png|jpe?g|bmp|tga|gif|psd|pic|dds)$/i;
const failures = [];
function check(condition, what) {
  if (!condition) {
    failures.push(what);
    console.log('FAIL: ' + what);
  }
}

// The command line, run from the document's folder as a user would.
function native(args, folder, env = {}) {
  const run = childProcess.spawnSync(tool, args, {cwd: folder, env: Object.assign({}, process.env, env)});
  return {status: run.status, stdout: run.stdout, stderr: run.stderr};
}

function routeArgs(route) {
  return ['--format', route.format].concat(route.keepOrder ? ['--keep-order'] : [], route.compress ? ['--compress'] : []);
}

// dotXSI's time stamp line is the time of writing.
function comparable(name, bytes) {
  if (!/\.xsi$/i.test(name)) return bytes;
  return Buffer.from(bytes.toString('latin1').replace(/^\s*"\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}",\r?\n/m, ''), 'latin1');
}

// The files of a zip archive as stored by the page (python's zipfile
// reads it, so the archive is a standard one).
function unzip(file, into) {
  fs.mkdirSync(into, {recursive: true});
  const run = childProcess.spawnSync('python3', ['-m', 'zipfile', '-e', file, into]);
  assert.strictEqual(run.status, 0, `python3 -m zipfile could not read ${file}: ${run.stderr}`);
  return fs.readdirSync(into).sort();
}

function imagesBeside(document) {
  const folder = path.dirname(document);
  const found = [];
  const walk = (dir) => {
    for (const name of fs.readdirSync(dir)) {
      const p = path.join(dir, name);
      if (fs.statSync(p).isDirectory()) walk(p);
      else if (kImage.test(name)) found.push(p);
    }
  };
  walk(folder);
  return found;
}

// Pixels of a PNG screenshot, decoded by the page itself (no decoder here).
async function pixelsOf(page, png) {
  return page.evaluate(async (base64) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + base64;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.width;
    canvas.height = image.height;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    return Array.from(context.getImageData(0, 0, image.width, image.height).data);
  }, Buffer.from(png).toString('base64'));
}

// The strongest channels of the saturated base colours (materials without
// texture) that cover at least half of a native .glb's triangles, where
// the view must show them; none where the model is mostly grey, white or
// textured (or its coloured faces may lie inside).
function strongChannels(glb) {
  const length = glb.readUInt32LE(12);
  const json = JSON.parse(glb.subarray(20, 20 + length).toString('utf8'));
  const corners = new Map();  // material -> corners of its triangles
  let all = 0;
  for (const mesh of json.meshes || []) {
    for (const primitive of mesh.primitives) {
      if (!(primitive.mode === undefined || primitive.mode === 4) || primitive.indices === undefined) continue;
      const count = json.accessors[primitive.indices].count;
      all += count;
      corners.set(primitive.material, (corners.get(primitive.material) || 0) + count);
    }
  }
  const channels = new Set();
  let coloured = 0;
  for (const [index, count] of corners) {
    const material = index === undefined ? null : json.materials[index];
    const pbr = (material && material.pbrMetallicRoughness) || {};
    const c = pbr.baseColorFactor;
    if (!c || pbr.baseColorTexture) continue;
    const top = Math.max(c[0], c[1], c[2]);
    if (top - Math.min(c[0], c[1], c[2]) < 0.4) continue;
    channels.add(c.indexOf(top));
    coloured += count;
  }
  return coloured * 2 >= all ? channels : new Set();
}

class PageSession {
  static async open(browser, downloads) {
    const session = new PageSession();
    session.page = await browser.newPage();
    session.downloads = downloads;
    session.foreign = [];
    session.consoleErrors = [];
    const origin = new URL(url).origin;
    session.page.on('request', (request) => {
      const address = request.url();
      if (!(address.startsWith(origin + '/') || address.startsWith('blob:' + origin) || address.startsWith('data:')))
        session.foreign.push(address);
    });
    session.page.on('pageerror', (error) => session.consoleErrors.push(String(error)));
    session.page.on('console', (message) => {
      if (message.type() === 'error') session.consoleErrors.push(message.text());
    });
    const client = await session.page.createCDPSession();
    session.finished = new Map();  // guid -> suggested name
    session.names = new Map();
    client.on('Browser.downloadWillBegin', (event) => session.names.set(event.guid, event.suggestedFilename));
    client.on('Browser.downloadProgress', (event) => {
      if (event.state === 'completed') session.finished.set(event.guid, session.names.get(event.guid));
    });
    await client.send('Browser.setDownloadBehavior', {behavior: 'allowAndName', downloadPath: downloads, eventsEnabled: true});
    await session.page.setViewport({width: 1200, height: 900});
    await session.page.goto(url, {waitUntil: 'load'});
    return session;
  }

  async pick(files, limit = '1G') {
    await this.page.$eval('#limit', (input, value) => { input.value = value; }, limit);
    const input = await this.page.$('#pick');
    await input.uploadFile(...files);
  }

  // Waits until the card of name is described (and drawn, when it could
  // be read); returns what it shows.
  async card(name, timeout = 60000) {
    const handle = await this.page.waitForFunction((n) => {
      const card = [...document.querySelectorAll('.document')].find((c) => c.dataset.path === n);
      if (!card || card.dataset.done !== 'yes') return null;
      if (!card.classList.contains('failed') && card.querySelector('model-viewer').src && card.dataset.shown !== 'yes')
        return null;
      return {
        failed: card.classList.contains('failed'),
        info: card.querySelector('pre.info').textContent,
        error: card.querySelector('.error').hidden ? '' : card.querySelector('.error').textContent,
        warnings: [...card.querySelectorAll('.messages li')].map((li) => li.textContent),
        shown: card.dataset.shown === 'yes',
      };
    }, {timeout, polling: 100}, name);
    return handle.jsonValue();
  }

  async screenshotOf(name) {
    const viewer = await this.page.evaluateHandle((n) =>
      [...document.querySelectorAll('.document')].find((c) => c.dataset.path === n).querySelector('model-viewer'), name);
    await viewer.evaluate((v) => v.scrollIntoView());
    // A frame or two after the load event for the first drawing.
    await this.page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    return viewer.screenshot();
  }

  // Sets the export options, clicks Download and returns the downloaded
  // file's path and name.
  async download(route) {
    await this.page.select('#format', route.format);
    await this.page.evaluate((r) => {
      document.getElementById('compress').checked = !!r.compress;
      document.getElementById('keep-order').checked = !!r.keepOrder;
    }, route);
    const before = new Set(this.finished.keys());
    await this.page.waitForSelector('#download:not([disabled])');
    await this.page.click('#download');
    const deadline = Date.now() + 120000;
    for (;;) {
      const fresh = [...this.finished.keys()].find((guid) => !before.has(guid));
      if (fresh) return {file: path.join(this.downloads, fresh), name: this.finished.get(fresh)};
      const state = await this.page.$eval('#download-state', (s) => s.textContent);
      if (state === 'nothing was written' || state === 'failed') {
        const messages = await this.page.$$eval('#download-messages li', (l) => l.map((x) => x.textContent));
        throw new Error(`${route.format}: nothing downloaded: ${messages.join(' | ')}`);
      }
      if (Date.now() > deadline) throw new Error(`${route.format}: no download within two minutes`);
      await new Promise((r) => setTimeout(r, 50));
    }
  }

  async messages() {
    return this.page.$$eval('#download-messages li', (l) => l.map((x) => x.textContent));
  }

  async close() {
    await this.page.close();
  }
}

// The downloaded file (or archive) against what the command line writes
// into an --out-dir for the same documents.
function compareDownload(got, expectedFolder, what) {
  const expected = fs.readdirSync(expectedFolder).sort();
  let files;
  let folder;
  if (expected.length === 1 && !/\.zip$/.test(got.name)) {
    files = [got.name];
    folder = path.dirname(got.file);
    fs.renameSync(got.file, path.join(folder, got.name + '.download'));
    files = [got.name];
    const bytes = fs.readFileSync(path.join(folder, got.name + '.download'));
    fs.unlinkSync(path.join(folder, got.name + '.download'));
    check(got.name === expected[0], `${what}: downloaded as ${got.name}, the command line writes ${expected[0]}`);
    const want = fs.readFileSync(path.join(expectedFolder, expected[0]));
    check(comparable(got.name, bytes).equals(comparable(expected[0], want)), `${what}: ${got.name} differs from the command line's`);
    return;
  }
  folder = got.file + '.unzipped';
  files = unzip(got.file, folder);
  check(JSON.stringify(files) === JSON.stringify(expected), `${what}: the archive holds ${files}, the command line writes ${expected}`);
  for (const name of expected) {
    if (!files.includes(name)) continue;
    const bytes = fs.readFileSync(path.join(folder, name));
    const want = fs.readFileSync(path.join(expectedFolder, name));
    check(comparable(name, bytes).equals(comparable(name, want)), `${what}: ${name} differs from the command line's`);
  }
}

function nativeOutputs(docs, route, into) {
  fs.rmSync(into, {recursive: true, force: true});
  fs.mkdirSync(into, {recursive: true});
  // One batch per folder of documents, as the page converts them together.
  const byFolder = new Map();
  for (const doc of docs) {
    const folder = path.dirname(doc);
    if (!byFolder.has(folder)) byFolder.set(folder, []);
    byFolder.get(folder).push(path.basename(doc));
  }
  for (const [folder, names] of byFolder) native(['convert', '-q', ...names, '--out-dir', into, ...routeArgs(route)], folder);
}

async function everyDocument(browser) {
  for (const document of documents) {
    const name = path.basename(document);
    const folder = path.dirname(document);
    const session = await PageSession.open(browser, path.join(work, 'downloads'));
    await session.pick([document, ...imagesBeside(document)]);
    const card = await session.card(name);
    const info = native(['info', name], folder, {LANG: 'C.UTF-8', LC_ALL: 'C.UTF-8'});
    check(!card.failed, `${name}: not read in the page: ${card.error}`);
    check(card.info === info.stdout.toString('utf8'), `${name}: the page's info differs from vellmar info:\n${card.info}\n---\n${info.stdout}`);
    check(card.shown, `${name}: the 3D view did not load`);
    if (card.shown) {
      const png = await session.screenshotOf(name);
      fs.writeFileSync(path.join(work, name + '.png'), png);
      const pixels = await pixelsOf(session.page, png);
      // The background is the commonest colour.
      const counts = new Map();
      for (let i = 0; i < pixels.length; i += 4) {
        const key = (pixels[i] << 16) | (pixels[i + 1] << 8) | pixels[i + 2];
        counts.set(key, (counts.get(key) || 0) + 1);
      }
      const common = [...counts.entries()].reduce((a, b) => (b[1] > a[1] ? b : a))[0];
      const background = [common >> 16, (common >> 8) & 255, common & 255];
      let drawn = 0;
      const dominant = [0, 0, 0];
      for (let i = 0; i < pixels.length; i += 4) {
        const [r, g, b] = [pixels[i], pixels[i + 1], pixels[i + 2]];
        if (Math.abs(r - background[0]) + Math.abs(g - background[1]) + Math.abs(b - background[2]) > 30) ++drawn;
        const top = Math.max(r, g, b);
        if (top - Math.min(r, g, b) > 40) dominant[[r, g, b].indexOf(top)]++;
      }
      const count = pixels.length / 4;
      check(drawn > count * 0.005, `${name}: the 3D view looks blank (${drawn} of ${count} pixels drawn)`);
      const glb = native(['convert', '-q', name, '-', '--format', 'glb'], folder).stdout;
      const channels = [...strongChannels(glb)];
      check(channels.length === 0 || channels.some((c) => dominant[c] > count * 0.002),
        `${name}: the 3D view lacks the ${channels.map((c) => ['red', 'green', 'blue'][c]).join(' or ')} of its materials`);
    }
    for (const route of kRoutes) {
      const what = `${name} as ${route.format}${route.keepOrder ? ' --keep-order' : ''}${route.compress ? ' --compress' : ''}`;
      const expected = path.join(work, 'native');
      nativeOutputs([document], route, expected);
      try {
        compareDownload(await session.download(route), expected, what);
      } catch (e) {
        check(false, `${what}: ${e.message}`);
      }
    }
    check(session.consoleErrors.length === 0, `${name}: the page reported errors: ${session.consoleErrors.join(' | ')}`);
    check(session.foreign.length === 0, `${name}: requests left the origin: ${session.foreign.join(', ')}`);
    await session.close();
    console.log(`ok ${name}`);
  }
}

// Several documents at once: one archive for all, with the options of the
// export dialog, as one batch of the command line.
async function manyDocuments(browser, docs) {
  const session = await PageSession.open(browser, path.join(work, 'downloads'));
  const images = new Set();
  for (const doc of docs) for (const image of imagesBeside(doc)) images.add(image);
  await session.pick([...docs, ...images]);
  for (const doc of docs) await session.card(path.basename(doc));
  await session.page.$eval('#scale', (input) => { input.value = '2.5'; });
  await session.page.select('#axis-x', 'z');
  await session.page.select('#axis-z', '-x');
  await session.page.$eval('#freeze', (input) => { input.checked = true; });
  await session.page.$eval('#visible-only', (input) => { input.checked = true; });
  for (const route of [{format: 'obj'}, {format: 'xsi'}]) {
    const expected = path.join(work, 'native-many');
    fs.rmSync(expected, {recursive: true, force: true});
    fs.mkdirSync(expected, {recursive: true});
    native(['convert', '-q', ...docs.map((d) => path.basename(d)), '--out-dir', expected, ...routeArgs(route),
      '--scale', '2.5', '--axes', 'z,y,-x', '--freeze', '--visible-only'], path.dirname(docs[0]));
    compareDownload(await session.download(route), expected, `${docs.length} documents as ${route.format} with options`);
  }
  await session.close();
  console.log('ok several documents');
}

// Bad input: the command line's one-line message, shown in the page, which
// then reads the next document.
async function badInput(browser, samples) {
  const folder = path.join(work, 'bad');
  fs.rmSync(folder, {recursive: true, force: true});
  fs.mkdirSync(folder, {recursive: true});
  fs.writeFileSync(path.join(folder, 'broken.mqo'),
    'Metasequoia Document\r\nFormat Text Ver 1.0\r\n\r\nObject "box" {\r\n\tvertex 2 {\r\n\t\t0 0 0\r\n\t\t1 x 0\r\n');
  fs.writeFileSync(path.join(folder, 'notes.txt'), 'These are notes, not a document.\n');
  const cases = [['broken.mqo', '1G'], ['notes.txt', '1G']];
  const archive = samples.find((s) => /\.mqoz$/i.test(s));
  if (archive) {
    fs.copyFileSync(archive, path.join(folder, path.basename(archive)));
    cases.push([path.basename(archive), '100']);
  }
  const session = await PageSession.open(browser, path.join(work, 'downloads'));
  for (const [name, limit] of cases) {
    await session.pick([path.join(folder, name)], limit);
    const card = await session.card(name);
    const expected = native(['info', name, '--max-document-size', limit], folder).stderr.toString('utf8').trimEnd();
    check(card.failed, `${name}: read although the command line refuses it`);
    check(card.error === expected, `${name}: the page says "${card.error}", the command line "${expected}"`);
    check(expected.split('\n').length === 1, `${name}: the command line's message is not one line: ${expected}`);
  }
  // A good document after them, named like an option.
  fs.copyFileSync(documents[0], path.join(folder, '-x.mqo'));
  await session.pick([path.join(folder, '-x.mqo')]);
  const card = await session.card('-x.mqo');
  check(!card.failed && card.shown, `the page did not read a good document after the bad ones: ${card.error}`);
  check(session.foreign.length === 0, `bad input: requests left the origin: ${session.foreign.join(', ')}`);
  await session.close();
  console.log('ok bad input');
}

// Japanese names of a Shift-JIS and of a UTF-8 document, in the list, the
// info and the warnings.
async function japaneseNames(browser) {
  const folder = path.join(work, 'japanese');
  fs.rmSync(folder, {recursive: true, force: true});
  fs.mkdirSync(folder, {recursive: true});
  const body = (material, texture, object) => [
    'Metasequoia Document', 'Format Text Ver 1.0', '',
    'Material 1 {', `\t"${material}" shader(3) col(0.9 0.1 0.1 1.0) dif(0.8) amb(0.6) emi(0.0) spc(0.0) power(5.0) tex("${texture}")`, '}',
    `Object "${object}" {`, '\tvertex 3 {', '\t\t0 0 0', '\t\t100 0 0', '\t\t0 100 0', '\t}',
    '\tface 1 {', '\t\t3 V(0 1 2) M(0) UV(0 0 1 0 0 1)', '\t}', '}', 'Eof', ''].join('\r\n');
  // The Shift-JIS bytes spelled out (node has no encoder for them):
  // 赤 = 90 D4, 無い = 96 B3 82 A2, 箱 = 94 A0 in code page 932.
  const kShiftJis = {'\u0001M': [0x90, 0xd4], '\u0001T': [0x96, 0xb3, 0x82, 0xa2], '\u0001O': [0x94, 0xa0]};
  const spliced = Buffer.concat(body('\u0001M', '\u0001T.png', '\u0001O').split(/(\u0001[MTO])/).map((part) =>
    kShiftJis[part] ? Buffer.from(kShiftJis[part]) : Buffer.from(part, 'latin1')));
  fs.writeFileSync(path.join(folder, '日本語.mqo'), spliced);
  fs.writeFileSync(path.join(folder, 'utf8名.mqo'),
    body('赤', '無い.png', '箱').replace('Format Text Ver 1.0', 'Format Text Ver 1.0\r\nCodePage utf8'));
  const session = await PageSession.open(browser, path.join(work, 'downloads'));
  for (const name of ['日本語.mqo', 'utf8名.mqo']) {
    await session.pick([path.join(folder, name)]);
    const card = await session.card(name);
    const listed = await session.page.$$eval('.document .name', (n) => n.map((x) => x.textContent));
    check(listed.includes(name), `${name}: the list shows ${listed}`);
    check(card.info.includes('無い.png'), `${name}: the info lacks the texture's name:\n${card.info}`);
    const warning = card.warnings.find((w) => w.includes('無い.png'));
    check(warning !== undefined && warning.includes('赤') && warning.includes(name) && !warning.includes('\ufffd'),
      `${name}: no warning names the missing texture and its material right: ${card.warnings.join(' | ')}`);
  }
  await session.close();
  console.log('ok Japanese names');
}

(async () => {
  fs.mkdirSync(path.join(work, 'downloads'), {recursive: true});
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    userDataDir: fs.mkdtempSync(path.join(work, 'profile-')),
    args: ['--no-sandbox', '--no-first-run', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--disable-quic', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
      '--ignore-gpu-blocklist'],
  });
  try {
    await everyDocument(browser);
    const examples = documents.filter((d) => path.dirname(d) === path.dirname(documents[0]) && /\.mqo$/i.test(d));
    if (examples.length > 1) await manyDocuments(browser, examples);
    await badInput(browser, documents);
    await japaneseNames(browser);
  } finally {
    await browser.close();
  }
  if (failures.length > 0) {
    console.log(`${failures.length} failures`);
    process.exit(1);
  }
  console.log('the page passed');
})().catch((e) => {
  console.log('FAIL: ' + (e && e.stack ? e.stack : e));
  process.exit(1);
});
