// The row store: numbering, cell access, sort order and stability, copying between tables,
// failure reporting and change notification.

#include "compare/engine/compare_engine.h"
#include "compare/linetable/line_table.h"

#include <QtTest>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using core::column;
using core::line_table;

namespace {

std::string text_of(const line_table& t, long row, column c = column::es_text)
{
    return std::string(t.get(c, row));
}

std::vector<std::string> texts(const line_table& t, column c = column::es_text)
{
    std::vector<std::string> out;
    for (long r = 1; r <= t.rowcount(); ++r)
        out.push_back(text_of(t, r, c));
    return out;
}

void add(line_table& t, const std::string& text, const std::string& text2 = {})
{
    const long r = t.insertrow(0);
    QVERIFY(r > 0);
    QCOMPARE(t.set(column::es_text, r, text), 1L);
    if (!text2.empty())
        QCOMPARE(t.set(column::es_text2, r, text2), 1L);
}

struct counting_observer : core::table_observer {
    int about = 0;
    int changed = 0;
    void rows_about_to_change() override { ++about; }
    void rows_changed() override { ++changed; }
};

// Restores the default row limit however a test ends.
struct row_limit_guard {
    long saved = line_table::row_limit();
    ~row_limit_guard() { line_table::set_row_limit(saved); }
};

} // namespace

class line_table_test : public QObject {
    Q_OBJECT

private slots:
    void rows_are_numbered_from_one()
    {
        line_table t;
        QCOMPARE(t.rowcount(), 0L);
        QCOMPARE(t.insertrow(1), 1L);
        QCOMPARE(t.rowcount(), 1L);
        QVERIFY(t.get(column::es_text, 1).empty());
        QVERIFY(t.get(column::es_text2, 1).empty());

        QCOMPARE(t.set(column::es_text, 1, "b"), 1L);
        QCOMPARE(t.insertrow(0), 2L);
        QCOMPARE(t.set(column::es_text, 2, "d"), 1L);
        QCOMPARE(t.insertrow(2), 2L);
        QCOMPARE(t.set(column::es_text, 2, "c"), 1L);
        QCOMPARE(t.insertrow(1), 1L);
        QCOMPARE(t.set(column::es_text, 1, "a"), 1L);
        QCOMPARE(t.insertrow(5), 5L); // one past the end appends
        QCOMPARE(texts(t), (std::vector<std::string> {"a", "b", "c", "d", ""}));

        QCOMPARE(t.insertrow(7), -1L);
        QCOMPARE(t.insertrow(-1), -1L);
        QCOMPARE(t.set(column::es_text, 6, "x"), -1L);
        QCOMPARE(t.set(column::es_text, 0, "x"), -1L);
        QVERIFY(t.get(column::es_text, 6).empty());
        QVERIFY(t.get(column::es_text, 0).empty());
        QCOMPARE(t.rowcount(), 5L);

        QCOMPARE(t.reset(), 1L);
        QCOMPARE(t.rowcount(), 0L);
        QCOMPARE(t.insertrow(0), 1L);
    }

    void cells_keep_their_own_copy()
    {
        line_table t;
        add(t, "first");
        std::string s = "changing";
        QCOMPARE(t.set(column::es_text, 1, s), 1L);
        QCOMPARE(t.set(column::es_text2, 1, s), 1L);
        s.assign("XXXXXXXX");
        QCOMPARE(text_of(t, 1), std::string("changing"));
        QCOMPARE(text_of(t, 1, column::es_text2), std::string("changing"));

        // Overwriting and clearing, and texts larger than any storage chunk.
        const std::string big(3 << 20, 'q');
        QCOMPARE(t.set(column::es_text, 1, big), 1L);
        QCOMPARE(t.set(column::es_text2, 1, ""), 1L);
        QCOMPARE(text_of(t, 1), big);
        QVERIFY(t.get(column::es_text2, 1).empty());

        // A cell set from another cell of the same table, across many writes.
        for (int i = 0; i < 2000; ++i)
            add(t, "line " + std::to_string(i), "label " + std::to_string(i % 3));
        QCOMPARE(t.set(column::es_text, 1, t.get(column::es_text, 2)), 1L);
        QCOMPARE(text_of(t, 1), std::string("line 0"));
        QCOMPARE(text_of(t, 2001), std::string("line 1999"));
        QCOMPARE(text_of(t, 2001, column::es_text2), std::string("label 1"));
    }

