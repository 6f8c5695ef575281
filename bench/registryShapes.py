#!/usr/bin/env python3
"""Helpers of bench/registry.sh: builds store files of the shapes people and
programs write, and compares a store file before and after an install.

  registryShapes.py make SHAPE BASE OUT   BASE's keys, then the shape's keys
  registryShapes.py compare BEFORE AFTER  every key whose values did not change
                                          must keep its bytes; prints a summary

Shapes: sorted-12 (tree order, CR LF, parents not listed: the store of the
earlier bench), unsorted-12 / unsorted-lf-12 / unsorted-50 (the order a script or a
person writes, parents not listed, CR LF or LF), regedit-utf16-20 (as regedit
exports: UTF-16LE with its byte order mark, CR LF, every parent, long hex
values wrapped)."""
import random
import re
import sys

WORDS = "alpha beta gamma delta window toolbar recent file view colour layout".split()


def value_line(rng, n, hexes):
    name = "%s %s %06d" % (rng.choice(WORDS), rng.choice(WORDS), n)
    kind = n % 4
    if kind == 3:
        return '"%s"=dword:%08x' % (name, rng.getrandbits(32))
    text = "C:\\Users\\ann\\%s\\%s.dat" % (rng.choice(WORDS), "x" * rng.randint(6, 20))
    if hexes and n % 10 == 2:
        # regedit writes REG_EXPAND_SZ as UTF-16 bytes, 25 bytes to a line.
        data = ",".join("%02x" % b for b in (text + "\0").encode("utf-16-le"))
        head = '"%s"=hex(2):' % name
        parts, line = [], head
        for i, byte in enumerate(data.split(",")):
            piece = byte + ("," if i < len(data.split(",")) - 1 else "")
            if len(line) + len(piece) > 77:
                parts.append(line + "\\")
                line = "  "
            line += piece
        parts.append(line)
        return "\n".join(parts)
    return '"%s"="%s"' % (name, text.replace("\\", "\\\\"))


def make(shape, base, out):
    rng = random.Random(16)
    big = shape.endswith("-50")
    sections = []  # (key, [lines])
    n = 0
    if shape.startswith("sorted"):
        for vendor in range(200):
            for product in range(10):
                key = "Software\\Bench Vendor %03d\\Product %02d\\Settings" % (vendor, product)
                lines = []
                for _ in range(100):
                    lines.append(value_line(rng, n, False))
                    n += 1
                sections.append((key, lines))
    else:
        vendors = 830 if big else 120 if shape.startswith("regedit") else 200
        for vendor in range(vendors):
            for product in range(10):
                for group in range(10):
                    key = "Software\\Bench Vendor %03d\\Product %02d\\Group %02d" % (
                        vendor, product, group)
                    lines = []
                    for _ in range(10):
                        lines.append(value_line(rng, n, shape.startswith("regedit")))
                        n += 1
                    sections.append((key, lines))
        if shape.startswith("regedit"):
            # regedit lists every key, its parents first, in name order.
            have = {k.lower() for k, _ in sections}
            for k, _ in list(sections):
                parts = k.split("\\")
                for i in range(1, len(parts)):
                    p = "\\".join(parts[:i])
                    if p.lower() not in have:
                        have.add(p.lower())
                        sections.append((p, []))
            sections.sort(key=lambda s: s[0].lower().replace("\\", "\x01"))
        else:
            rng.shuffle(sections)
    eol = "\n" if "-lf" in shape else "\r\n"
    text = open(base, "rb").read().decode("utf-8-sig")
    text = text.replace("\r\n", "\n")
    if not text.endswith("\n\n"):
        text += "\n"
    body = [text]
    for key, lines in sections:
        body.append("[HKEY_CURRENT_USER\\%s]\n" % key)
        body.extend(line + "\n" for line in lines)
        body.append("\n")
    data = "".join(body).replace("\n", eol)
    if shape.startswith("regedit"):
        raw = b"\xff\xfe" + data.encode("utf-16-le")
    else:
        raw = data.encode("utf-8")
    open(out, "wb").write(raw)


def decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le", "surrogatepass")
    return raw.decode("utf-8", "surrogateescape")


def lower(text):
    """Names compare ignoring ASCII letter case only."""
    return text.translate(ASCII_LOWER)


ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")
KEY = re.compile(r"^\[([^\r\n]*)\][ \t]*\r?$", re.M)


def sections(text):
    """{lower-case key: raw text of its sections}."""
    out = {}
    heads = list(KEY.finditer(text))
    for i, m in enumerate(heads):
        end = heads[i + 1].start() if i + 1 < len(heads) else len(text)
        key = lower(m.group(1))
        out[key] = out.get(key, "") + text[m.start():end]
    return out


def values(raw):
    """{lower-case name: data} of a key's sections."""
    values = {}
    for section in KEY.split(raw)[2::2]:
        logical = re.sub(r"\\[ \t]*\r?\n[ \t]*", "", section)
        for line in logical.splitlines():
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("@"):
                name, data = "", line[1:].lstrip()[1:].lstrip()
            else:
                close = 1
                while True:
                    close = line.index('"', close)
                    run = len(line[:close]) - len(line[:close].rstrip("\\"))
                    if run % 2 == 0:
                        break
                    close += 1
                name = line[1:close].replace('\\"', '"').replace("\\\\", "\\")
                data = line[close + 1:].lstrip()[1:].lstrip()
            values[lower(name)] = data
    return values


def compare(before_path, after_path):
    before = sections(decode(open(before_path, "rb").read()))
    after = sections(decode(open(after_path, "rb").read()))
    same = changed = bad = 0
    for key, raw in before.items():
        if key not in after:
            print("key lost: " + key)
            bad += 1
            continue
        # A key at the end of the file may gain the line end it lacked.
        if after[key].rstrip("\r\n") == raw.rstrip("\r\n"):
            same += 1
            continue
        if values(after[key]) != values(raw):
            changed += 1
            continue
        if bad < 3:
            print("untouched key rewritten: " + key)
        bad += 1
    added = len(set(after) - set(before))
    print("%d untouched keys byte for byte, %d changed, %d new, %d differ" % (
        same, changed, added, bad))
    return 1 if bad else 0


if __name__ == "__main__":
    if len(sys.argv) < 4 or sys.argv[1] in ("-h", "--help"):
        print(__doc__)
        sys.exit(0 if sys.argv[1:2] in (["-h"], ["--help"]) else 64)
    if sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        sys.exit(compare(sys.argv[2], sys.argv[3]))
