// Reads compressed glTF files with the meshoptimizer package's decoder (a
// reader that no one here wrote) and compares what they draw with the
// uncompressed file of the same document: the same nodes, meshes and
// primitives, and every triangle and line of the one found in the other,
// with positions no further off than half the grid step that the node's
// scale names, texture coordinates no more than 2^-13, normals no more than
// MAX_NORMAL_DEGREES and colours no more than half of 1/255. The stored
// positions' bounds must be exactly those of the decoded integers.
// Usage: node gltf_compressed_check.js MESHOPT_DIR MAX_NORMAL_DEGREES PLAIN COMPRESSED [PLAIN COMPRESSED]...
// Prints one line per file pair, then a count; exit status 0 when every
// pair matches, 1 otherwise, 2 when the decoder cannot be loaded.
'use strict';
const fs = require('fs');
const path = require('path');

const [decoderDir, maxNormalDegrees, ...files] = process.argv.slice(2);
let MeshoptDecoder;
try {
  ({MeshoptDecoder} = require(path.join(decoderDir, 'node_modules', 'meshoptimizer')));
} catch (e) {
  console.log(`cannot load the meshoptimizer decoder from ${decoderDir}: ${e.message}`);
  process.exit(2);
}

const kMeshopt = 'EXT_meshopt_compression';
const kComponents = {SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4};
// Per component type: the DataView getter, its size and, for normalised
// integers, the value that stands for 1.
const kTypes = {
  5120: ['getInt8', 1, 127], 5121: ['getUint8', 1, 255], 5122: ['getInt16', 2, 32767],
  5123: ['getUint16', 2, 65535], 5125: ['getUint32', 4, 0], 5126: ['getFloat32', 4, 0],
};

// The JSON and the buffers of a .glb or .gltf file, with every compressed
// view decoded into a buffer of its own.
function load(file) {
  const bytes = fs.readFileSync(file);
  let json;
  const buffers = [];
  if (bytes.readUInt32LE(0) === 0x46546c67) {
    const jsonLength = bytes.readUInt32LE(12);
    json = JSON.parse(bytes.subarray(20, 20 + jsonLength).toString('utf8'));
    const bin = 20 + jsonLength;
    if (bin < bytes.length) buffers[0] = bytes.subarray(bin + 8, bin + 8 + bytes.readUInt32LE(bin));
  } else {
    json = JSON.parse(bytes.toString('utf8'));
  }
  (json.buffers || []).forEach((b, i) => {
    if (b.uri) buffers[i] = fs.readFileSync(path.join(path.dirname(file), decodeURIComponent(b.uri)));
  });
  const views = (json.bufferViews || []).map((view) => {
    const ext = view.extensions && view.extensions[kMeshopt];
    if (!ext) {
      const buffer = buffers[view.buffer];
      return {bytes: buffer.subarray(view.byteOffset || 0, (view.byteOffset || 0) + view.byteLength),
              stride: view.byteStride || 0};
    }
    const source = buffers[ext.buffer].subarray(ext.byteOffset || 0, (ext.byteOffset || 0) + ext.byteLength);
    const target = new Uint8Array(ext.count * ext.byteStride);
    MeshoptDecoder.decodeGltfBuffer(target, ext.count, ext.byteStride, new Uint8Array(source), ext.mode,
                                    ext.filter || 'NONE');
    return {bytes: Buffer.from(target.buffer), stride: ext.byteStride};
  });
  return {json, views};
}

// An accessor's values, one array per element, normalised integers made
// floats as glTF reads them.
function read(doc, index) {
  const accessor = doc.json.accessors[index];
  const view = doc.views[accessor.bufferView];
  const [getter, size, max] = kTypes[accessor.componentType];
  const width = kComponents[accessor.type];
  const stride = view.stride || width * size;
  const data = new DataView(view.bytes.buffer, view.bytes.byteOffset, view.bytes.byteLength);
  const out = [];
  for (let i = 0; i < accessor.count; ++i) {
    const element = [];
    for (let k = 0; k < width; ++k) {
      const value = data[getter]((accessor.byteOffset || 0) + i * stride + k * size, true);
      element.push(accessor.normalized ? Math.max(value / max, -1) : value);
    }
    out.push(element);
  }
  return out;
}

