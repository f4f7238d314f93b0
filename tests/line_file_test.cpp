// The line-mode reader: where lines end, which lines are kept, and how bytes become text.

#include "compare/engine/compare_engine.h"
#include "compare/import/source_load.h"
#include "compare/output/table_writers.h"
#include "runtime/core/line_file.h"
#include "runtime/core/utf8.h"
#include "support/source_files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using lines = std::vector<std::string>;

struct read_outcome {
    bool ok = false;
    std::string error;
    std::string charset;
    lines kept;
};

read_outcome read_lines(const std::string& path, std::size_t batch = 1000)
{
    read_outcome r;
    core::line_file file;
    if (const core::result opened = file.open(path); !opened) {
        r.error = opened.reason();
        return r;
    }
    core::file_text text;
    const core::result read = file.read_text(text);
    r.ok = read.ok();
    r.error = read.reason();
    r.charset = text.charset;
    core::kept_lines cut(text.block->data(), text.begin, text.end);
    core::span_vector spans;
    while (cut.next(spans, batch)) {
        for (const core::line_span& s : spans)
            r.kept.emplace_back(text.block->data() + s.offset, s.size);
    }
    return r;
}

// The plain reading of the rules, to hold the fast splitter against.
lines reference_lines(const std::string& text)
{
    lines out;
    std::string line;
    auto finish = [&] {
        if (line.find_first_not_of(' ') != std::string::npos)
            out.push_back(line);
        line.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            finish();
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            finish();
        } else {
            line += text[i];
        }
    }
    if (!line.empty())
        finish();
    return out;
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<int>(s.size()));
}

int failing_reads = 0;

// Hands out the file ten bytes at a time, then fails.
ssize_t read_then_fail(int fd, void* buffer, std::size_t count)
{
    if (failing_reads-- <= 0) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count < 10 ? count : 10);
}

std::string changing_path;
long change_by = 0; // bytes to append (positive) or cut (negative) before the first read

// Makes the file grow or shrink after it was opened and measured, before it is read.
ssize_t read_changing_file(int fd, void* buffer, std::size_t count)
{
    if (change_by != 0) {
        QFile f(QString::fromStdString(changing_path));
        if (change_by > 0 && f.open(QIODevice::Append)) {
            for (long i = 0; i < change_by / 8; ++i)
                f.write("grown 7\n");
        } else if (change_by < 0) {
            f.resize(f.size() + change_by);
        }
        change_by = 0;
    }
    return ::read(fd, buffer, count);
}

} // namespace

Q_DECLARE_METATYPE(lines)

