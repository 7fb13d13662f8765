// A zip archive of whole files, stored as they are (no compression): what
// the page downloads for a pair of files or for many documents. Names are
// UTF-8 (flag bit 11), so Japanese names unpack as they are.
'use strict';

const kCrcTable = (() => {
  const table = new Uint32Array(256);
  for (let n = 0; n < 256; ++n) {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    table[n] = c >>> 0;
  }
  return table;
})();

function crc32(bytes) {
  let c = 0xffffffff;
  for (let i = 0; i < bytes.length; ++i) c = kCrcTable[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}

// files: [{name, data: Uint8Array}], each under 4 GiB and 65,535 files at
// most. Returns a Blob of the archive.
function makeZip(files, date = new Date()) {
  const encoder = new TextEncoder();
  const time = (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1);
  const day = (Math.max(date.getFullYear() - 1980, 0) << 9) | ((date.getMonth() + 1) << 5) | date.getDate();
  const parts = [];
  const central = [];
  let offset = 0;
  for (const file of files) {
    const name = encoder.encode(file.name);
    const crc = crc32(file.data);
    const size = file.data.length;
    // From the flags to the name's length a local header and its central
    // entry hold the same fields, at from in each.
    const shared = (view, from) => {
      view.setUint16(from, 0x0800, true);  // UTF-8 names
      view.setUint16(from + 2, 0, true);  // stored
      view.setUint16(from + 4, time, true);
      view.setUint16(from + 6, day, true);
      view.setUint32(from + 8, crc, true);
      view.setUint32(from + 12, size, true);
      view.setUint32(from + 16, size, true);
      view.setUint16(from + 20, name.length, true);
    };
    const local = new DataView(new ArrayBuffer(30));
    local.setUint32(0, 0x04034b50, true);
    local.setUint16(4, 20, true);  // version needed
    shared(local, 6);
    local.setUint16(28, 0, true);
    parts.push(local.buffer, name, file.data);
    const entry = new DataView(new ArrayBuffer(46));
    entry.setUint32(0, 0x02014b50, true);
    entry.setUint16(4, 20, true);  // made by
    entry.setUint16(6, 20, true);
    shared(entry, 8);
    entry.setUint32(42, offset, true);
    central.push(entry.buffer, name);
    offset += 30 + name.length + size;
  }
  const centralSize = central.reduce((n, part) => n + part.byteLength, 0);
  const end = new DataView(new ArrayBuffer(22));
  end.setUint32(0, 0x06054b50, true);
  end.setUint16(8, files.length, true);
  end.setUint16(10, files.length, true);
  end.setUint32(12, centralSize, true);
  end.setUint32(16, offset, true);
  return new Blob(parts.concat(central, [end.buffer]), {type: 'application/zip'});
}