// The primitive's elements (triangles or lines), each a list of corners
// that carry position, normal, texture coordinate and colour, in the
// node's space made world space and texture transforms applied.
function corners(doc, node, primitive) {
  const t = node.translation || [0, 0, 0];
  const s = node.scale || [1, 1, 1];
  const position = read(doc, primitive.attributes.POSITION).map((p) => p.map((x, k) => t[k] + s[k] * x));
  const normal = primitive.attributes.NORMAL !== undefined ? read(doc, primitive.attributes.NORMAL) : null;
  let uv = primitive.attributes.TEXCOORD_0 !== undefined ? read(doc, primitive.attributes.TEXCOORD_0) : null;
  const color = primitive.attributes.COLOR_0 !== undefined ? read(doc, primitive.attributes.COLOR_0) : null;
  const material = primitive.material !== undefined ? doc.json.materials[primitive.material] : null;
  const info = material && material.pbrMetallicRoughness && material.pbrMetallicRoughness.baseColorTexture;
  const transform = info && info.extensions && info.extensions.KHR_texture_transform;
  if (uv && transform) uv = uv.map((c) => c.map((x, k) => transform.offset[k] + transform.scale[k] * x));
  const indices = read(doc, primitive.indices).map((e) => e[0]);
  const size = primitive.mode === 1 ? 2 : 3;
  const elements = [];
  for (let i = 0; i + size <= indices.length; i += size) {
    elements.push(indices.slice(i, i + size).map((v) => ({
      p: position[v], n: normal && normal[v], uv: uv && uv[v], c: color && color[v],
    })));
  }
  return elements;
}

function angleDegrees(a, b) {
  const la = Math.hypot(...a), lb = Math.hypot(...b);
  const cos = (a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) / (la * lb);
  return (Math.acos(Math.min(1, Math.max(-1, cos))) * 180) / Math.PI;
}

// Whether corner d (decoded) stands for corner p (plain) within the errors;
// the largest errors seen go into worst.
function sameCorner(p, d, tolerance, worst) {
  for (let k = 0; k < 3; ++k) if (!(Math.abs(p.p[k] - d.p[k]) <= tolerance.position)) return false;
  if (p.uv && d.uv) for (let k = 0; k < 2; ++k) if (!(Math.abs(p.uv[k] - d.uv[k]) <= tolerance.uv)) return false;
  if (!!p.uv !== !!d.uv || !!p.n !== !!d.n || !!p.c !== !!d.c) return false;
  if (p.n && !(angleDegrees(p.n, d.n) <= tolerance.normal)) return false;
  if (p.c) for (let k = 0; k < 4; ++k) if (!(Math.abs(p.c[k] - d.c[k]) <= tolerance.color)) return false;
  for (let k = 0; k < 3; ++k) worst.position = Math.max(worst.position, Math.abs(p.p[k] - d.p[k]));
  if (p.uv) for (let k = 0; k < 2; ++k) worst.uv = Math.max(worst.uv, Math.abs(p.uv[k] - d.uv[k]));
  if (p.n) worst.normal = Math.max(worst.normal, angleDegrees(p.n, d.n));
  return true;
}

