// The page's converter: vellmar compiled for the browser, run as its own
// command line (main after main) over the files that the page hands over,
// which live in the module's memory only. Nothing here reaches the network.
'use strict';
importScripts('vellmar.js');

const kDocuments = '/documents';
const kOutput = '/output';

let tool = null;
let stdout = [];
let stderr = [];

const ready = createVellmar({
  noInitialRun: true,
  preRun: [(module) => {
    // info shows names in UTF-8 under a UTF-8 locale; one thread, as the
    // page has no shared memory.
    module.ENV.LANG = 'C.UTF-8';
    module.ENV.VELLMAR_THREADS = '1';
    // Standard output and error byte by byte: messages may hold a
    // document's Shift-JIS names, which only the page can tell apart.
    module.FS.init(null, (b) => { if (b !== null) stdout.push(b); }, (b) => { if (b !== null) stderr.push(b); });
  }],
}).then((module) => {
  tool = module;
  tool.FS.mkdir(kDocuments);
  tool.FS.mkdir(kOutput);
  tool.FS.chdir(kDocuments);
});

function splitLines(bytes) {
  const lines = [];
  let start = 0;
  for (let i = 0; i <= bytes.length; ++i) {
    if (i === bytes.length || bytes[i] === 10) {
      if (i > start) lines.push(Uint8Array.from(bytes.slice(start, i)));
      start = i + 1;
    }
  }
  return lines;
}

// A document's names through the tool's own conversion (code page 932 or
// UTF-8 kept), as its writers convert them.
function nameAsUtf8(bytes) {
  const size = bytes.length * 3 + 1;
  const input = tool._malloc(bytes.length + 1);
  const output = tool._malloc(size);
  try {
    tool.HEAPU8.set(bytes, input);
    const n = tool._vellmar_name_as_utf8(input, bytes.length, 0, output, size);
    return new TextDecoder().decode(tool.HEAPU8.slice(output, output + n));
  } finally {
    tool._free(input);
    tool._free(output);
  }
}

// One message line as text. UTF-8 as it is; otherwise it holds names of a
// Shift-JIS document beside the file names that the page gave (UTF-8),
// which are kept while the rest is converted from code page 932.
function decodeMessage(bytes, knownNames) {
  try {
    return new TextDecoder('utf-8', {fatal: true}).decode(bytes);
  } catch (e) {
    // mixed: see below
  }
  const encoder = new TextEncoder();
  const marks = [];
  for (const name of knownNames) {
    if (!/[^\x00-\x7f]/.test(name)) continue;
    const pattern = encoder.encode(name);
    for (let i = 0; i + pattern.length <= bytes.length; ++i) {
      let same = true;
      for (let k = 0; k < pattern.length && same; ++k) same = bytes[i + k] === pattern[k];
      if (same) {
        marks.push([i, i + pattern.length]);
        i += pattern.length - 1;
      }
    }
  }
  marks.sort((a, b) => a[0] - b[0]);
  let text = '';
  let at = 0;
  for (const [begin, end] of marks) {
    if (begin < at) continue;
    text += nameAsUtf8(bytes.subarray(at, begin)) + new TextDecoder().decode(bytes.subarray(begin, end));
    at = end;
  }
  return text + nameAsUtf8(bytes.subarray(at));
}

// Runs the command line; its status, standard output and message lines.
function run(args, knownNames) {
  stdout = [];
  stderr = [];
  let status;
  try {
    status = tool.callMain(args);
    tool._fflush(0);
  } catch (e) {
    // The module is lost (a trap); the page starts a new worker.
    throw new Error('the converter stopped: ' + e);
  }
  return {
    status,
    out: new TextDecoder().decode(Uint8Array.from(stdout)),
    messages: splitLines(stderr).map((line) => decodeMessage(line, knownNames.concat(args))),
  };
}

function makeFolders(path) {
  const parts = path.split('/');
  let folder = '';
  for (let i = 0; i + 1 < parts.length; ++i) {
    folder += (folder ? '/' : '') + parts[i];
    try {
      tool.FS.mkdir(folder);
    } catch (e) {
      // there already
    }
  }
}

function takeOutputs() {
  const files = [];
  for (const name of tool.FS.readdir(kOutput)) {
    if (name === '.' || name === '..') continue;
    const path = kOutput + '/' + name;
    files.push({name, data: tool.FS.readFile(path)});
    tool.FS.unlink(path);
  }
  files.sort((a, b) => (a.name < b.name ? -1 : a.name > b.name ? 1 : 0));
  return files;
}

function stemOf(path) {
  const name = path.slice(path.lastIndexOf('/') + 1);
  const dot = name.lastIndexOf('.');
  return dot > 0 ? name.slice(0, dot) : name;
}

const handlers = {
  add({files}) {
    for (const {path, data} of files) {
      makeFolders(path);
      tool.FS.writeFile(path, new Uint8Array(data));
    }
    return {};
  },

  remove({paths}) {
    for (const path of paths) {
      try {
        tool.FS.unlink(path);
      } catch (e) {
        // gone already
      }
    }
    return {};
  },

  // What info shows, and the document as .glb for the 3D view, with the
  // warnings of both; or the message that refused it.
  describe({path, limit}) {
    const sizeArgs = ['--max-document-size', limit];
    // "--" before the names, so that a file named like an option is a file.
    const info = run(['info'].concat(sizeArgs, ['--', path]), [path]);
    const result = {path, status: info.status, info: info.out, messages: info.messages, glb: null};
    if (info.status !== 0) return result;
    const glb = run(['convert', '-q', '--out-dir', kOutput, '--format', 'glb'].concat(sizeArgs, ['--', path]), [path]);
    for (const line of glb.messages) if (!result.messages.includes(line)) result.messages.push(line);
    result.status = glb.status;
    const files = takeOutputs();
    const made = files.find((f) => f.name === stemOf(path) + '.glb');
    if (glb.status === 0 && made) result.glb = made.data;
    return result;
  },

  // The documents in one format with the export options, as one batch of
  // the command line: its files (the output and its companion for each) and
  // its messages.
  convert({paths, format, options, limit}) {
    const args = ['convert', '-q', '--out-dir', kOutput, '--format', format, '--max-document-size', limit];
    if (options.scale !== undefined && options.scale !== '' && options.scale !== '1') args.push('--scale', options.scale);
    if (options.axes && options.axes !== 'x,y,z') args.push('--axes', options.axes);
    if (options.freeze) args.push('--freeze');
    if (options.visibleOnly) args.push('--visible-only');
    if (options.compress) args.push('--compress');
    if (options.keepOrder) args.push('--keep-order');
    const result = run(args.concat(['--'], paths), paths);
    return {status: result.status, messages: result.messages, files: takeOutputs()};
  },
};

self.onmessage = async (event) => {
  const {id, command} = event.data;
  try {
    await ready;
    const reply = handlers[command](event.data);
    const transfer = [];
    if (reply.glb) transfer.push(reply.glb.buffer);
    for (const f of reply.files || []) transfer.push(f.data.buffer);
    self.postMessage({id, reply}, transfer);
  } catch (e) {
    self.postMessage({id, failure: String(e && e.message ? e.message : e)});
  }
};