    void sort_expressions_are_parsed()
    {
        line_table t;
        QCOMPARE(t.sort(), -1L); // nothing remembered yet
        QCOMPARE(t.setsort("es_text A"), 1L);
        QCOMPARE(t.setsort("es_text2 A, es_text A"), 1L);
        QCOMPARE(t.setsort("es_text D"), 1L);
        for (const char* bad : {"", "es_text", "es_text X", "es_text A,es_text2 A", "es_text A, ", "es_txt A",
                 "es_text AA", " es_text A", "es_text  A"})
            QVERIFY2(t.setsort(bad) == -1, bad);

        // A failed setsort keeps the expression before it.
        add(t, "a");
        add(t, "c");
        add(t, "b");
        QCOMPARE(t.setsort("nonsense"), -1L);
        QCOMPARE(t.sort(), 1L);
        QCOMPARE(texts(t), (std::vector<std::string> {"c", "b", "a"}));
    }

    void ascending_order_is_code_point_order()
    {
        line_table t;
        using namespace std::string_literals;
        // Blanks and tabs before letters, capitals before small letters, a text before its
        // continuations (an embedded NUL included), then multi-byte letters by code point.
        std::vector<std::string> want = {
            "",
            "\t",
            " a",
            "A",
            "Z",
            "a",
            "a\0b"s,
            "a ",
            "ab",
            "abcdefgh",
            "abcdefgh\0"s,
            "abcdefghi",
            "abcdefgz",
            "z",
            "\xc3\xa9" /* é */,
            "\xe2\x82\xac" /* € */,
            "\xe6\x97\xa5" /* 日 */,
            "\xf0\x9f\x98\x80" /* 😀 */,
        };
        std::vector<std::string> shuffled = want;
        std::mt19937 rng(7);
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        for (const auto& s : shuffled)
            add(t, s);
        QCOMPARE(t.setsort("es_text A"), 1L);
        QCOMPARE(t.sort(), 1L);
        QCOMPARE(texts(t), want);

        QCOMPARE(t.setsort("es_text D"), 1L);
        QCOMPARE(t.sort(), 1L);
        std::reverse(want.begin(), want.end());
        QCOMPARE(texts(t), want);
    }

    void sort_is_stable_and_groups_by_label()
    {
        line_table t;
        add(t, "same", "first");
        add(t, "other", "z.txt");
        add(t, "same", "second");
        add(t, "b", "a.txt");
        add(t, "same", "third");
        add(t, "a", "z.txt");
        add(t, "a", "a.txt");

        QCOMPARE(t.setsort("es_text A"), 1L);
        QCOMPARE(t.sort(), 1L);
        QCOMPARE(texts(t), (std::vector<std::string> {"a", "a", "b", "other", "same", "same", "same"}));
        QCOMPARE(texts(t, column::es_text2),
            (std::vector<std::string> {"z.txt", "a.txt", "a.txt", "z.txt", "first", "second", "third"}));

        QCOMPARE(t.setsort("es_text2 A, es_text A"), 1L);
        QCOMPARE(t.sort(), 1L);
        QCOMPARE(texts(t, column::es_text2),
            (std::vector<std::string> {"a.txt", "a.txt", "first", "second", "third", "z.txt", "z.txt"}));
        QCOMPARE(texts(t), (std::vector<std::string> {"a", "b", "same", "same", "same", "a", "other"}));

        // Descending keeps equal rows in their order too.
        QCOMPARE(t.setsort("es_text D"), 1L);
        QCOMPARE(t.sort(), 1L);
        QCOMPARE(texts(t, column::es_text2),
            (std::vector<std::string> {"first", "second", "third", "z.txt", "a.txt", "a.txt", "z.txt"}));
    }

    // Large enough for the sort to split its work; checked against the standard stable sort.
    void large_sort_matches_a_plain_stable_sort()
    {
        // Short texts, texts tied past their first sixteen bytes, and texts tied past any depth
        // the sort looks at byte by byte.
        for (int size : {20000, 150000}) {
            std::mt19937 rng(static_cast<unsigned>(size));
            const std::vector<std::string> stems = {"the file ", "the file", "x", "\xc3\xa9t\xc3\xa9 ", "", "abcdefgh",
                "0123456789abcdef:", "0123456789abcdef", std::string(300, 'p'), std::string(299, 'p') + "\n"};
            std::vector<std::pair<std::string, std::string>> rows;
            for (int i = 0; i < size; ++i) {
                std::string s = stems[rng() % stems.size()];
                const int extra = static_cast<int>(rng() % 4);
                for (int k = 0; k < extra; ++k)
                    s.push_back(static_cast<char>('a' + rng() % 3));
                rows.emplace_back(s, std::to_string(i % 5));
            }
            line_table t;
            std::string block;
            std::vector<core::line_span> spans;
            for (const auto& r : rows) {
                spans.push_back({block.size(), r.first.size()});
                block += r.first;
            }
            QCOMPARE(t.append_lines(core::make_block(block), spans.data(), spans.size()), long(rows.size()));
            // Rows that insertrow made have no text at all, not even an empty one; they tie.
            for (int k = 0; k < 64; ++k) {
                QVERIFY(t.insertrow(0) > 0);
                rows.emplace_back(std::string(), "e");
            }
            for (long r = 1; r <= t.rowcount(); ++r)
                t.set(column::es_text2, r, rows[std::size_t(r - 1)].second);

            // Each sort starts from the order the one before left, as stability requires.
            auto want = rows;
            for (const char* expr : {"es_text A", "es_text2 D, es_text A", "es_text D"}) {
                const bool by_label = std::string(expr).rfind("es_text2", 0) == 0;
                const bool text_desc = std::string(expr) == "es_text D";
                std::stable_sort(want.begin(), want.end(), [&](const auto& a, const auto& b) {
                    if (by_label && a.second != b.second)
                        return a.second > b.second;
                    return text_desc ? a.first > b.first : a.first < b.first;
                });
                QCOMPARE(t.setsort(expr), 1L);
                QCOMPARE(t.sort(), 1L);
                bool same = true;
                for (long r = 1; r <= t.rowcount() && same; ++r)
                    same = text_of(t, r) == want[std::size_t(r - 1)].first
                        && text_of(t, r, column::es_text2) == want[std::size_t(r - 1)].second;
                QVERIFY2(same, expr);
            }
        }
    }

