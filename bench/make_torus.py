#!/usr/bin/env python3
"""Writes a textured torus of U x V quads as a host document (OUT.mqo) and the
same mesh as Wavefront OBJ (OUT.obj with OUT.mtl), for the benchmarks; the
OBJ once more with the torus's unit normals (OUT-normals.obj), which carries
what a glTF file converted from the document carries; and beside them the
texture that all name (torus.png, a checker of 8 x 8 pixels), so that the
formats that store images find it.

Usage: make_torus.py [--mqo-only] U V OUT

OUT is the path without extension. With --mqo-only, only the document and
the texture are written. The torus has U segments around its axis
and V around its tube; vertices are shared between neighbouring quads, and
the texture coordinates run from 0 to 1 in both directions, so that the
first and the last column (and row) of quads meet at a seam where one vertex
carries two texture coordinates.
"""
import math
import os
import struct
import sys
import zlib

MAJOR = 300.0  # radius of the ring, in document units
MINOR = 100.0  # radius of the tube


def positions(u_count, v_count):
    for j in range(v_count):
        phi = 2.0 * math.pi * j / v_count
        ring = MAJOR + MINOR * math.cos(phi)
        z = MINOR * math.sin(phi)
        for i in range(u_count):
            theta = 2.0 * math.pi * i / u_count
            yield ring * math.cos(theta), z, ring * math.sin(theta)


def quads(u_count, v_count):
    """Corner vertices and texture-coordinate numbers of each quad, in the
    host's order (clockwise seen from outside)."""
    for j in range(v_count):
        j1 = (j + 1) % v_count
        for i in range(u_count):
            i1 = (i + 1) % u_count
            verts = (j * u_count + i, j1 * u_count + i, j1 * u_count + i1, j * u_count + i1)
            row = u_count + 1
            uvs = (j * row + i, (j + 1) * row + i, (j + 1) * row + i + 1, j * row + i + 1)
            yield verts, uvs


def write_mqo(path, u_count, v_count):
    row = u_count + 1
    us = [i / u_count for i in range(row)]
    vs = [1.0 - j / v_count for j in range(v_count + 1)]
    with open(path, "w", newline="\r\n") as out:
        out.write("Metasequoia Document\nFormat Text Ver 1.0\n\n")
        out.write("Material 1 {\n")
        out.write('\t"torus" shader(3) col(1.000 1.000 1.000 1.000) dif(0.800) amb(0.600) '
                  'emi(0.000) spc(0.000) power(5.00) tex("torus.png")\n')
        out.write("}\n")
        out.write('Object "torus" {\n\tvisible 15\n\tshading 1\n\tfacet 59.5\n')
        out.write("\tvertex %d {\n" % (u_count * v_count))
        out.writelines("\t\t%.4f %.4f %.4f\n" % p for p in positions(u_count, v_count))
        out.write("\t}\n")
        out.write("\tface %d {\n" % (u_count * v_count))
        lines = []
        for verts, uvs in quads(u_count, v_count):
            coords = []
            for t in uvs:
                coords.append("%.5f %.5f" % (us[t % row], vs[t // row]))
            lines.append("\t\t4 V(%d %d %d %d) M(0) UV(%s)\n" % (verts + (" ".join(coords),)))
            if len(lines) >= 65536:
                out.writelines(lines)
                lines.clear()
        out.writelines(lines)
        out.write("\t}\n}\nEof\n")


def normals(u_count, v_count):
    """The unit normal at each vertex, in the order of positions()."""
    for j in range(v_count):
        phi = 2.0 * math.pi * j / v_count
        for i in range(u_count):
            theta = 2.0 * math.pi * i / u_count
            yield math.cos(phi) * math.cos(theta), math.sin(phi), math.cos(phi) * math.sin(theta)


def write_obj(path, mtl_name, u_count, v_count, with_normals=False):
    row = u_count + 1
    with open(path, "w") as out:
        out.write("mtllib %s\n" % mtl_name)
        out.write("o torus\n")
        out.writelines("v %.4f %.4f %.4f\n" % p for p in positions(u_count, v_count))
        for j in range(v_count + 1):
            v = 1.0 - j / v_count
            # OBJ's v runs upward, the host's downward.
            out.writelines("vt %.5f %.5f\n" % (i / u_count, 1.0 - v) for i in range(row))
        if with_normals:
            out.writelines("vn %.6f %.6f %.6f\n" % n for n in normals(u_count, v_count))
        out.write("usemtl torus\n")
        lines = []
        corner = "%d/%d/%d" if with_normals else "%d/%d"
        face = "f " + " ".join([corner] * 4) + "\n"
        for verts, uvs in quads(u_count, v_count):
            # Counter-clockwise seen from outside, as OBJ faces the front.
            numbers = []
            for k in (3, 2, 1, 0):
                numbers += [verts[k] + 1, uvs[k] + 1] + ([verts[k] + 1] if with_normals else [])
            lines.append(face % tuple(numbers))
            if len(lines) >= 65536:
                out.writelines(lines)
                lines.clear()
        out.writelines(lines)


def write_mtl(path):
    with open(path, "w") as out:
        out.write("newmtl torus\nKa 0.25 0.25 0.25\nKd 1.0 1.0 1.0\nKs 0.0 0.0 0.0\nmap_Kd torus.png\n")


def write_png(path):
    size = 8
    rows = b"".join(b"\0" + b"".join(b"\xe0\xb0\x60" if (x + y) % 2 else b"\x60\x40\x20" for x in range(size))
                    for y in range(size))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
                  chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def main():
    args = sys.argv[1:]
    mqo_only = args[:1] == ["--mqo-only"]
    if mqo_only:
        args = args[1:]
    if len(args) != 3:
        sys.stderr.write("usage: make_torus.py [--mqo-only] U V OUT\n")
        return 2
    try:
        u_count, v_count = int(args[0]), int(args[1])
    except ValueError:
        u_count = v_count = 0
    if u_count < 3 or v_count < 3:
        sys.stderr.write("make_torus.py: U and V must be whole numbers of at least 3\n")
        return 2
    out = args[2]
    write_mqo(out + ".mqo", u_count, v_count)
    write_png(os.path.join(os.path.dirname(out), "torus.png"))
    if mqo_only:
        return 0
    mtl = out + ".mtl"
    mtl_name = mtl.replace("\\", "/").split("/")[-1]
    write_obj(out + ".obj", mtl_name, u_count, v_count)
    write_obj(out + "-normals.obj", mtl_name, u_count, v_count, with_normals=True)
    write_mtl(mtl)
    return 0


if __name__ == "__main__":
    sys.exit(main())
