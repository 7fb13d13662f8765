"""Documents of names that the examples and samples lack, for the tests of
the DXF files' layer names and of their readers."""
import os


def made_documents(work):
    """Documents of names that the examples and samples lack: Shift-JIS with
    a 0x5C second byte and breaking characters, UTF-8 that Shift-JIS holds,
    UTF-8 that it does not."""
    def document(code_page, materials, objects):
        lines = ["Metasequoia Document", "Format Text Ver 1.1"]
        if code_page:
            lines.append(f"CodePage {code_page}")
        lines += ["", f"Material {len(materials)} {{"]
        lines += [f'\t"{m}" col(1.000 1.000 1.000 1.000)' for m in materials]
        lines.append("}")
        for k, name in enumerate(objects):
            lines += [f'Object "{name}" {{', "\tvertex 3 {", "\t\t0 0 0", "\t\t100 0 0", "\t\t0 100 0", "\t}",
                      "\tface 1 {", f"\t\t3 V(0 1 2) M({k % len(materials)})", "\t}", "}"]
        lines += ["Eof", ""]
        return "\r\n".join(lines)

    made = {
        "sjis_names.mqo": ("cp932", document(None, ["表示", "ソ|フト"], ["能力", "予定:案"])),
        "utf8_japanese.mqo": ("utf-8", document("utf8", ["でかいほう", "≒"], ["右手", "Ⅰ表"])),
        "utf8_hangul.mqo": ("utf-8", document("utf8", ["한국어", "でかい"], ["😀 smile", "¥"])),
    }
    paths = []
    for name, (codec, text) in made.items():
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(text.encode(codec))
        paths.append(path)
    return paths
