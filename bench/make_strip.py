#!/usr/bin/env python3
"""Writes a host document of one long thin strip (OUT.mqo): an object with
one face of N + 2 corners, for the benchmarks of cutting such a polygon
after the document is read (`vellmar convert OUT.mqo out.glb` or out.dxf).

Usage: make_strip.py KIND N ORDER OUT

KIND is one of
  bowed   N corners on y = 4 i (N - 1 - i) / N^2 for x = i, at most one
          unit high, then (N - 1, 300) and (0, 300);
  turned  N corners on y = 0 for x = i, then the same two far corners, the
          whole turned by 0.3 radians about the origin.
ORDER is where the face starts and which way round it runs:
  run     from the run's first corner, in order;
  above   in order, from the corner above the run's first corner;
  rev     the other way round, from the corner above the run's first corner;
  revfar  the other way round, from the corner above the run's far end.
Coordinates are printed with nine significant digits. OUT is the path
without extension.
"""
import math
import sys


def corners(kind, n):
    pts = []
    for i in range(n):
        y = 4.0 * i * (n - 1 - i) / (n * n) if kind == "bowed" else 0.0
        pts.append((float(i), y))
    pts.append((float(n - 1), 300.0))
    pts.append((0.0, 300.0))
    if kind == "turned":
        c, s = math.cos(0.3), math.sin(0.3)
        pts = [(x * c - y * s, x * s + y * c) for x, y in pts]
    return pts


def order(name, count):
    idx = list(range(count))
    if name == "above":
        return idx[-1:] + idx[:-1]
    if name == "rev":
        return idx[::-1]
    if name == "revfar":
        idx = idx[::-1]
        return idx[1:] + idx[:1]
    return idx


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("bowed", "turned"):
        sys.exit(__doc__)
    kind, n, how, out = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    pts = corners(kind, n)
    idx = order(how, len(pts))
    with open(out + ".mqo", "w") as f:
        f.write("Metasequoia Document\nFormat Text Ver 1.0\n\n")
        f.write('Object "strip" {\n\tvertex %d {\n' % len(pts))
        for x, y in pts:
            f.write("\t\t%.9g %.9g 0\n" % (x, y))
        f.write("\t}\n\tface 1 {\n\t\t%d V(%s)\n\t}\n}\nEof\n" % (len(idx), " ".join(map(str, idx))))


if __name__ == "__main__":
    main()
