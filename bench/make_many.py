#!/usr/bin/env python3
"""Writes a host document of many small records (OUT.mqo), for the
benchmarks of documents that are wide rather than deep.

Usage: make_many.py KIND COUNT OUT

KIND is one of
  objects    COUNT objects of one triangle each, all of one material;
  materials  one object of COUNT triangles, each of a material of its own;
  both       COUNT objects of one triangle each, each of a material of its
             own (a DirectX file repeats every material in every mesh, so
             its size grows with COUNT squared).
OUT is the path without extension.
"""
import sys

HEAD = "Metasequoia Document\nFormat Text Ver 1.0\n\n"


def materials(f, count):
    f.write("Material %d {\n" % count)
    for i in range(count):
        f.write('\t"m%d" col(1.000 0.500 0.500 1.000)\n' % i)
    f.write("}\n")


def triangle_object(f, name, x, material):
    f.write('Object "%s" {\n\tvertex 3 {\n' % name)
    f.write("\t\t%d.0000 0.0000 0.0000\n\t\t%d.0000 0.0000 0.0000\n\t\t%d.0000 1.0000 0.0000\n\t}\n" % (x, x + 1, x))
    f.write("\tface 1 {\n\t\t3 V(0 1 2) M(%d)\n\t}\n}\n" % material)


def main(argv):
    if len(argv) != 4 or argv[1] not in ("objects", "materials", "both"):
        sys.stderr.write(__doc__)
        return 2
    kind, count, out = argv[1], int(argv[2]), argv[3]
    with open(out + ".mqo", "w", newline="\n") as f:
        f.write(HEAD)
        materials(f, 1 if kind == "objects" else count)
        if kind == "materials":
            f.write('Object "o" {\n\tvertex 3 {\n')
            f.write("\t\t0.0000 0.0000 0.0000\n\t\t1.0000 0.0000 0.0000\n\t\t0.0000 1.0000 0.0000\n\t}\n")
            f.write("\tface %d {\n" % count)
            for i in range(count):
                f.write("\t\t3 V(0 1 2) M(%d)\n" % i)
            f.write("\t}\n}\n")
        else:
            for i in range(count):
                triangle_object(f, "o%d" % i, i, 0 if kind == "objects" else i)
        f.write("Eof\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
