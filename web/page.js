// The page: files dropped or picked go to the converter's worker, each
// document is described and shown in 3D, and the download runs the
// command line's convert over them. Only this page's own folder is ever
// asked for anything.
'use strict';

const kTextureName = /\.(png|jpe?g|bmp|tga|gif|psd|pic|dds|tiff?|webp|hdr)$/i;
const kAxes = ['x', 'y', 'z', '-x', '-y', '-z'];

// The worker with requests by number. A worker whose module stopped (a
// trap, memory gone) is replaced by a new one that gets every file again.
class Converter {
  constructor() {
    this.files = new Map();  // path -> File, to hand to a new worker
    this.next = 1;
    this.start();
  }

  start() {
    this.worker = new Worker('worker.js');
    this.pending = new Map();
    this.worker.onmessage = (event) => {
      const {id, reply, failure} = event.data;
      const request = this.pending.get(id);
      if (!request) return;
      this.pending.delete(id);
      if (failure === undefined) request.resolve(reply);
      else request.reject(new Error(failure));
    };
    this.worker.onerror = (event) => {
      event.preventDefault();
      this.restart('the converter could not start: ' + (event.message || 'unknown error'));
    };
  }

  restart(reason) {
    for (const request of this.pending.values()) request.reject(new Error(reason));
    this.worker.terminate();
    this.start();
    this.send('add', {files: [...this.files.keys()].map((path) => ({path, file: this.files.get(path)}))}, true);
  }

  post(command, fields, transfer) {
    const id = this.next++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, {resolve, reject});
      this.worker.postMessage(Object.assign({id, command}, fields), transfer);
    });
  }

  async send(command, fields, again = false) {
    if (command === 'add') {
      const files = [];
      for (const {path, file} of fields.files) {
        if (!again) this.files.set(path, file);
        files.push({path, data: await file.arrayBuffer()});
      }
      return this.post('add', {files}, files.map((f) => f.data));
    }
    try {
      return await this.post(command, fields, []);
    } catch (e) {
      if (/the converter stopped/.test(e.message)) this.restart(e.message);
      throw e;
    }
  }
}

const converter = new Converter();
const documents = new Map();  // path -> {card, ok, url}
const $ = (id) => document.getElementById(id);
window.vellmarTimings = [];  // {path, ms}: from the drop to the 3D view's load event

function stemOf(path) {
  const name = path.slice(path.lastIndexOf('/') + 1);
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
}

function sizeLimit() {
  const text = $('limit').value.trim();
  return text === '' ? '1G' : text;
}

// "vellmar: warning: ...", "vellmar: note: ..." and the rest, the errors.
function sortMessages(lines) {
  const errors = [];
  const warnings = [];
  for (const line of lines) (/^vellmar: (warning|note): /.test(line) ? warnings : errors).push(line);
  return {errors, warnings};
}

function showList(list, lines) {
  list.replaceChildren(...lines.map((line) => {
    const item = document.createElement('li');
    item.textContent = line;
    return item;
  }));
}

function cardFor(path) {
  let entry = documents.get(path);
  if (!entry) {
    const card = $('document-card').content.firstElementChild.cloneNode(true);
    card.querySelector('.name').textContent = path;
    card.dataset.path = path;
    $('documents').append(card);
    entry = {card, ok: false, url: null};
    documents.set(path, entry);
  }
  $('empty').hidden = true;
  return entry;
}

async function describe(path, droppedAt) {
  const entry = cardFor(path);
  const {card} = entry;
  delete card.dataset.done;
  delete card.dataset.shown;
  const state = card.querySelector('.state');
  state.textContent = 'reading…';
  let result;
  try {
    result = await converter.send('describe', {path, limit: sizeLimit()});
  } catch (e) {
    result = {status: -1, info: '', messages: ['vellmar: ' + e.message], glb: null};
  }
  const {errors, warnings} = sortMessages(result.messages);
  entry.ok = result.status === 0;
  card.classList.toggle('failed', !entry.ok);
  card.querySelector('pre.info').textContent = result.info;
  showList(card.querySelector('.messages'), warnings);
  const error = card.querySelector('.error');
  error.hidden = errors.length === 0;
  error.textContent = errors.join('\n');
  const viewer = card.querySelector('model-viewer');
  if (entry.url) URL.revokeObjectURL(entry.url);
  entry.url = null;
  if (!result.glb) {
    viewer.removeAttribute('src');
    state.textContent = entry.ok ? '' : '(not read)';
    card.dataset.done = 'yes';
    updateDownload();
    return;
  }
  state.textContent = 'drawing…';
  entry.url = URL.createObjectURL(new Blob([result.glb], {type: 'model/gltf-binary'}));
  viewer.alt = path;
  viewer.addEventListener('load', () => {
    const ms = performance.now() - droppedAt;
    // The files keep their faces one-sided; the view shows both sides, so
    // that a flat or open model seen from behind is not empty.
    for (const material of (viewer.model && viewer.model.materials) || [])
      if (material.setDoubleSided) material.setDoubleSided(true);
    window.vellmarTimings.push({path, ms});
    state.textContent = `(shown ${(ms / 1000).toFixed(2)} s after it was dropped)`;
    card.dataset.shown = 'yes';
  }, {once: true});
  viewer.addEventListener('error', () => { state.textContent = '(the 3D view could not show it)'; }, {once: true});
  viewer.src = entry.url;
  card.dataset.done = 'yes';
  updateDownload();
}