class line_file_test : public QObject {
    Q_OBJECT

private slots:
    void lines_and_terminators_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<lines>("expected");
        QTest::newRow("LF") << QByteArray("b\na\n") << lines {"b", "a"};
        QTest::newRow("CRLF") << QByteArray("b\r\na\r\n") << lines {"b", "a"};
        QTest::newRow("lone CR") << QByteArray("b\ra\r") << lines {"b", "a"};
        QTest::newRow("mixed") << QByteArray("1\r\n2\n3\r4\n\r5") << lines {"1", "2", "3", "4", "5"};
        QTest::newRow("LF CR is two terminators") << QByteArray("x\n\ry\n") << lines {"x", "y"};
        QTest::newRow("no terminator at the end") << QByteArray("a\nlast") << lines {"a", "last"};
        QTest::newRow("CR at the very end") << QByteArray("a\r") << lines {"a"};
        QTest::newRow("the five-line file") << QByteArray("b\n\na\n   \na\n") << lines {"b", "a", "a"};
        QTest::newRow("blanks around text stay") << QByteArray("  x  \n") << lines {"  x  "};
        QTest::newRow("tabs are not blanks") << QByteArray("\t\t\n \t \n") << lines {"\t\t", " \t "};
        QTest::newRow("NUL belongs to its line")
            << QByteArray("a\0b\n\0\n", 6) << lines {std::string("a\0b", 3), std::string(1, '\0')};
        QTest::newRow("other controls do not end lines")
            << QByteArray("a\fb\vc\n\xC2\x85|\xE2\x80\xA8|\n") << lines {"a\fb\vc", "\xC2\x85|\xE2\x80\xA8|"};
        QTest::newRow("only blank lines") << QByteArray(" \n\n  \r\n") << lines {};
        QTest::newRow("empty file") << QByteArray() << lines {};
    }

    void lines_and_terminators()
    {
        QFETCH(QByteArray, file);
        QFETCH(lines, expected);
        QTemporaryDir dir;
        const read_outcome r = read_lines(testing::write_source(dir, QStringLiteral("f.txt"), file));
        QVERIFY(r.ok);
        QCOMPARE(r.kept, expected);
        // A CRLF or a block of 64 bytes cut by the end of a batch must not change the lines.
        QCOMPARE(read_lines(testing::write_source(dir, QStringLiteral("f.txt"), file), 1).kept, expected);
    }

    void random_text_splits_like_the_rules()
    {
        std::mt19937 rng(7);
        const std::string alphabet = std::string("ab \t\0\xC3\xA9", 7);
        const char* terminators[] = {"\n", "\r\n", "\r", "\n\n", "\r\r\n"};
        QTemporaryDir dir;
        for (int round = 0; round < 40; ++round) {
            std::string text;
            const int count = std::uniform_int_distribution<int>(0, 300)(rng);
            for (int l = 0; l < count; ++l) {
                // Lengths around and beyond one 64-byte block.
                const int len = std::uniform_int_distribution<int>(0, 150)(rng);
                for (int k = 0; k < len; ++k) {
                    // The two bytes of é go together, so the text stays UTF-8.
                    const std::size_t c = std::uniform_int_distribution<std::size_t>(0, 5)(rng);
                    text += c == 5 ? alphabet.substr(5, 2) : alphabet.substr(c, 1);
                }
                if (l + 1 < count || rng() % 2)
                    text += terminators[rng() % 5];
            }
            const std::string path = testing::write_source(dir, QStringLiteral("r.txt"), bytes(text));
            const lines expected = reference_lines(text);
            for (std::size_t batch : {std::size_t(1), std::size_t(3), std::size_t(100000)}) {
                const read_outcome r = read_lines(path, batch);
                QVERIFY(r.ok);
                QCOMPARE(r.charset, std::string("UTF-8"));
                QCOMPARE(r.kept, expected);
            }
        }
    }

    // A text cut in two after any line end gives the lines of the whole, each part on its own.
    void a_text_cut_after_a_line_end_gives_the_same_lines()
    {
        const std::string text = std::string("a\r\nb\rc\n\r\n  \n\rd\r\r\n e\n\xC3\xA9\r") + "f";
        const lines whole = reference_lines(text);
        for (std::size_t from = 0; from <= text.size(); ++from) {
            const std::size_t cut = core::past_line_end(text.data(), from, text.size());
            QVERIFY(cut >= from && cut <= text.size());
            // The cut lies just past a terminator, never between the CR and LF of one.
            QVERIFY(cut == text.size() || text[cut - 1] == '\n' || (text[cut - 1] == '\r' && text[cut] != '\n'));
            lines parts;
            for (auto [b, e] : {std::pair(std::size_t(0), cut), std::pair(cut, text.size())}) {
                core::kept_lines cutter(text.data(), b, e);
                core::span_vector spans;
                while (cutter.next(spans, 2))
                    for (const core::line_span& l : spans)
                        parts.emplace_back(text.data() + l.offset, l.size);
            }
            QCOMPARE(parts, whole);
        }
    }

    // Long texts are checked 32 bytes at a time: each kind of sequence, well-formed or not, is
    // judged as it is byte by byte wherever it falls across those blocks, and at the very end.
    void utf8_check_judges_each_sequence_anywhere()
    {
        const std::pair<std::string, long> sequences[] = {{"\xC2\x80", -1}, {"\xDF\xBF", -1}, {"\xE0\xA0\x80", -1},
            {"\xED\x9F\xBF", -1}, {"\xEE\x80\x80", -1}, {"\xF0\x90\x80\x80", -1}, {"\xF4\x8F\xBF\xBF", -1},
            {"\xC0\xAF", 0}, {"\xC1\xBF", 0}, {"\xE0\x9F\xBF", 0}, {"\xED\xA0\x80", 0}, {"\xF0\x8F\xBF\xBF", 0},
            {"\xF4\x90\x80\x80", 0}, {"\xF5\x80\x80\x80", 0}, {"\xFF", 0}, {"\x80", 0}, {"\xC3\xA9\xA9", 2},
            {"\xC3"
             "a",
                0},
            {"\xE2\x82"
             "a",
                0},
            {"\xF0\x9F\x98"
             "a",
                0},
            {"\xE2\x82\xAC\x80", 3}};
        for (const auto& [sequence, fault] : sequences)
            for (std::size_t at = 0; at < 72; ++at)
                for (const std::size_t after : {std::size_t(0), std::size_t(90)}) {
                    const std::string text = std::string(at + 64, 'a') + sequence + std::string(after, 'b');
                    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
                    const std::size_t want = fault < 0 ? text.size() : at + 64 + std::size_t(fault);
                    QCOMPARE(core::utf8_valid_until(s, 64, text.size()), want);
                }
        // A cut-off character at the end of a long text.
        const std::string cut = std::string(100, 'a') + "\xF0\x9F\x98";
        QCOMPARE(core::utf8_valid_until(reinterpret_cast<const unsigned char*>(cut.data()), 0, cut.size()),
            std::size_t(100));
    }

    // Texts of several megabytes are checked and cut into lines in two halves at once: where the
    // halves meet (a CRLF, a two-byte character) must not show in the rows, and a byte that is
    // not UTF-8 is found in either half.
    void big_texts_load_as_small_ones()
    {
        std::string half;
        const char* terminators[] = {"\n", "\r\n", "\r"};
        for (int i = 0; half.size() < (3u << 20); ++i)
            half += "row " + std::to_string(i % 50000) + (i % 7 ? "" : " \xC3\xA9") + terminators[i % 3];
        QTemporaryDir dir;
        for (const std::string& at_middle : {std::string("\r\ny"), std::string("\xC3\xA9\xC3\xA9")}) {
            // Both halvings take the middle of the whole: the byte after at_middle's first, the
            // LF of a CRLF or the second byte of a character.
            const std::size_t pad = at_middle.size() - 2;
            const std::string text = std::string(pad, 'p') + half + at_middle + half;
            QCOMPARE(text.size() / 2, pad + half.size() + 1);
            const std::string path = testing::write_source(dir, QStringLiteral("big.txt"), bytes(text));
            core::line_table t;
            QVERIFY(core::load_source(path, t).ok());
            lines want = reference_lines(text);
            std::stable_sort(want.begin(), want.end());
            QCOMPARE(t.rowcount(), long(want.size()));
            bool same = true;
            for (long r = 1; r <= t.rowcount() && same; ++r)
                same = t.get(core::column::es_text, r) == want[std::size_t(r - 1)];
            QVERIFY2(same, at_middle.c_str());
        }
        for (const std::size_t at : {std::size_t(100), 2 * half.size() - 100}) {
            std::string text = half + half;
            text[at] = '\xFF';
            const auto raw = core::make_block(text);
            const core::file_text decoded = core::decode_text(raw);
            // Well-formed UTF-8 would have been used as it was read.
            QVERIFY(decoded.block != raw);
            QVERIFY(core::shown(std::string_view(decoded.block->data(), decoded.block->size())).find('\xFF')
                == std::string::npos);
        }
    }

    // A load sorts the lines as they come in; the pane must hold what reading them in file
    // order and then sorting gives, equal lines in file order, whatever the size of the text.
    void loading_sorted_equals_reading_then_sorting()
    {
        std::mt19937 rng(7);
        auto line = [&](int i) {
            std::string l;
            switch (rng() % 6) {
            case 0: // shares more than the cached bytes with many others
                l = "2024-05-17 12:00:0" + std::to_string(rng() % 10) + " event " + std::to_string(rng() % 40);
                break;
            case 1: // differs only far beyond the cached bytes
                l = std::string(300, 'z') + std::to_string(rng() % 5);
                break;
            case 2: // a beginning of others
                l = std::string("ab", 1 + rng() % 2);
                break;
            case 3:
                l = "\xC3\xA9t\xC3\xA9 " + std::to_string(i);
                break;
            case 4:
                l = "  ";
                break;
            default:
                l = std::to_string(rng() % 1000);
            }
            return l + (i % 3 ? "\n" : "\r\n");
        };
        QTemporaryDir dir;
        for (const std::size_t size : {std::size_t(3000), std::size_t(400000), std::size_t(5) << 20}) {
            std::string text;
            for (int i = 0; text.size() < size; ++i)
                text += line(i);
            const std::string path = testing::write_source(dir, QStringLiteral("s.txt"), bytes(text));
            core::line_table sorted, plain;
            core::line_file a, b;
            QVERIFY(a.open(path) && b.open(path));
            QVERIFY(core::read_sorted_source(a, sorted).ok());
            QVERIFY(core::read_source(b, plain).ok());
            QCOMPARE(plain.setsort("es_text A"), 1L);
            QCOMPARE(plain.sort(), 1L);
            QCOMPARE(sorted.rowcount(), plain.rowcount());
            QVERIFY(sorted.rowcount() > 10);
            bool same = true, stable = true;
            for (long r = 1; r <= sorted.rowcount(); ++r) {
                const std::string_view here = sorted.get(core::column::es_text, r);
                same = same && here == plain.get(core::column::es_text, r);
                // Rows point into the text as read, so file order is the order of addresses.
                if (r > 1 && here == sorted.get(core::column::es_text, r - 1))
                    stable = stable && here.data() > sorted.get(core::column::es_text, r - 1).data();
            }
            QVERIFY2(same, std::to_string(size).c_str());
            QVERIFY2(stable, std::to_string(size).c_str());
        }

        // Into a pane that has rows already, the new ones join them and all are sorted.
        const std::string path = testing::write_source(dir, QStringLiteral("t.txt"), "c\na\n");
        core::line_table t;
        t.setsort("es_text A");
        t.set(core::column::es_text, t.insertrow(0), "b");
        core::line_file f;
        QVERIFY(f.open(path));
        QVERIFY(core::read_sorted_source(f, t).ok());
        QCOMPARE(t.rowcount(), 3L);
        QCOMPARE(t.get(core::column::es_text, 1), std::string_view("a"));
        QCOMPARE(t.get(core::column::es_text, 2), std::string_view("b"));
        QCOMPARE(t.get(core::column::es_text, 3), std::string_view("c"));
    }

    void long_lines_are_whole()
    {
        QTemporaryDir dir;
        const std::string long_line(6 << 20, 'x');
        const read_outcome r
            = read_lines(testing::write_source(dir, QStringLiteral("long.txt"), bytes("a\n" + long_line + "\r\nb")));
        QVERIFY(r.ok);
        QCOMPARE(r.kept.size(), std::size_t(3));
        QCOMPARE(r.kept[1].size(), long_line.size());
        QCOMPARE(r.kept[2], std::string("b"));
    }

    void byte_order_marks_data()
    {
        const QString text = QStringLiteral("Stra\u00DFe\r\n  \u20AC 5 \n\n\U0001F600\n");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("charset");
        QTest::newRow("UTF-8") << QByteArray("\xEF\xBB\xBF") + text.toUtf8() << QStringLiteral("UTF-8");
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE") + testing::utf16_bytes(text, false)
                                  << QStringLiteral("UTF-16LE");
        QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF") + testing::utf16_bytes(text, true)
                                  << QStringLiteral("UTF-16BE");
        QByteArray le("\xFF\xFE\0\0", 4), be("\0\0\xFE\xFF", 4);
        for (const uint cp : text.toUcs4()) {
            const char b[4] = {char(cp & 0xFF), char(cp >> 8 & 0xFF), char(cp >> 16 & 0xFF), char(cp >> 24)};
            le.append(b, 4);
            be.append(b[3]).append(b[2]).append(b[1]).append(b[0]);
        }
        QTest::newRow("UTF-32LE") << le << QStringLiteral("UTF-32LE");
        QTest::newRow("UTF-32BE") << be << QStringLiteral("UTF-32BE");
        QTest::newRow("UTF-16LE, no mark") << testing::utf16_bytes(text, false) << QStringLiteral("UTF-16LE");
        QTest::newRow("UTF-16BE, no mark") << testing::utf16_bytes(text, true) << QStringLiteral("UTF-16BE");
    }

    void byte_order_marks()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, charset);
        QTemporaryDir dir;
        const read_outcome r = read_lines(testing::write_source(dir, QStringLiteral("bom.txt"), file));
        QVERIFY(r.ok);
        QCOMPARE(QString::fromStdString(r.charset), charset);
        // The mark is no part of the first line.
        const lines expected {"Stra\xC3\x9F"
                              "e",
            "  \xE2\x82\xAC 5 ", "\xF0\x9F\x98\x80"};
        QCOMPARE(r.kept, expected);
    }

    void utf16_may_begin_with_nul_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("charset");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("UTF-16LE") << QByteArray("\xFF\xFE\0\0a\0\n\0", 8) << QStringLiteral("UTF-16LE")
                                  << QByteArray("\0a\n", 3);
        QTest::newRow("UTF-32LE") << QByteArray("\xFF\xFE\0\0a\0\0\0\n\0\0\0", 12) << QStringLiteral("UTF-32LE")
                                  << QByteArray("a\n");
        // A UTF-32 file cut short in its last unit: the cut tail is one U+FFFD.
        QTest::newRow("UTF-32LE cut short") << QByteArray("\xFF\xFE\0\0a\0\0\0\n\0\0\0b\0\0\0\n\0\0", 19)
                                            << QStringLiteral("UTF-32LE") << QByteArray("a\nb\xEF\xBF\xBD");
        QTest::newRow("UTF-32LE cut to a byte")
            << QByteArray("\xFF\xFE\0\0a\0\0\0\n", 9) << QStringLiteral("UTF-32LE") << QByteArray("a\xEF\xBF\xBD");
        QTest::newRow("a UTF-32 unit in no plane in use")
            << QByteArray("\xFF\xFE\0\0a\0\x04\0", 8) << QStringLiteral("UTF-16LE") << QByteArray("\0a\x04", 3);
        QTest::newRow("a UTF-32 surrogate") << QByteArray("\xFF\xFE\0\0\0\xD8\0\0", 8) << QStringLiteral("UTF-16LE")
                                            << QByteArray("\0\xEF\xBF\xBD\0", 5);
    }

    void utf16_may_begin_with_nul()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, charset);
        QFETCH(QByteArray, text);
        const core::file_text t = core::decode_text(core::make_block(file.toStdString()));
        QCOMPARE(QString::fromStdString(t.charset), charset);
        QCOMPARE(
            QByteArray::fromStdString(core::shown(std::string_view(t.block->data() + t.begin, t.end - t.begin))), text);
    }

    void detected_character_sets_match_utf8()
    {
        const QString text = QStringLiteral("Le caf\u00E9 co\u00FBte 5 \u20AC, na\u00EFve fa\u00E7on.\n"
                                            "Gr\u00F6\u00DFe der Stra\u00DFe \u2014 \u201Cso\u201D.\n"
                                            "  \u00C0 bient\u00F4t  \n");
        QTemporaryDir dir;
        const read_outcome utf8 = read_lines(testing::write_source(dir, QStringLiteral("u.txt"), text.toUtf8()));
        QByteArray cp1252;
        for (const QChar c : text) {
            switch (c.unicode()) {
            case 0x20AC:
                cp1252 += '\x80';
                break;
            case 0x2014:
                cp1252 += '\x97';
                break;
            case 0x201C:
                cp1252 += '\x93';
                break;
            case 0x201D:
                cp1252 += '\x94';
                break;
            default:
                cp1252 += static_cast<char>(c.unicode());
            }
        }
        const read_outcome windows = read_lines(testing::write_source(dir, QStringLiteral("w.txt"), cp1252));
        QVERIFY(windows.ok);
        QCOMPARE(windows.charset, std::string("WINDOWS-1252"));
        QCOMPARE(windows.kept, utf8.kept);

        const read_outcome utf16
            = read_lines(testing::write_source(dir, QStringLiteral("w16.txt"), testing::utf16_bytes(text, false)));
        QCOMPARE(utf16.kept, utf8.kept);

        // Shift_JIS: "Japanese text." three times.
        const QByteArray sjis(
            "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67\x82\xc5\x82\xb7\x81\x42\n");
        const read_outcome japanese
            = read_lines(testing::write_source(dir, QStringLiteral("j.txt"), sjis + sjis + sjis));
        QCOMPARE(japanese.charset, std::string("CP932"));
        const std::string line
            = QStringLiteral("\u65E5\u672C\u8A9E\u306E\u30C6\u30AD\u30B9\u30C8\u3067\u3059\u3002").toStdString();
        QCOMPARE(japanese.kept, (lines {line, line, line}));
    }

    // Each source holds sentences in a legacy encoding; beside it, the same text as Python's
    // codecs read those bytes (tests/data/legacy/make.py writes both). The label the detector
    // gives is read as the encoding the WHATWG Encoding Standard gives it.
    void legacy_encodings_read_as_the_desktop_reads_them_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("encoding");
        const char* const sources[][2] = {{"shift_jis", "CP932"}, {"euc-jp", "EUC-JP-MS"}, {"euc-kr", "CP949"},
            {"big5", "BIG5-HKSCS"}, {"gbk", "GB18030"}, {"iso-8859-9", "WINDOWS-1254"}, {"tis-620", "WINDOWS-874"},
            {"windows-1255", "WINDOWS-1255"}, {"windows-1258", "WINDOWS-1258"}, {"x-mac-cyrillic", "MAC-CYRILLIC"}};
        for (const auto& s : sources)
            QTest::newRow(s[0]) << QString::fromLatin1(s[0]) << QString::fromLatin1(s[1]);
    }

    void legacy_encodings_read_as_the_desktop_reads_them()
    {
        QFETCH(QString, source);
        QFETCH(QString, encoding);
        const std::string path = TOVIK_TEST_DATA "/legacy/" + source.toStdString();
        const read_outcome legacy = read_lines(path + ".txt");
        const read_outcome utf8 = read_lines(path + ".utf8");
        QVERIFY(legacy.ok && utf8.ok && !utf8.kept.empty());
        QCOMPARE(QString::fromStdString(legacy.charset), encoding);
        QCOMPARE(legacy.kept, utf8.kept);
    }

    // The detector hears only the first megabytes; what it names holds for the whole file.
    void a_label_found_early_holds_for_the_whole_file()
    {
        QFile korean(QStringLiteral(TOVIK_TEST_DATA "/legacy/euc-kr.txt"));
        QFile expected(QStringLiteral(TOVIK_TEST_DATA "/legacy/euc-kr.utf8"));
        QVERIFY(korean.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
        const QList<QByteArray> bytes = korean.readAll().split('\n');
        const QList<QByteArray> text = expected.readAll().split('\n');
        // Line 1 is in EUC-KR proper; line 3 has syllables only its superset Windows-949 holds.
        const QByteArray line = bytes[1] + '\n';
        QByteArray file = line.repeated((5 << 20) / line.size() + 1);
        file += bytes[3] + '\n';
        QTemporaryDir dir;
        const read_outcome r = read_lines(testing::write_source(dir, QStringLiteral("long.txt"), file));
        QCOMPARE(r.charset, std::string("CP949"));
        QCOMPARE(r.kept.front(), text[1].toStdString());
        QCOMPARE(r.kept.back(), text[3].toStdString());
    }

    // The standard's Windows code pages read the bytes they leave undefined as C1 controls,
    // which keeps different bytes different.
    void undefined_windows_bytes_are_c1_controls()
    {
        const core::file_text t = core::decode_text(core::make_block(std::string("caf\xE9 \x81\x8D\x90\n")));
        QCOMPARE(t.charset, std::string("WINDOWS-1252"));
        QCOMPARE(std::string(t.block->data() + t.begin, t.end - t.begin),
            std::string("caf\xC3\xA9 \xC2\x81\xC2\x8D\xC2\x90\n"));
    }

    void undecodable_bytes_become_replacement_characters_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<lines>("expected");
        const std::string r = "\xEF\xBF\xBD";
        const QByteArray bom("\xEF\xBB\xBF");
        QTest::newRow("stray continuation") << bom
                + "a\x80"
                  "b\n" << lines {"a" + r + "b"};
        QTest::newRow("cut sequence") << bom
                + "a\xE2\x82"
                  "b\n" << lines {"a" + r + "b"};
        QTest::newRow("cut at the end of the file") << bom + "a\xF0\x9F\x98" << lines {"a" + r};
        QTest::newRow("overlong") << bom + "\xC0\xAF\n" << lines {r + r};
        QTest::newRow("surrogate") << bom + "\xED\xA0\x80\n" << lines {r + r + r};
        QTest::newRow("beyond U+10FFFF") << bom + "\xF4\x90\x80\x80|\xF5\n" << lines {r + r + r + r + "|" + r};
        QTest::newRow("a terminator ends a cut sequence") << bom + "\xE2\x82\nx\n" << lines {r, "x"};
        QTest::newRow("lone UTF-16 surrogate") << QByteArray("\xFF\xFE"
                                                             "a\0\x00\xD8"
                                                             "b\0\n\0",
            10) << lines {"a" + r + "b"};
        QTest::newRow("odd byte after UTF-16") << QByteArray("\xFE\xFF\0a\0\n\0", 7) << lines {"a", r};
        QTest::newRow("UTF-32 beyond U+10FFFF") << QByteArray("\0\0\xFE\xFF"
                                                              "\0\0\0a"
                                                              "\0\x11\0\0"
                                                              "\0\0\0\n",
            16) << lines {"a" + r};
        QString text;
        for (int i = 0; i < 20; ++i)
            text += QStringLiteral("Gr\u00F6\u00DFe der Stra\u00DFe; caf\u00E9, na\u00EFve\n");
        QByteArray mostly_utf8 = text.toUtf8();
        mostly_utf8.insert(50, '\xFF');
        lines expected;
        for (int i = 0; i < 20; ++i)
            expected.push_back(QStringLiteral("Gr\u00F6\u00DFe der Stra\u00DFe; caf\u00E9, na\u00EFve").toStdString());
        expected[1].insert(50 - expected[0].size() - 1, r);
        QTest::newRow("one bad byte in UTF-8 without a mark") << mostly_utf8 << expected;
    }

    void undecodable_bytes_become_replacement_characters()
    {
        QFETCH(QByteArray, file);
        QFETCH(lines, expected);
        QTemporaryDir dir;
        const read_outcome r = read_lines(testing::write_source(dir, QStringLiteral("bad.txt"), file));
        QVERIFY(r.ok);
        lines shown;
        for (const std::string& line : r.kept)
            shown.push_back(core::shown(line));
        QCOMPARE(shown, expected);
    }

    // Lines that show the same U+FFFD for different bytes stay different lines: they never meet
    // in the similarity list, whichever way the bytes could not be read.
    void different_bytes_never_compare_equal()
    {
        const QByteArray bom("\xEF\xBB\xBF");
        const std::pair<QByteArray, QByteArray> pairs[] = {
            {bom + "caf\xE9\nsame\n", bom + "caf\xE8\nsame\n"},
            {QByteArray("\xFF\xFEn\0\x00\xD8\n\0s\0\n\0", 12), QByteArray("\xFF\xFEn\0\x01\xD8\n\0s\0\n\0", 12)},
            {QByteArray("\0\0\xFE\xFF\0\x11\0\0\0\0\0\n", 12), QByteArray("\0\0\xFE\xFF\0\x12\0\0\0\0\0\n", 12)},
        };
        QTemporaryDir dir;
        for (const auto& [one, two] : pairs) {
            core::line_table t1, t2, same, diff, sum;
            QVERIFY(core::load_source(testing::write_source(dir, QStringLiteral("one.txt"), one), t1).ok());
            QVERIFY(core::load_source(testing::write_source(dir, QStringLiteral("two.txt"), two), t2).ok());
            const core::compare_counts counts = core::compare_sources(t1, t2, "one", "two", same, diff, sum);
            QVERIFY(counts.same <= 1 && counts.diff == 2);
            for (long row = 1; row <= same.rowcount(); ++row)
                QVERIFY(!core::holds_byte_escapes(same.get(core::column::es_text, row)));
            // Both show, and are saved, as the same U+FFFD.
            QCOMPARE(core::shown(diff.get(core::column::es_text, 1)), core::shown(diff.get(core::column::es_text, 2)));
            std::ostringstream out;
            QVERIFY(core::write_text(diff, out));
            QVERIFY(out.str().find('\xFF') == std::string::npos && out.str().find("\xEF\xBF\xBD") != std::string::npos);
        }
    }

    void files_that_cannot_be_opened()
    {
        QTemporaryDir dir;
        core::line_file file;
        const auto refused = [&](const std::string& path) {
            const core::result opened = file.open(path);
            return opened ? std::string("opened") : opened.reason();
        };
        QCOMPARE(refused(QDir(dir.path()).filePath(QStringLiteral("missing.txt")).toStdString()),
            std::string("No such file or directory"));
        QCOMPARE(refused(dir.path().toStdString()), std::string("Is a directory"));
        if (QFile::exists(QStringLiteral("/dev/zero")))
            QCOMPARE(refused("/dev/zero"), std::string("Is a device"));
        const core::result unnamed = file.open(std::string());
        QVERIFY(!unnamed && unnamed.why() == core::fault::open_failed && !unnamed.reason().empty());

        // Reading a file that is not open fails at once and yields no text.
        core::file_text text;
        QVERIFY(!file.read_text(text));
        QCOMPARE(text.end, std::size_t(0));
        file.close(); // closing it again does nothing
    }

    void a_failure_in_mid_file_keeps_the_whole_lines_before_it()
    {
        QTemporaryDir dir;
        const std::string path
            = testing::write_source(dir, QStringLiteral("f.txt"), QByteArray("one\r\ntwo\nthree\nfour\n"));
        failing_reads = 1;
        const auto failing = core::line_file::read_seam().replace(&read_then_fail);
        const read_outcome r = read_lines(path);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, std::string("Input/output error"));
        // Ten bytes came in: "three" was cut, so it is not taken for a line.
        QCOMPARE(r.kept, (lines {"one", "two"}));
    }

    void a_file_that_changes_while_read_is_read_as_it_is_then()
    {
        QTemporaryDir dir;
        changing_path = testing::write_source(dir, QStringLiteral("c.txt"), QByteArray("first\nsecond\n"));
        const auto changing = core::line_file::read_seam().replace(&read_changing_file);
        change_by = 800000; // well beyond the buffer made for the measured size
        const read_outcome grown = read_lines(changing_path);
        change_by = -13;
        const read_outcome shrunk = read_lines(changing_path);

        QVERIFY(grown.ok);
        QCOMPARE(grown.kept.size(), std::size_t(2 + 100000));
        QCOMPARE(grown.kept[1], std::string("second"));
        QCOMPARE(grown.kept.back(), std::string("grown 7"));
        QVERIFY(shrunk.ok);
        QCOMPARE(shrunk.kept.size(), std::size_t(2 + 100000 - 1));
        QCOMPARE(shrunk.kept.back(), std::string("gro"));
    }

    // A big file is checked for UTF-8 while its halves are read, a piece at a time: characters
    // cut by the pieces and by the middle must pass, and an ill-formed byte anywhere must give
    // what decoding the same bytes at once gives.
    void big_files_are_checked_for_utf8_as_they_are_read()
    {
        // Lines of sixteen bytes after two: every multiple of 16, so the middle and each piece's
        // start, falls on the last byte of a three-byte character.
        std::string text = "pp";
        while (text.size() < (9u << 20))
            text += "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\n";
        const std::size_t middle = text.size() / 2 / 4096 * 4096;
        QTemporaryDir dir;
        for (const long at : {-1L, 5L, long(middle) - 1, long(middle), long(middle) + 1, long(middle) + (256L << 10),
                 long(text.size()) - 1}) {
            std::string bytes_in = text;
            if (at >= 0)
                bytes_in[std::size_t(at)] = at + 1 == long(text.size()) ? '\xE2' : '\xFF';
            const std::string path = testing::write_source(dir, QStringLiteral("big.txt"), bytes(bytes_in));
            core::line_file file;
            QVERIFY(file.open(path).ok());
            core::file_text read;
            QVERIFY(file.read_text(read).ok());
            const core::file_text whole = core::decode_text(core::make_block(bytes_in));
            const std::string at_text = std::to_string(at);
            QVERIFY2(read.charset == whole.charset, at_text.c_str());
            QVERIFY2(std::string_view(read.block->data() + read.begin, read.end - read.begin)
                    == std::string_view(whole.block->data() + whole.begin, whole.end - whole.begin),
                at_text.c_str());
        }
    }

    // Files of many megabytes take the road of big buffers: read in pieces, followed or not
    // by a file that grows meanwhile, every byte in its place.
    void big_files_are_read_whole()
    {
        QTemporaryDir dir;
        QByteArray content;
        content.reserve(16 * 1024 * 1024); // appending builders grow it by exact sizes otherwise
        for (int i = 0; i < 700000; ++i)
            content += QByteArray("line number ") + QByteArray::number(i) + '\n';
        QVERIFY(content.size() > 9 * 1024 * 1024);
        changing_path = testing::write_source(dir, QStringLiteral("big.txt"), content);
        const read_outcome plain = read_lines(changing_path, 100000);
        QVERIFY(plain.ok);
        QCOMPARE(plain.kept.size(), std::size_t(700000));
        bool in_place = true;
        for (std::size_t i = 0; i < plain.kept.size() && in_place; i += 997)
            in_place = plain.kept[i] == "line number " + std::to_string(i);
        QVERIFY(in_place);
        QCOMPARE(plain.kept.back(), std::string("line number 699999"));
        // A child forked after that read has none of the parent's helper threads, and reads on.
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(30);
            ::_exit(read_lines(changing_path, 100000).kept.size() == 700000 ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the forked child did not read the file");

        const auto changing = core::line_file::read_seam().replace(&read_changing_file);
        change_by = 8000000;
        const read_outcome grown = read_lines(changing_path, 100000);
        QVERIFY(grown.ok);
        QCOMPARE(grown.kept.size(), std::size_t(700000 + 1000000));
        QCOMPARE(grown.kept[699999], std::string("line number 699999"));
        QCOMPARE(grown.kept.back(), std::string("grown 7"));

        // Cut to a third after it was measured: the room made for the whole is given back, and
        // what is left reads to its last byte.
        QVERIFY(testing::write_source(dir, QStringLiteral("big.txt"), content) == changing_path);
        change_by = -2 * (long(content.size()) / 3);
        const read_outcome shrunk = read_lines(changing_path, 100000);
        QVERIFY(shrunk.ok);
        const QByteArray left = content.left(content.size() - 2 * (content.size() / 3));
        QCOMPARE(shrunk.kept, reference_lines(left.toStdString()));
    }

    // Big files are mapped rather than copied; a loaded text must stay as it was read, and the
    // process alive, however the file changes afterwards: cut short by name, opened to be
    // written over, or written through a descriptor that was open before the load.
    void a_file_changed_after_loading_leaves_its_text_as_read()
    {
        std::string content;
        for (int i = 0; content.size() < (9u << 20); ++i)
            content += "row " + std::to_string(i) + '\n';
        QTemporaryDir dir;
        const std::string path = testing::write_source(dir, QStringLiteral("big.txt"), bytes(content));
        const auto read_now = [&] {
            core::line_file file;
            core::file_text text;
            if (!file.open(path).ok() || !file.read_text(text).ok())
                text = {};
            return text;
        };
        const auto as_read = [&](const core::file_text& t) {
            return t.block && std::string_view(t.block->data() + t.begin, t.end - t.begin) == content;
        };
        for (const int way : {0, 1, 2}) {
            const int writer = way == 2 ? ::open(path.c_str(), O_WRONLY) : -1;
            const core::file_text first = read_now();
            const core::file_text second = read_now(); // both panes may hold one file
            QVERIFY(as_read(first) && as_read(second));
            if (way == 0) {
                QCOMPARE(::truncate(path.c_str(), 0), 0);
            } else {
                const int fd = way == 1 ? ::open(path.c_str(), O_WRONLY | O_TRUNC) : writer;
                QVERIFY(fd >= 0 && ::ftruncate(fd, 0) == 0);
                QCOMPARE(::pwrite(fd, "other\n", 6, 0), ssize_t(6));
                ::close(fd);
            }
            QVERIFY2(as_read(first) && as_read(second), std::to_string(way).c_str());
            QVERIFY(testing::write_source(dir, QStringLiteral("big.txt"), bytes(content)) == path);
        }
    }

    // A load makes room for its rows from how long the first lines are; a file whose lines
    // change length further on still loads every line, and holds no more than the rows' growth.
    void loads_where_line_lengths_change_keep_every_line()
    {
        QTemporaryDir dir;
        for (const bool long_first : {true, false}) {
            QByteArray content;
            content.reserve(16 * 1024 * 1024);
            long kept = 0;
            for (int i = 0; i < 400000; ++i) {
                const bool first_part = i < 300000;
                if (first_part == long_first) {
                    content += QByteArray("a longer line of text, number ") + QByteArray::number(i) + '\n';
                    ++kept;
                } else {
                    // Short lines, and blank ones that are not kept at all.
                    content += i % 2 ? QByteArray("s\n") : QByteArray("  \n");
                    kept += i % 2;
                }
            }
            const std::string path = testing::write_source(
                dir, long_first ? QStringLiteral("long_first.txt") : QStringLiteral("short_first.txt"), content);
            core::line_table t;
            QVERIFY(core::load_source(path, t).ok());
            QCOMPARE(t.rowcount(), kept);
            QVERIFY(t.row_capacity() <= static_cast<std::size_t>(t.rowcount() + t.rowcount() / 2));
            bool ordered = true;
            for (long row = 2; row <= t.rowcount() && ordered; ++row)
                ordered = t.get(core::column::es_text, row - 1) <= t.get(core::column::es_text, row);
            QVERIFY(ordered);
        }
    }

    void files_without_a_size_are_read_to_their_end()
    {
        if (!QFile::exists(QStringLiteral("/proc/self/status")))
            QSKIP("no /proc here");
        const read_outcome r = read_lines("/proc/self/status");
        QVERIFY(r.ok);
        QVERIFY(!r.kept.empty());
        QCOMPARE(r.kept.front().substr(0, 5), std::string("Name:"));
    }
};

QTEST_MAIN(line_file_test)
#include "line_file_test.moc"