    // Texts over a few byte values, NUL and the highest among them, and of every length up to
    // past the cached bytes: a NUL byte must sort after the end of a text, never tie with it.
    void byte_order_holds_for_every_byte_value()
    {
        std::mt19937 rng(11);
        const char alphabet[] = {'\0', '\x01', 'a', '\x7f', '\x80', '\xff'};
        std::vector<std::string> rows;
        for (int i = 0; i < 30000; ++i) {
            std::string s;
            const int len = static_cast<int>(rng() % 22);
            for (int k = 0; k < len; ++k)
                s.push_back(alphabet[rng() % (k < 3 ? 2 : sizeof alphabet)]);
            rows.push_back(s);
        }
        line_table t;
        std::string block;
        std::vector<core::line_span> spans;
        for (const auto& r : rows) {
            spans.push_back({block.size(), r.size()});
            block += r;
        }
        const auto kept = core::make_block(block);
        QCOMPARE(t.append_lines(kept, spans.data(), spans.size()), long(rows.size()));
        QCOMPARE(t.setsort("es_text A"), 1L);
        QCOMPARE(t.sort(), 1L);
        // Equal texts are told apart by where they lie in the block, which shows their order.
        std::vector<std::size_t> want(rows.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            want[i] = i;
        std::stable_sort(want.begin(), want.end(), [&](std::size_t a, std::size_t b) {
            return std::lexicographical_compare(rows[a].begin(), rows[a].end(), rows[b].begin(), rows[b].end(),
                [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
        });
        bool same = true;
        for (long r = 1; r <= t.rowcount() && same; ++r)
            same = t.get(column::es_text, r).data() == kept->data() + spans[want[std::size_t(r - 1)]].offset;
        QVERIFY(same);
    }

    void rowscopy_inserts_whole_rows()
    {
        line_table src;
        add(src, "one", "L1");
        add(src, "two");
        add(src, "three", "L3");

        line_table target;
        add(target, "old", "T");
        QCOMPARE(src.rowscopy(1, 3, target, 2), 1L);
        QCOMPARE(texts(target), (std::vector<std::string> {"old", "one", "two", "three"}));
        QCOMPARE(texts(target, column::es_text2), (std::vector<std::string> {"T", "L1", "", "L3"}));
        QCOMPARE(texts(src), (std::vector<std::string> {"one", "two", "three"}));

        QCOMPARE(src.rowscopy(2, 2, target, 1), 1L);
        QCOMPARE(text_of(target, 1), std::string("two"));
        QCOMPARE(src.rowscopy(3, 3, target, 0), 1L);
        QCOMPARE(text_of(target, 6), std::string("three"));
        QCOMPARE(text_of(target, 6, column::es_text2), std::string("L3"));

        // An empty source copies nothing; bad ranges fail and change nothing.
        line_table empty;
        QCOMPARE(empty.rowscopy(1, empty.rowcount(), target, 2), 1L);
        QCOMPARE(src.rowscopy(0, 1, target, 1), -1L);
        QCOMPARE(src.rowscopy(1, 4, target, 1), -1L);
        QCOMPARE(src.rowscopy(1, 1, target, 8), -1L);
        QCOMPARE(target.rowcount(), 6L);

        // Into itself: the copied rows are the ones before the copy.
        QCOMPARE(src.rowscopy(1, 3, src, 2), 1L);
        QCOMPARE(texts(src), (std::vector<std::string> {"one", "one", "two", "three", "two", "three"}));
        QCOMPARE(texts(src, column::es_text2), (std::vector<std::string> {"L1", "L1", "", "L3", "", "L3"}));
    }

    void copied_rows_outlive_their_source()
    {
        line_table target;
        {
            line_table src;
            std::string block = "alpha\nbeta\n";
            const core::line_span spans[] = {{0, 5}, {6, 4}};
            QCOMPARE(src.append_lines(core::make_block(block), spans, 2), 2L);
            add(src, std::string(100000, 'w'), "label");
            QCOMPARE(src.rowscopy(1, 3, target, 0), 1L);
            src.reset();
            add(src, "reused", "other label");
        }
        QCOMPARE(texts(target), (std::vector<std::string> {"alpha", "beta", std::string(100000, 'w')}));
        QCOMPARE(text_of(target, 3, column::es_text2), std::string("label"));

        // Writes to the target after the copy land in the target alone.
        QCOMPARE(target.set(column::es_text2, 1, "label"), 1L);
        QCOMPARE(target.set(column::es_text, 2, "gamma"), 1L);
        QCOMPARE(texts(target, column::es_text2), (std::vector<std::string> {"label", "", "label"}));
        QCOMPARE(text_of(target, 2), std::string("gamma"));
    }

    void append_lines_checks_its_spans()
    {
        line_table t;
        auto block = core::make_block("abc\ndef");
        const core::line_span good[] = {{0, 3}, {4, 3}};
        QCOMPARE(t.append_lines(block, good, 2), 2L);
        QCOMPARE(t.append_lines(block, nullptr, 0), 2L);
        const core::line_span bad[] = {{4, 3}, {5, 3}};
        QCOMPARE(t.append_lines(block, bad, 2), -1L);
        QCOMPARE(t.append_lines(nullptr, good, 2), -1L);
        QCOMPARE(texts(t), (std::vector<std::string> {"abc", "def", "def"}));

        // Rows appended before a bad span stay, and the compare must not take them as sorted.
        line_table part, other, same, diff, sum;
        const core::line_span out_of_order[] = {{4, 3}, {0, 3}, {9, 1}};
        QCOMPARE(part.append_lines(block, out_of_order, 3), -1L);
        QCOMPARE(other.append_lines(block, good, 1), 1L);
        core::compare_sources(part, other, "1", "2", same, diff, sum);
        QCOMPARE(texts(same), (std::vector<std::string> {"abc"}));
    }

    void a_table_over_its_limit_fails_until_reset()
    {
        row_limit_guard guard;
        line_table::set_row_limit(3);
        line_table t;
        add(t, "1");
        add(t, "2");
        add(t, "3");
        QCOMPARE(t.insertrow(0), -1L);
        QCOMPARE(t.rowcount(), -1L);
        QCOMPARE(text_of(t, 3), std::string("3")); // the rows held stay
        QCOMPARE(t.rowcount(), -1L);
        QCOMPARE(t.reset(), 1L);
        QCOMPARE(t.rowcount(), 0L);

        // A load keeps what fitted.
        auto block = core::make_block("abcd");
        const core::line_span spans[] = {{0, 1}, {1, 1}, {2, 1}, {3, 1}};
        QCOMPARE(t.append_lines(block, spans, 4), -1L);
        QCOMPARE(t.rowcount(), -1L);
        QCOMPARE(text_of(t, 3), std::string("c"));
        QVERIFY(t.get(column::es_text, 4).empty());

        // A copy that would not fit fails in the target only.
        line_table src, target;
        add(src, "x");
        add(src, "y");
        add(target, "t");
        add(target, "u");
        QCOMPARE(src.rowscopy(1, 2, target, 0), -1L);
        QCOMPARE(target.rowcount(), -1L);
        QCOMPARE(src.rowcount(), 2L);
        QCOMPARE(src.rowscopy(1, 1, src, 0), 1L);
        QCOMPARE(src.rowcount(), 3L);
    }

    void observers_hear_each_change_once()
    {
        line_table t;
        counting_observer obs;
        t.set_observer(&obs);
        t.insertrow(0);
        QCOMPARE(obs.about, 1);
        QCOMPARE(obs.changed, 1);
        {
            line_table::batch outer(t);
            line_table::batch inner(t);
            t.set(column::es_text, 1, "x");
            t.insertrow(0);
            t.setsort("es_text A");
            t.sort();
            QCOMPARE(obs.about, 2);
            QCOMPARE(obs.changed, 1);
        }
        QCOMPARE(obs.changed, 2);

        line_table src;
        add(src, "a");
        src.rowscopy(1, 1, t, 0);
        QCOMPARE(obs.changed, 3);
        t.reset();
        QCOMPARE(obs.about, 4);
        QCOMPARE(obs.changed, 4);
        t.set_observer(nullptr);
    }
};

QTEST_MAIN(line_table_test)
#include "line_table_test.moc"