// Each decoded element matched with a plain one that it stands for, its
// corners in the same cyclic order (the codec may rotate a triangle, never
// turn it over); plain elements are looked up by their centroid's cell.
function matchElements(plain, decoded, tolerance, worst) {
  if (plain.length !== decoded.length) return `${decoded.length} elements, not ${plain.length}`;
  const cell = Math.max(4 * tolerance.position, 1e-9);
  const key = (e, offset) => [0, 1, 2].map((k) => Math.floor(e.reduce((sum, c) => sum + c.p[k], 0) / e.length / cell) + offset[k]).join(',');
  const cells = new Map();
  plain.forEach((e, i) => {
    const k = key(e, [0, 0, 0]);
    if (!cells.has(k)) cells.set(k, []);
    cells.get(k).push(i);
  });
  const used = new Uint8Array(plain.length);
  const offsets = [];
  for (const x of [-1, 0, 1]) for (const y of [-1, 0, 1]) for (const z of [-1, 0, 1]) offsets.push([x, y, z]);
  for (const d of decoded) {
    let found = false;
    for (const offset of offsets) {
      for (const i of cells.get(key(d, offset)) || []) {
        if (used[i]) continue;
        const p = plain[i];
        for (let r = 0; r < p.length && !found; ++r) {
          if (p.every((c, k) => sameCorner(c, d[(k + r) % d.length], tolerance, worst))) found = true;
        }
        if (found) {
          used[i] = 1;
          break;
        }
      }
      if (found) break;
    }
    if (!found) return `an element at ${JSON.stringify(d.map((c) => c.p))} has no counterpart`;
  }
  return null;
}

function comparePair(plainFile, compressedFile, worst) {
  const plain = load(plainFile);
  const packed = load(compressedFile);
  const required = packed.json.extensionsRequired || [];
  if (!required.includes(kMeshopt) || !required.includes('KHR_mesh_quantization'))
    return 'the compressed file does not require EXT_meshopt_compression and KHR_mesh_quantization';
  const nodes = plain.json.nodes || [];
  if (nodes.length !== (packed.json.nodes || []).length) return 'another number of nodes';
  for (let n = 0; n < nodes.length; ++n) {
    const a = nodes[n], b = packed.json.nodes[n];
    if ((a.mesh === undefined) !== (b.mesh === undefined)) return `node ${n}: a mesh in one file only`;
    if (a.mesh === undefined) continue;
    const pa = plain.json.meshes[a.mesh].primitives, pb = packed.json.meshes[b.mesh].primitives;
    if (pa.length !== pb.length) return `node ${n}: another number of primitives`;
    // The stored positions' bounds are those of the integers.
    const position = packed.json.accessors[pb[0].attributes.POSITION];
    const stored = read(packed, pb[0].attributes.POSITION);
    for (let k = 0; k < 3; ++k) {
      const values = stored.map((p) => p[k]);
      if (Math.min(...values) !== position.min[k] || Math.max(...values) !== position.max[k])
        return `node ${n}: the position bounds are not those of the stored integers`;
    }
    const scale = (b.scale || [1, 1, 1])[0];
    const tolerance = {
      position: (scale / 2) * (1 + 1e-6),
      uv: 1 / 8192 + 1e-6, normal: Number(maxNormalDegrees), color: 0.5 / 255 + 1e-6,
    };
    for (let p = 0; p < pa.length; ++p) {
      if ((pa[p].mode || 4) !== (pb[p].mode || 4) || pa[p].material !== pb[p].material)
        return `node ${n}, primitive ${p}: another mode or material`;
      const failure = matchElements(corners(plain, a, pa[p]), corners(packed, b, pb[p]), tolerance, worst);
      if (failure) return `node ${n}, primitive ${p}: ${failure}`;
    }
  }
  return null;
}

(async () => {
  await MeshoptDecoder.ready;
  let failures = 0;
  for (let i = 0; i + 1 < files.length; i += 2) {
    const worst = {position: 0, uv: 0, normal: 0};
    const failure = comparePair(files[i], files[i + 1], worst);
    if (failure) failures++;
    console.log(`${files[i + 1]}: ${failure ? `FAIL: ${failure}` :
      `same as ${path.basename(files[i])} (largest errors: position ${worst.position.toPrecision(3)}, ` +
      `texture coordinate ${worst.uv.toPrecision(3)}, normal ${worst.normal.toFixed(3)} degrees)`}`);
  }
  console.log(`${files.length / 2} compressed files decoded, ${failures} failing`);
  process.exit(failures === 0 ? 0 : 1);
})().catch((e) => {
  console.log(`decoding failed: ${e.stack || e}`);
  process.exit(1);
});
