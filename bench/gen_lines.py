#!/usr/bin/env python3
"""Writes two text files of generated lines for the benchmarks, the soak and the tests.

    gen_lines.py --lines N [--seed S] [--common F] [--each K] FILE1 FILE2

Each file gets exactly N lines, every one ended: FILE1 with LF, FILE2 with CRLF. The same
arguments give the same bytes on every run and every Python 3 (only random() is drawn, whose
sequence Python keeps for a given integer seed).

What the lines hold, per file:
  - about 2 % empty lines and 1 % of blanks only (one to four spaces), which a source skips;
  - about 0.5 % of tabs only or of tabs and blanks, which a source keeps (a tab is no blank);
  - every other line a text picked by number from sixteen forms: numbers, padded and hexadecimal
    numbers, mail addresses, long paths that share their first 40 bytes, words, text with a
    tab inside, leading or trailing blanks, a leading tab, and non-ASCII UTF-8 (Latin letters
    with marks, Cyrillic, CJK, an emoji). Different numbers give different texts;
  - about 0.5 % of the texts in capitals, so that lines differing only in case occur.
A share F of the texts (default 0.6) is drawn from numbers both files draw from, the rest from
numbers of each file's own. Each file walks the shared numbers in its own order, so about F of
each file's texts occur in the other; about 4 % of the texts repeat one drawn earlier in the
same file, so lines repeat within a file too.

--each K writes every line K times (K = 4 for the benchmarks' heavy repetition): the first
N/K lines as above, then the same lines again, until N lines are written.
"""

import argparse
import itertools
import random
import sys

FORMS = (
    lambda k: "%d" % k,
    lambda k: "first.last.%d@mail.example.org" % k,
    lambda k: "/srv/archive/projects/shared/documents/%03d/report-%d.txt" % (k % 997, k),
    lambda k: "Item %08d, aisle %d, shelf %d" % (k, k % 40, k % 7),
    lambda k: "Stra\u00dfe %d, 80331 M\u00fcnchen, Bayern" % k,
    lambda k: "checksum 0x%08x of block %d" % (k, k % 4096),
    lambda k: "na\u00efve caf\u00e9 #%d, cr\u00e8me br\u00fbl\u00e9e" % k,
    lambda k: "key %d\tvalue %d\tnote of the day" % (k, k % 1000),
    lambda k: "   leading blanks before entry %d of the list" % k,
    lambda k: "trailing blanks after entry %d of the list   " % k,
    lambda k: "\tafter a tab, entry number %d of the list" % k,
    lambda k: "\u0441\u0442\u0440\u043e\u043a\u0430 \u043d\u043e\u043c\u0435\u0440 %d" % k,
    lambda k: "\u6771\u4eac\u90fd\u5343\u4ee3\u7530\u533a\u4e38\u306e\u5185 %d" % k,
    lambda k: "apple \U0001f34e and pear \U0001f350 no. %d" % k,
    lambda k: "The quick brown fox %d jumps over the lazy dog" % k,
    lambda k: "2026-12-09;order %d;Jane Q. Public;EUR %d.%02d" % (k, k % 500, k % 100),
)
BLANKS = ("", " ", "  ", "   ", "    ")
TABS = ("\t", "\t\t", " \t ", "\t \t")
CHUNK = 65536


class Walk:
    """The shared numbers 0..size-1, visited in an order of the file's own: step coprime to size."""

    def __init__(self, size, rnd):
        self.size = max(1, size)
        step = 1 + int(rnd() * self.size)
        while _gcd(step, self.size) != 1:
            step += 1
        self.step = step
        self.at = int(rnd() * self.size)

    def next(self):
        self.at = (self.at + self.step) % self.size
        return self.at


def _gcd(a, b):
    while b:
        a, b = b, a % b
    return a


def lines_of_file(which, count, seed, common):
    """Yields the `count` line texts of file `which` (0 or 1), without their ends."""
    rnd = random.Random(seed * 2 + which).random
    # The texts of a file: about 96.5 % of its lines. Shared numbers are 0..shared-1, a file's
    # own numbers start past them, the second file's past the first's. Own numbers are drawn at
    # random from eight times as many as are drawn, so few of them come twice.
    texts = int(count * 0.965) + 1
    shared = int(texts * common)
    own = 8 * (texts - shared) + 1
    own_base = shared + which * own
    walk = Walk(shared, rnd)
    recent = []
    forms = FORMS
    nforms = len(forms)
    for _ in range(count):
        r = rnd()
        if r < 0.02:
            yield ""
            continue
        if r < 0.03:
            yield BLANKS[1 + int(rnd() * 4)]
            continue
        if r < 0.035:
            yield TABS[int(rnd() * len(TABS))]
            continue
        r = rnd()
        if r < 0.04 and recent:
            text = recent[int(rnd() * len(recent))]
        else:
            if r < 0.04 + 0.96 * common and shared:
                k = walk.next()
            else:
                k = own_base + int(rnd() * own)
            text = forms[k % nforms](k)
            if rnd() < 0.005:
                text = text.upper()
            if len(recent) < 4096:
                recent.append(text)
            else:
                recent[int(rnd() * 4096)] = text
        yield text


def write_file(path, which, lines, seed, common, each):
    end = "\n" if which == 0 else "\r\n"
    base = -(-lines // each)
    left = lines
    with open(path, "wb") as out:
        while left > 0:
            # Every pass walks the same lines again from the same seed.
            batch = []
            for text in itertools.islice(lines_of_file(which, base, seed, common), left):
                batch.append(text)
                if len(batch) == CHUNK:
                    out.write((end.join(batch) + end).encode("utf-8"))
                    batch.clear()
            if batch:
                out.write((end.join(batch) + end).encode("utf-8"))
            left -= min(base, left)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--lines", type=int, required=True, help="lines in each file")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--common", type=float, default=0.6, help="share of texts drawn from shared numbers (0..1)")
    p.add_argument("--each", type=int, default=1, help="write every line this many times")
    p.add_argument("file1")
    p.add_argument("file2")
    a = p.parse_args(argv)
    if a.lines < 0 or a.each < 1 or not 0.0 <= a.common <= 1.0 or a.seed < 0:
        p.error("--lines must be 0 or more, --each 1 or more, --common within 0..1, --seed 0 or more")
    try:
        write_file(a.file1, 0, a.lines, a.seed, a.common, a.each)
        write_file(a.file2, 1, a.lines, a.seed, a.common, a.each)
    except OSError as e:
        print("gen_lines.py: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
