#!/usr/bin/env python3
"""The compare of two files as sets of lines, written plainly, to hold the program against.

    reference_compare.py [--label1 L] [--label2 L] FILE1 FILE2 OUT

Writes to OUT the combined list as the Text type saves it: a row per line, its text, a tab,
its source and LF. The rows are "Similarity", the first file's lines that the second file also
has (repeats kept, in byte order), an empty row, "Difference", then the lines of either file that
the other lacks, ordered by source and then text, each with its source: the file's name as
given, or --label1 / --label2. A source holding a tab, CR or LF, or starting with a quote, is
written in quotes with C's escapes (\\t \\n \\r \\\\ \\"). When neither file keeps a line, OUT is
empty.

A file is text in one of these forms; anything else exits with 3, as outside what this covers:
  - UTF-8 without a byte-order mark, well-formed throughout and without NUL bytes (the program
    would guess at other bytes, or take NULs at alternate places for UTF-16);
  - UTF-8 after its mark, where ill-formed bytes show as U+FFFD, one per maximal subpart;
  - UTF-16 LE or BE after its mark; UTF-32 BE after its mark; FF FE 00 00 starts UTF-32 LE
    when every whole unit that follows is a scalar value outside planes 4 to 13, else UTF-16
    LE. Unpaired surrogates, a cut unit and values that are no characters show as U+FFFD.
Bytes that show as U+FFFD still count as the bytes they are: two lines whose bytes differ are
never the same line, and such a line sorts as the program keeps it, each of its bytes as 0xFF
(0xFE for the bytes after the first of one U+FFFD) and two hex digits.
Lines end at LF, CRLF or a lone CR; a line that is empty or holds only blanks (code 32) is
skipped; every other line counts as it is, blanks, tabs and case included.
Exit status: 0 done, 1 a file could not be read or written, 2 wrong arguments, 3 not covered.
"""

import argparse
import codecs
import os
import re
import sys

NOT_COVERED = 3


class NotCovered(Exception):
    pass


# A byte that is no character stands in a decoded text as a lone surrogate, which no decoding of
# well-formed text gives: U+D800 + the byte for the first byte of what shows as one U+FFFD,
# U+DC00 + the byte for each byte after it.
def unread(data):
    return "".join(chr((0xD800 if i == 0 else 0xDC00) + b) for i, b in enumerate(data))


def keep_unread(error):
    return unread(error.object[error.start:error.end]), error.end


codecs.register_error("keep-unread", keep_unread)
UNREAD = re.compile("[\ud800-\udfff]")
UNREAD_RUN = re.compile("[\ud800-\ud8ff][\udc00-\udcff]*")


def utf32_units(data, big_endian):
    """The code points of whole 4-byte units; a value that is no scalar value, and a cut unit,
    kept as unread bytes."""
    order = "big" if big_endian else "little"
    out = []
    for i in range(0, len(data) - len(data) % 4, 4):
        cp = int.from_bytes(data[i:i + 4], order)
        out.append(chr(cp) if cp <= 0x10FFFF and not 0xD800 <= cp <= 0xDFFF else unread(data[i:i + 4]))
    if len(data) % 4:
        out.append(unread(data[len(data) - len(data) % 4:]))
    return "".join(out)


def utf16(data, codec):
    """Whole units decoded, then the odd byte at the end kept apart (Python would otherwise
    fold it into a surrogate cut off before it)."""
    odd = len(data) % 2
    return data[:len(data) - odd].decode(codec, "keep-unread") + unread(data[len(data) - odd:])


def sort_key(line):
    """The line's bytes as the program keeps them."""
    out = []
    at = 0
    for m in UNREAD.finditer(line):
        out.append(line[at:m.start()].encode("utf-8"))
        c = ord(m.group())
        out.append((b"\xff" if c < 0xDC00 else b"\xfe") + b"%02X" % (c & 0xFF))
        at = m.end()
    out.append(line[at:].encode("utf-8"))
    return b"".join(out)


