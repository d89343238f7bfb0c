#!/usr/bin/env python3
"""Builds the four-language text table of the monitor (src/core/lanstr_table.cpp).

Run by hand, never at build time:

  lanstr_gen.py transcribe DOCUMENT.md   reads the entry list and the two signal-name
                                         tables out of the Markdown document that defines
                                         them and writes en.json, zh_given.json and
                                         signals.json beside this script, so that no
                                         given text is ever retyped
  lanstr_gen.py generate                 checks every input and writes the C++ table

Inputs beside this script (all keyed by entry number, texts as plain strings):
  en.json        English texts as given (transcribed, never edited by hand)
  zh_given.json  entries given only in Simplified Chinese (transcribed)
  signals.json   gInName / gOutName rows: Simplified Chinese, English, Traditional
                 Chinese (transcribed; the Japanese column repeats the English)
  fixes.json     corrections of given English texts, each with its reason
  zh.json, zh_TW.json, ja.json
                 the translations this project writes
"""

import json
import re
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
OUTPUT = ROOT / "src" / "core" / "lanstr_table.cpp"

ENTRY_COUNT = 2048
LANGS = ("zh", "en", "zh_TW", "ja")
# Japanese cells that stay empty although the entry has text in the other languages.
JA_EMPTY = {557, 621, 622, 623}
PLACEHOLDER = re.compile(r"%(\d)")

ENTRY_RE = re.compile(
    r'(\d+) (\(no English; Simplified Chinese\) )?"((?:[^"\\]|\\.)*)"\s*([;.])')
ESCAPES = {"n": "\n", "r": "\r", '"': '"', "\\": "\\"}


def unescape(text):
    return re.sub(r"\\(.)", lambda m: ESCAPES[m.group(1)], text)


def read_json(name):
    with open(HERE / name, encoding="utf-8") as f:
        return {int(k) if k.isdigit() else k: v for k, v in json.load(f).items()}


def write_json(name, data):
    with open(HERE / name, "w", encoding="utf-8") as f:
        json.dump({str(k): v for k, v in data.items()}, f, ensure_ascii=False, indent=1)
        f.write("\n")


# ---------------------------------------------------------------- transcription

def entry_block(lines):
    """The lines of the entry list: from the first line starting with '0 "' up to the
    first blank line after it."""
    start = next(i for i, l in enumerate(lines) if l.startswith('0 "'))
    end = next(i for i in range(start, len(lines)) if not lines[i].strip())
    return " ".join(l.strip() for l in lines[start:end])


def signal_table(lines, name):
    """Rows of the Markdown table that follows the line introducing `name`."""
    start = next(i for i, l in enumerate(lines) if l.startswith("`%s`" % name))
    rows = []
    for line in lines[start + 1:]:
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if not line.startswith("|"):
            if rows:
                break
            continue
        if not cells[0].isdigit():
            continue
        if int(cells[0]) != len(rows):
            sys.exit("%s: row %s out of order" % (name, cells[0]))
        texts = [c[1:-1] for c in cells[1:4]]
        if not all(c.startswith('"') and c.endswith('"') for c in cells[1:4]):
            sys.exit("%s: row %s is not three quoted texts" % (name, cells[0]))
        rows.append(texts)
    return rows


def transcribe(document):
    lines = Path(document).read_text(encoding="utf-8").splitlines()
    block = entry_block(lines)
    english, chinese = {}, {}
    pos = 0
    for m in ENTRY_RE.finditer(block):
        if block[pos:m.start()].strip():
            sys.exit("unparsed text before entry %s: %r" % (m.group(1), block[pos:m.start()]))
        pos = m.end()
        n = int(m.group(1))
        if n in english or n in chinese:
            sys.exit("entry %d given twice" % n)
        (chinese if m.group(2) else english)[n] = unescape(m.group(3))
    if block[pos:].strip():
        sys.exit("unparsed text at the end: %r" % block[pos:])
    if not block.rstrip().endswith("."):
        sys.exit("the entry list does not end with a full stop")
    write_json("en.json", dict(sorted(english.items())))
    write_json("zh_given.json", dict(sorted(chinese.items())))
    signals = {name: signal_table(lines, name) for name in ("gInName", "gOutName")}
    with open(HERE / "signals.json", "w", encoding="utf-8") as f:
        f.write("{\n" + ",\n".join(
            ' "%s": [\n' % name + ",\n".join(
                "  " + json.dumps(row, ensure_ascii=False) for row in rows) + "\n ]"
            for name, rows in signals.items()) + "\n}\n")
    print("%d English entries, %d Chinese-only entries, %d inputs, %d outputs" % (
        len(english), len(chinese), len(signals["gInName"]), len(signals["gOutName"])))