// Files with their paths: documents and textures go to the converter
// first, so that every texture is there when a document looks for it.
async function addFiles(entries, droppedAt) {
  if (entries.length === 0) return;
  await converter.send('add', {files: entries});
  const added = entries.filter((e) => !kTextureName.test(e.path)).map((e) => e.path);
  const textures = entries.filter((e) => kTextureName.test(e.path)).map((e) => e.path);
  const resources = $('resources');
  if (textures.length > 0)
    resources.textContent = (resources.textContent ? resources.textContent + ', ' : 'Textures: ') + textures.join(', ');
  // New textures may be what earlier documents missed: those are read again.
  const again = textures.length > 0 ? [...documents.keys()].filter((p) => !added.includes(p)) : [];
  for (const path of added.concat(again)) await describe(path, droppedAt);
}

// The files under a dropped folder, with their paths below it.
function readEntry(entry, into) {
  if (entry.isFile) {
    return new Promise((resolve) => entry.file((file) => {
      into.push({path: entry.fullPath.replace(/^\/+/, ''), file});
      resolve();
    }, () => resolve()));
  }
  if (!entry.isDirectory) return Promise.resolve();
  const reader = entry.createReader();
  return new Promise((resolve) => {
    const more = () => reader.readEntries(async (batch) => {
      if (batch.length === 0) return resolve();
      for (const child of batch) await readEntry(child, into);
      more();
    }, () => resolve());
    more();
  });
}

async function filesOfDrop(transfer) {
  const entries = [];
  const items = [...(transfer.items || [])].map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
  if (items.length > 0 && items.every(Boolean)) {
    for (const item of items) await readEntry(item, entries);
  } else {
    for (const file of transfer.files) entries.push({path: file.name, file});
  }
  return entries;
}

function updateDownload() {
  const ready = [...documents.values()].some((d) => d.ok);
  $('download').disabled = !ready;
}

function save(name, blob) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

async function download() {
  const paths = [...documents.keys()].filter((p) => documents.get(p).ok);
  if (paths.length === 0) return;
  const format = $('format').value;
  const options = {
    scale: $('scale').value.trim(),
    axes: ['axis-x', 'axis-y', 'axis-z'].map((id) => $(id).value).join(','),
    freeze: $('freeze').checked,
    visibleOnly: $('visible-only').checked,
    compress: $('compress').checked,
    keepOrder: $('keep-order').checked,
  };
  const state = $('download-state');
  state.textContent = 'converting…';
  $('download').disabled = true;
  try {
    const result = await converter.send('convert', {paths, format, options, limit: sizeLimit()});
    showList($('download-messages'), result.messages);
    const files = result.files;
    if (files.length === 0) {
      state.textContent = 'nothing was written';
    } else if (files.length === 1) {
      save(files[0].name, new Blob([files[0].data]));
      state.textContent = files[0].name;
    } else {
      const name = paths.length === 1 ? stemOf(paths[0]) + '.zip' : `vellmar-${format}.zip`;
      save(name, makeZip(files));
      state.textContent = `${name} (${files.map((f) => f.name).join(', ')})`;
    }
  } catch (e) {
    showList($('download-messages'), ['vellmar: ' + e.message]);
    state.textContent = 'failed';
  } finally {
    updateDownload();
  }
}

function setUp() {
  ['axis-x', 'axis-y', 'axis-z'].forEach((id, i) => {
    const select = $(id);
    for (const axis of kAxes) select.append(new Option(axis, axis, i === kAxes.indexOf(axis), i === kAxes.indexOf(axis)));
  });
  const drop = $('drop');
  for (const target of [drop, document.body]) {
    target.addEventListener('dragover', (event) => {
      event.preventDefault();
      drop.classList.add('over');
    });
    target.addEventListener('dragleave', () => drop.classList.remove('over'));
    target.addEventListener('drop', async (event) => {
      event.preventDefault();
      event.stopPropagation();
      drop.classList.remove('over');
      const droppedAt = performance.now();
      addFiles(await filesOfDrop(event.dataTransfer), droppedAt);
    });
  }
  $('pick').addEventListener('change', (event) => {
    const droppedAt = performance.now();
    const files = [...event.target.files].map((file) => ({path: file.name, file}));
    event.target.value = '';
    addFiles(files, droppedAt);
  });
  $('download').addEventListener('click', download);
}

setUp();
