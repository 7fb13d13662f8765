#!/usr/bin/python3
"""ezdxf (which no one here wrote) on the DXF files that convert writes: the
layer of every 3DFACE and of every polyface mesh reads back as the Unicode
text of the document's material or object name (with the characters that
layer names may not hold as '_'), for every example, every real document,
and documents of Shift-JIS and UTF-8 names made here, one of them with
names that Shift-JIS cannot hold.

The document's names are read from the .mqo text itself and decoded with
Python's own codecs, as the document's CodePage line says (Shift-JIS when
it names none).

Usage: dxf_names.py TOOL EXAMPLES SAMPLES_OR_EMPTY WORK
Exit status 0 when every name reads back, 1 otherwise, 77 (skipped, with
the reason) without ezdxf.
"""
import glob
import os
import re
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from name_documents import made_documents  # noqa: E402

try:
    import ezdxf
except ImportError as e:
    print(f"SKIPPED: ezdxf cannot be imported ({e}); it is Debian's python3-ezdxf")
    sys.exit(77)

BREAKS_LAYER = set('<>/\\":;?*|=`')


def layer_name(name):
    return "".join("_" if c in BREAKS_LAYER or ord(c) < 0x20 or ord(c) == 0x7F else c for c in name)


def document_text(path):
    if path.lower().endswith(".mqoz"):
        with zipfile.ZipFile(path) as archive:
            entry = next(n for n in archive.namelist() if n.lower().endswith(".mqo"))
            return archive.read(entry)
    with open(path, "rb") as f:
        return f.read()


def document_names(path):
    """The material names, and per object its name and the materials of its
    faces of three or more corners (None for a face without material)."""
    text = document_text(path)
    codec = "utf-8" if re.search(rb"^CodePage utf8\s*$", text, re.M) else "cp932"
    lines = text.replace(b"\r\n", b"\n").split(b"\n")
    materials, objects = [], []
    chunks = []  # the keywords of the chunks the line is in
    for line in lines:
        stripped = line.strip()
        if stripped == b"}":
            if chunks:
                chunks.pop()
            continue
        if chunks == [b"Material"]:
            m = re.match(rb'^"([^"]*)"', stripped)
            if m:
                materials.append(m.group(1).decode(codec))
        elif len(chunks) == 2 and chunks[0] == b"Object" and chunks[1] == b"face":
            m = re.match(rb"^(\d+) V\(", stripped)
            if m and int(m.group(1)) >= 3:
                mat = re.search(rb" M\((-?\d+)\)", stripped)
                objects[-1][1].append(int(mat.group(1)) if mat else None)
        if stripped.endswith(b"{"):
            keyword = stripped.split(b" ")[0]
            if not chunks and keyword == b"Object":
                objects.append((re.match(rb'^Object "(.*)" \{$', stripped).group(1).decode(codec), []))
            chunks.append(keyword)
    return materials, objects


def expected_face_layers(materials, objects):
    """The layer of each material used by a face: a face without material
    is on material 0, or on NoMaterial when the document has none."""
    layers = set()
    for _, faces in objects:
        for m in faces:
            if not materials:
                layers.add("NoMaterial")
            elif m is None or m == -1:
                layers.add(layer_name(materials[0]))
            elif 0 <= m < len(materials):
                layers.add(layer_name(materials[m]))
            else:
                layers.add(str(m))
    return layers


def convert(tool, document, output, fmt):
    run = subprocess.run([tool, "convert", "-q", document, output, "--format", fmt],
                         stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if run.returncode != 0:
        raise RuntimeError(f"convert {document} --format {fmt}: {run.stderr.decode(errors='replace')}")


def check(tool, document, work, failures):
    materials, objects = document_names(document)
    stem = os.path.splitext(os.path.basename(document))[0]
    faces_file = os.path.join(work, stem + ".faces.dxf")
    poly_file = os.path.join(work, stem + ".polyface.dxf")
    convert(tool, document, faces_file, "dxf")
    convert(tool, document, poly_file, "dxf-polyface")

    faces = ezdxf.readfile(faces_file)
    got = {e.dxf.layer for e in faces.modelspace() if e.dxftype() == "3DFACE"}
    want = expected_face_layers(materials, objects)
    if got != want:
        failures.append(f"{document} as dxf ({faces.dxfversion}): face layers {sorted(got)}, "
                        f"expected {sorted(want)}")

    poly = ezdxf.readfile(poly_file)
    got_meshes = [e.dxf.layer for e in poly.modelspace() if e.dxftype() == "POLYLINE"]
    want_meshes = [layer_name(name) for name, _ in objects]
    if got_meshes != want_meshes:
        failures.append(f"{document} as dxf-polyface ({poly.dxfversion}): mesh layers {got_meshes}, "
                        f"expected {want_meshes}")
    return faces.dxfversion, poly.dxfversion


def main():
    tool, examples, samples, work = sys.argv[1:5]
    work = os.path.join(work, "dxf-names")
    os.makedirs(work, exist_ok=True)
    documents = sorted(glob.glob(os.path.join(examples, "*.mqo")))
    if samples and os.path.isdir(samples):
        documents += sorted(glob.glob(os.path.join(samples, "*.mqo")) + glob.glob(os.path.join(samples, "*.mqoz")))
    else:
        print("no samples folder: examples and made documents only")
    made = made_documents(work)
    failures = []
    versions = {}
    for document in documents + made:
        try:
            versions[document] = check(tool, document, work, failures)
        except Exception as e:  # a file that ezdxf cannot read at all
            failures.append(f"{document}: {type(e).__name__}: {e}")
    # Names that Shift-JIS cannot hold take the UTF-8 version; all others
    # the Shift-JIS one.
    for document, (faces_version, poly_version) in versions.items():
        want = "AC1021" if document.endswith("utf8_hangul.mqo") else "AC1009"
        if faces_version != want or poly_version != want:
            failures.append(f"{document}: versions {faces_version}, {poly_version}, expected {want}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(versions)} documents, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