# ---------------------------------------------------------------- generation

def placeholders(text):
    return sorted(set(PLACEHOLDER.findall(text)))


def build_rows():
    english = read_json("en.json")
    given_zh = read_json("zh_given.json")
    fixes = read_json("fixes.json")
    columns = {lang: read_json(lang + ".json") for lang in ("zh", "zh_TW", "ja")}
    errors = []

    for n, fix in fixes.items():
        if n not in english:
            errors.append("fix of entry %d, which has no English text" % n)
        english[n] = fix["en"]
    defined = sorted(set(english) | set(given_zh))
    for lang, column in columns.items():
        for n in sorted(set(column) - set(defined)):
            errors.append("%s.json: entry %d is not a defined entry" % (lang, n))
    for n in sorted(set(given_zh) & set(columns["zh"])):
        errors.append("zh.json: entry %d is given in Chinese already" % n)

    rows = []
    for n in defined:
        cells = {
            "zh": given_zh.get(n, columns["zh"].get(n, "")),
            "en": english.get(n, ""),
            "zh_TW": columns["zh_TW"].get(n, ""),
            "ja": columns["ja"].get(n, ""),
        }
        source = cells["en"] or cells["zh"]
        for lang in LANGS:
            text = cells[lang]
            must_be_empty = (lang == "ja" and n in JA_EMPTY) or (lang == "en" and n in given_zh)
            if must_be_empty and text:
                errors.append("entry %d: the %s cell must stay empty" % (n, lang))
            if not must_be_empty and not text:
                errors.append("entry %d: no %s text" % (n, lang))
            if text and placeholders(text) != placeholders(source):
                errors.append("entry %d: %s placeholders %s differ from %s" % (
                    n, lang, placeholders(text), placeholders(source)))
        rows.append((n, [cells[lang] for lang in LANGS]))
    if errors:
        sys.exit("\n".join(errors))
    return rows


def c_literal(text):
    out = text.replace("\\", "\\\\").replace('"', '\\"')
    out = out.replace("\r", "\\r").replace("\n", "\\n").replace("\t", "\\t")
    # "??" would start a trigraph in older dialects; keep the literal unambiguous anyway.
    out = out.replace("??", '?""?')
    return '"%s"' % out


def generate():
    rows = build_rows()
    signals = json.loads((HERE / "signals.json").read_text(encoding="utf-8"))
    out = [
        "// Generated by tools/texts/lanstr_gen.py (do not edit): the rows of the four-language "
        "text table and the signal names.",
        '#include "globals.h"',
        '#include "lanstr.h"',
        "",
        "// Columns: Simplified Chinese, English, Traditional Chinese, Japanese.",
        "const LanRow kLanRows[] = {",
    ]
    for n, cells in rows:
        out.append("    {%d," % n)
        out.append("     {%s," % c_literal(cells[0]))
        out.append("      %s," % c_literal(cells[1]))
        out.append("      %s," % c_literal(cells[2]))
        out.append("      %s}}," % c_literal(cells[3]))
    out.append("};")
    out.append("const int kLanRowCount = int(sizeof(kLanRows) / sizeof(kLanRows[0]));")
    for name, table in signals.items():
        out.append("")
        out.append("const char* %s[%d][4] = {" % (name, len(table)))
        for zh, en, tw in table:
            out.append("    {%s, %s, %s, %s}," % (c_literal(zh), c_literal(en), c_literal(tw),
                                                  c_literal(en)))
        out.append("};")
    OUTPUT.write_text("\n".join(out) + "\n", encoding="utf-8")
    print("%d entries written to %s" % (len(rows), OUTPUT.relative_to(ROOT)))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "transcribe":
        transcribe(sys.argv[2])
    elif len(sys.argv) == 2 and sys.argv[1] == "generate":
        generate()
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