def shown(line):
    """The line as it shows and is saved: each run of unread bytes as one U+FFFD."""
    return UNREAD_RUN.sub("\ufffd", line).encode("utf-8")


def plausible_utf32le(data):
    """Whole units all scalar values outside planes 4 to 13; a cut unit at the end may follow."""
    for i in range(0, len(data) - len(data) % 4, 4):
        cp = int.from_bytes(data[i:i + 4], "little")
        if cp > 0x10FFFF or 0xD800 <= cp <= 0xDFFF or 0x40000 <= cp <= 0xDFFFF:
            return False
    return True


def text_of(raw):
    """The file's text, its mark left out, bytes that are no character kept as unread."""
    if raw.startswith(b"\xef\xbb\xbf"):
        return raw[3:].decode("utf-8", "keep-unread")
    if raw.startswith(b"\xff\xfe\x00\x00") and plausible_utf32le(raw[4:]):
        return utf32_units(raw[4:], False)
    if raw.startswith(b"\x00\x00\xfe\xff"):
        return utf32_units(raw[4:], True)
    if raw.startswith(b"\xff\xfe"):
        return utf16(raw[2:], "utf-16-le")
    if raw.startswith(b"\xfe\xff"):
        return utf16(raw[2:], "utf-16-be")
    if b"\x00" in raw:
        raise NotCovered("NUL bytes without a byte-order mark")
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError as e:
        raise NotCovered("not UTF-8 at byte %d" % e.start)


LINE_END = re.compile("\r\n|\r|\n")


def kept_lines(path):
    with open(path, "rb") as f:
        raw = f.read()
    return [line for line in LINE_END.split(text_of(raw)) if line.strip(" ")]


def source_field(label):
    if not re.search(rb"[\t\r\n]", label) and not label.startswith(b'"'):
        return label
    escaped = label.replace(b"\\", b"\\\\").replace(b'"', b'\\"')
    escaped = escaped.replace(b"\t", b"\\t").replace(b"\n", b"\\n").replace(b"\r", b"\\r")
    return b'"' + escaped + b'"'


def combined(lines1, lines2, label1, label2):
    if not lines1 and not lines2:
        return b""
    keys1, keys2 = [sort_key(line) for line in lines1], [sort_key(line) for line in lines2]
    in1, in2 = set(keys1), set(keys2)
    similar = sorted((key, line) for key, line in zip(keys1, lines1) if key in in2)
    different = [(label1, key, line) for key, line in zip(keys1, lines1) if key not in in2]
    different += [(label2, key, line) for key, line in zip(keys2, lines2) if key not in in1]
    different.sort()
    rows = [b"Similarity\t\n"]
    rows += [shown(line) + b"\t\n" for _, line in similar]
    rows += [b"\t\n", b"Difference\t\n"]
    fields = {label1: source_field(label1), label2: source_field(label2)}
    rows += [shown(line) + b"\t" + fields[label] + b"\n" for label, _, line in different]
    return b"".join(rows)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--label1", help="the first file's source (default: FILE1 as given)")
    p.add_argument("--label2", help="the second file's source (default: FILE2 as given)")
    p.add_argument("file1")
    p.add_argument("file2")
    p.add_argument("out")
    a = p.parse_args(argv)
    label1 = os.fsencode(a.file1 if a.label1 is None else a.label1)
    label2 = os.fsencode(a.file2 if a.label2 is None else a.label2)
    try:
        lines1 = kept_lines(a.file1)
        lines2 = kept_lines(a.file2)
        result = combined(lines1, lines2, label1, label2)
        with open(a.out, "wb") as out:
            out.write(result)
    except NotCovered as e:
        print("reference_compare.py: not covered: %s" % e, file=sys.stderr)
        return NOT_COVERED
    except OSError as e:
        print("reference_compare.py: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
