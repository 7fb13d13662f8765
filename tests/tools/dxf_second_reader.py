#!/usr/bin/python3
"""LibreCAD (which no one here wrote) on the DXF files that convert writes:
every example, every real document, the documents of Shift-JIS and UTF-8
names that dxf_names.py makes (so both versions of the file, AC1009 and
AC1021), an empty document, and the expected files of the DXF writer's
tests, each as 3DFACE entities and as polyface meshes. LibreCAD prints each
file to PDF (`librecad dxf2pdf`, without a display); every file must give
its PDF, and one that holds 3DFACE entities must draw more lines than the
empty drawing does. LibreCAD reads polyface meshes but leaves them out of
its drawing (a file made of them alone prints as the empty drawing does),
so of those files it is asked only to read them.

Usage: dxf_second_reader.py TOOL EXAMPLES SAMPLES_OR_EMPTY DXF_DATA WORK
Exit status 0 when LibreCAD reads and draws every file, 1 otherwise, 77
(skipped, with the reason) without LibreCAD (Debian's librecad).
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from name_documents import made_documents  # noqa: E402


def lines_drawn(pdf):
    """The straight lines (PDF's 'l' operator) in the PDF's content streams."""
    with open(pdf, "rb") as f:
        data = f.read()
    count = 0
    for match in re.finditer(rb"stream\r?\n(.*?)\r?\nendstream", data, re.S):
        content = match.group(1)
        try:
            content = zlib.decompress(content)
        except zlib.error:
            pass
        count += len(re.findall(rb"(?:^|\s)[-\d.]+ [-\d.]+ l(?=\s)", content))
    return count


def has_3dfaces(dxf):
    with open(dxf, "rb") as f:
        return b"\n3DFACE" in f.read()


def main():
    tool, examples, samples, dxf_data, work = sys.argv[1:6]
    librecad = shutil.which("librecad")
    if not librecad:
        print("SKIPPED: LibreCAD is not installed (Debian's librecad; scripts/test.sh installs it as root)")
        return 77
    work = os.path.join(work, "dxf-second-reader")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    documents = sorted(glob.glob(os.path.join(examples, "*.mqo")))
    if samples and os.path.isdir(samples):
        documents += sorted(glob.glob(os.path.join(samples, "*.mqo")) + glob.glob(os.path.join(samples, "*.mqoz")))
    documents += made_documents(work)
    empty = os.path.join(work, "empty.mqo")
    with open(empty, "w") as f:
        f.write("Metasequoia Document\nFormat Text Ver 1.0\n\nEof\n")
    documents.append(empty)

    failures = []
    files = []
    for document in documents:
        stem = os.path.splitext(os.path.basename(document))[0]
        for fmt in ("dxf", "dxf-polyface"):
            output = os.path.join(work, f"{stem}.{fmt}.dxf")
            run = subprocess.run([tool, "convert", "-q", document, output, "--format", fmt],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if run.returncode != 0:
                failures.append(f"convert {document} --format {fmt}: {run.stderr.decode(errors='replace')}")
            else:
                files.append(output)
    for expected in sorted(glob.glob(os.path.join(dxf_data, "*.dxf"))):
        files.append(shutil.copy(expected, os.path.join(work, "expected_" + os.path.basename(expected))))

    versions = set()
    for dxf in files:
        with open(dxf, "rb") as f:
            versions.update(re.findall(rb"\$ACADVER\r?\n\s*1\r?\n(AC\d+)", f.read()))
    if versions != {b"AC1009", b"AC1021"}:
        failures.append(f"the files are of versions {sorted(versions)}, not of both AC1009 and AC1021")

    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=work)
    run = subprocess.run([librecad, "dxf2pdf", "-a", "-t", work] + files, env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600)
    empty_lines = None
    for dxf in files:
        if os.path.basename(dxf).startswith("empty."):
            pdf = os.path.splitext(dxf)[0] + ".pdf"
            empty_lines = lines_drawn(pdf) if os.path.exists(pdf) else None
    if empty_lines is None:
        failures.append("LibreCAD printed no PDF of the empty drawing: " + run.stdout.decode(errors="replace")[-500:])
        empty_lines = 0
    for dxf in files:
        pdf = os.path.splitext(dxf)[0] + ".pdf"
        if not os.path.exists(pdf):
            failures.append(f"{dxf}: LibreCAD printed no PDF")
        elif has_3dfaces(dxf) and lines_drawn(pdf) <= empty_lines:
            failures.append(f"{dxf}: LibreCAD drew nothing of its faces")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(files)} DXF files, versions {sorted(v.decode() for v in versions)}: "
          f"{'all read and drawn by LibreCAD' if not failures else str(len(failures)) + ' failures'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
