// The compare of two sources: the worked example, the corner cases, and the fast engine held
// against a plain row-by-row implementation of the membership test on many random sources.

#include "compare/engine/compare_engine.h"
#include "compare/import/source_load.h"
#include "support/plain_compare.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

using core::column;
using core::line_table;
using testing::fill;
using testing::lists;
using testing::plain_compare;
using testing::row;
using testing::rows;
using testing::rows_of;

namespace {

struct panes {
    line_table s1, s2, same, diff, sum;

    core::compare_counts compare(const std::string& l1, const std::string& l2)
    {
        return core::compare_sources(s1, s2, l1, l2, same, diff, sum);
    }
    lists results() const { return {rows_of(same), rows_of(diff), rows_of(sum)}; }
};

// A random source: repeated lines, empty and blank-only rows, near misses by case and by
// leading or trailing blanks, non-ASCII text and long shared prefixes.
std::vector<std::string> random_source(std::mt19937& rng, const std::vector<std::string>& vocabulary, std::size_t n)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < n; ++i) {
        std::string t = vocabulary[rng() % vocabulary.size()];
        switch (rng() % 12) {
        case 0:
            t += ' ';
            break;
        case 1:
            t = ' ' + t;
            break;
        case 2:
            if (!t.empty() && t[0] >= 'a' && t[0] <= 'z')
                t[0] = static_cast<char>(t[0] - 'a' + 'A');
            break;
        case 3:
            if (!out.empty())
                t = out[rng() % out.size()];
            break;
        default:
            break;
        }
        out.push_back(t);
    }
    return out;
}

std::vector<std::string> vocabulary(std::mt19937& rng, std::size_t n)
{
    std::vector<std::string> v = {"", " ", "   ", "\t", "apple", "Apple", "apple ", "caf\xc3\xa9", "cafe",
        "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x98\x80", "the file is open"};
    const char* stems[] = {"the file ", "error: ", "x", "\xc3\xbc", "line"};
    while (v.size() < n) {
        std::string t = stems[rng() % 5];
        const int k = static_cast<int>(rng() % 6);
        for (int i = 0; i < k; ++i)
            t.push_back(static_cast<char>("abcAB 9"[rng() % 7]));
        v.push_back(t);
    }
    return v;
}

} // namespace

class engine_test : public QObject {
    Q_OBJECT

private slots:
    void worked_example()
    {
        panes p;
        fill(p.s1, {"apple", "banana", "banana", "cherry"}, true);
        fill(p.s2, {"banana", "date", "apple", "date"}, true);
        const core::compare_counts c = p.compare("one.txt", "two.txt");
        QCOMPARE(rows_of(p.same), (rows {{"apple", ""}, {"banana", ""}, {"banana", ""}}));
        QCOMPARE(rows_of(p.diff), (rows {{"cherry", "one.txt"}, {"date", "two.txt"}, {"date", "two.txt"}}));
        QCOMPARE(rows_of(p.sum),
            (rows {{"Similarity", ""}, {"apple", ""}, {"banana", ""}, {"banana", ""}, {"", ""}, {"Difference", ""},
                {"cherry", "one.txt"}, {"date", "two.txt"}, {"date", "two.txt"}}));
        QCOMPARE(c.same, 3L);
        QCOMPARE(c.diff, 3L);
        QCOMPARE(c.sum, 9L);

        // The sources are untouched and a second run gives the same lists.
        QCOMPARE(rows_of(p.s1), (rows {{"apple", ""}, {"banana", ""}, {"banana", ""}, {"cherry", ""}}));
        const lists first = p.results();
        p.compare("one.txt", "two.txt");
        QCOMPARE(rows_of(p.sum), first.sum);

        // Multiplicity from the other side: one row in source 1, several in source 2.
        fill(p.s1, {"x"}, true);
        fill(p.s2, {"x", "x", "x"}, true);
        p.compare("a", "b");
        QCOMPARE(rows_of(p.same), (rows {{"x", ""}}));
        QVERIFY(rows_of(p.diff).empty());
    }

    void empty_and_identical_sources()
    {
        panes p;
        fill(p.s1, {"b", "a"}, true);
        fill(p.s2, {"c"}, true);
        p.compare("one", "two");
        QCOMPARE(p.sum.rowcount(), 6L);

        // Both empty: every list ends empty, the combined one too.
        fill(p.s1, {}, true);
        fill(p.s2, {}, true);
        const core::compare_counts c = p.compare("one", "two");
        QVERIFY(c.both_empty);
        QCOMPARE(p.same.rowcount(), 0L);
        QCOMPARE(p.diff.rowcount(), 0L);
        QCOMPARE(p.sum.rowcount(), 0L);

        // Only source 2 empty.
        fill(p.s1, {"b", "a", "b"}, true);
        p.compare("one", "two");
        QVERIFY(rows_of(p.same).empty());
        QCOMPARE(rows_of(p.diff), (rows {{"a", "one"}, {"b", "one"}, {"b", "one"}}));
        QCOMPARE(p.sum.rowcount(), 6L);
        QCOMPARE(rows_of(p.sum)[1], (row {"", ""}));

        // Identical sources.
        fill(p.s2, {"b", "b", "a"}, true);
        p.compare("one", "two");
        QCOMPARE(rows_of(p.same), (rows {{"a", ""}, {"b", ""}, {"b", ""}}));
        QVERIFY(rows_of(p.diff).empty());
        QCOMPARE(
            rows_of(p.sum), (rows {{"Similarity", ""}, {"a", ""}, {"b", ""}, {"b", ""}, {"", ""}, {"Difference", ""}}));
    }

    void near_misses_and_labels()
    {
        panes p;
        fill(p.s1, {"Apple", "pear ", "same"}, true);
        fill(p.s2, {"apple", "pear", "same"}, true);
        p.compare("z-first.txt", "a-second.txt");
        QCOMPARE(rows_of(p.same), (rows {{"same", ""}}));
        // Grouped by label: source 2's label sorts first here.
        QCOMPARE(rows_of(p.diff),
            (rows {{"apple", "a-second.txt"}, {"pear", "a-second.txt"}, {"Apple", "z-first.txt"},
                {"pear ", "z-first.txt"}}));

        // Equal labels make one group ordered by text alone.
        p.compare("same.txt", "same.txt");
        QCOMPARE(rows_of(p.diff),
            (rows {{"Apple", "same.txt"}, {"apple", "same.txt"}, {"pear", "same.txt"}, {"pear ", "same.txt"}}));

        // Labels are taken as they read at the time of the compare, non-ASCII included.
        p.compare("S\xc3\xa9rie 1", "");
        QCOMPARE(rows_of(p.diff)[0], (row {"apple", ""}));
        QCOMPARE(rows_of(p.diff)[3], (row {"pear ", "S\xc3\xa9rie 1"}));
        QCOMPARE(rows_of(p.sum)[5], (row {"pear", ""}));
    }

    void unsorted_sources_give_the_same_lists()
    {
        panes p;
        const std::vector<std::string> a = {"pear", "apple", "fig", "apple"}, b = {"fig", "kiwi", "pear"};
        fill(p.s1, a, false);
        fill(p.s2, b, false);
        p.compare("1", "2");
        const lists want = plain_compare(a, b, "1", "2");
        QCOMPARE(rows_of(p.same), want.same);
        QCOMPARE(rows_of(p.diff), want.diff);
        QCOMPARE(rows_of(p.sum), want.sum);
        QCOMPARE(rows_of(p.s1), (rows {{"pear", ""}, {"apple", ""}, {"fig", ""}, {"apple", ""}}));
    }

    void results_outlive_their_sources()
    {
        panes p;
        fill(p.s1, {"kept in source 1", "shared"}, true);
        fill(p.s2, {"shared", "kept in source 2"}, true);
        p.compare("one", "two");
        p.s1.reset();
        fill(p.s2, {"overwritten"}, true);
        QCOMPARE(rows_of(p.sum),
            (rows {{"Similarity", ""}, {"shared", ""}, {"", ""}, {"Difference", ""}, {"kept in source 1", "one"},
                {"kept in source 2", "two"}}));
    }

    // The three lists hold the same rows; a change to one of them must not show in another.
    void each_list_changes_alone()
    {
        panes p;
        fill(p.s1, {"a", "b", "c"}, true);
        fill(p.s2, {"b", "d"}, true);
        p.compare("one", "two");
        const lists before = p.results();
        QCOMPARE(before.sum.size(), std::size_t(7));

        p.sum.set(column::es_text, 2, "changed in the combined list");
        p.sum.set(column::es_text2, 6, "relabelled");
        QCOMPARE(rows_of(p.same), before.same);
        QCOMPARE(rows_of(p.diff), before.diff);
        QCOMPARE(p.sum.get(column::es_text, 2), std::string_view("changed in the combined list"));
        QCOMPARE(p.sum.get(column::es_text2, 6), std::string_view("relabelled"));

        p.same.set(column::es_text, p.same.insertrow(1), "first");
        p.diff.setsort("es_text D");
        p.diff.sort();
        p.diff.rowscopy(1, 1, p.diff, 0);
        QCOMPARE(rows_of(p.same), (rows {{"first", ""}, {"b", ""}}));
        QCOMPARE(rows_of(p.diff), (rows {{"d", "two"}, {"c", "one"}, {"a", "one"}, {"d", "two"}}));
        QCOMPARE(p.sum.rowcount(), 7L);
        QCOMPARE(p.sum.get(column::es_text, 5), std::string_view("a"));

        // A list let go of keeps the others whole.
        p.sum.reset();
        QCOMPARE(p.same.rowcount(), 2L);
        QCOMPARE(p.diff.get(column::es_text, 3), std::string_view("a"));
        p.compare("one", "two");
        QCOMPARE(p.results().sum, before.sum);
    }

    void failed_lists_report_it()
    {
        const long saved = line_table::row_limit();
        panes p;
        fill(p.s1, {"a", "b", "c", "d"}, true);
        fill(p.s2, {"a", "e", "f"}, true);
        line_table::set_row_limit(4);
        const core::compare_counts counts = p.compare("one", "two");
        line_table::set_row_limit(saved);
        // The difference list would pass the limit: no list is kept, not even the ones that fit,
        // since part of a compare would pass for the whole of it.
        QVERIFY(counts.failed() && !counts.out_of_memory);
        for (const line_table* t : {&p.same, &p.diff, &p.sum}) {
            QCOMPARE(t->rowcount(), -1L);
            QVERIFY(t->failed() && t->get(column::es_text, 1).empty());
        }
        // The next compare that fits starts them afresh.
        QVERIFY(!p.compare("one", "two").failed());
        QCOMPARE(rows_of(p.same), (rows {{"a", ""}}));
    }

    // Many random sources, each compared by the engine and by the plain passes.
    void matches_the_plain_passes()
    {
        int checked = 0;
        for (unsigned seed = 1; seed <= 300; ++seed) {
            std::mt19937 rng(seed);
            const auto vocab = vocabulary(rng, 8 + rng() % 200);
            const std::size_t cap = seed % 25 == 0 ? 3000 : 200;
            const auto a = random_source(rng, vocab, rng() % (cap + 1));
            const auto b = random_source(rng, vocab, seed % 7 == 0 ? 0 : rng() % (cap + 1));
            const char* labels[] = {"one.txt", "two.txt", "", "C:\\data\\one.txt", "one.txt"};
            const std::string l1 = labels[rng() % 5], l2 = labels[rng() % 5];
            const bool sorted = seed % 3 != 0;

            panes p;
            fill(p.s1, a, sorted);
            fill(p.s2, b, sorted);
            p.compare(l1, l2);
            const lists want = plain_compare(a, b, l1, l2);
            const QByteArray where = "seed " + QByteArray::number(seed);
            QVERIFY2(rows_of(p.same) == want.same, where.constData());
            QVERIFY2(rows_of(p.diff) == want.diff, where.constData());
            QVERIFY2(rows_of(p.sum) == want.sum, where.constData());
            ++checked;
        }
        QCOMPARE(checked, 300);
    }

    // Large enough for the engine to split its walk between threads.
    void large_sources_match_a_set_based_check()
    {
        for (unsigned seed : {11u, 12u}) {
            std::mt19937 rng(seed);
            const auto vocab = vocabulary(rng, 40000);
            const auto a = random_source(rng, vocab, 90000);
            const auto b = random_source(rng, vocab, 80000);
            panes p;
            fill(p.s1, a, true);
            fill(p.s2, b, seed == 11);
            // The first source's label sorts first, then last.
            const char* const label1 = seed == 11 ? "left" : "zeta";
            p.compare(label1, "right");
            const lists want = plain_compare(a, b, label1, "right", true);
            QVERIFY(rows_of(p.sum) == want.sum);
            QVERIFY(rows_of(p.diff) == want.diff);
        }
    }

    // Loading and comparing together, against the project's independent reference compare
    // (bench/reference_compare.py) on files of its generator (bench/gen_lines.py).
    void agrees_with_the_reference_on_generated_files_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("each");
        QTest::addColumn<QString>("name1");
        QTest::addColumn<QString>("name2");
        QTest::newRow("mixed lines") << 100000 << 1 << QStringLiteral("a.txt") << QStringLiteral("b.txt");
        // The second source's label sorts first.
        QTest::newRow("every line four times") << 40000 << 4 << QStringLiteral("z.txt") << QStringLiteral("m.txt");
    }

    void agrees_with_the_reference_on_generated_files()
    {
        QFETCH(int, lines);
        QFETCH(int, each);
        QFETCH(QString, name1);
        QFETCH(QString, name2);
        const QString bench = QStringLiteral(TOVIK_BENCH_DIR);
        QProcess probe;
        probe.start(QStringLiteral("python3"), {QStringLiteral("--version")});
        QVERIFY2(probe.waitForFinished(30000) && probe.exitCode() == 0,
            "python3 runs the reference compare: scripts/install-deps test installs it");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString f1 = dir.filePath(name1), f2 = dir.filePath(name2);
        const QString ref = dir.filePath(QStringLiteral("ref.txt"));
        QCOMPARE(QProcess::execute(QStringLiteral("python3"),
                     {bench + QStringLiteral("/gen_lines.py"), QStringLiteral("--lines"), QString::number(lines),
                         QStringLiteral("--seed"), QString::number(lines + each), QStringLiteral("--each"),
                         QString::number(each), f1, f2}),
            0);
        QCOMPARE(QProcess::execute(
                     QStringLiteral("python3"), {bench + QStringLiteral("/reference_compare.py"), f1, f2, ref}),
            0);

        panes p;
        QVERIFY(core::load_source(f1.toStdString(), p.s1).ok());
        QVERIFY(core::load_source(f2.toStdString(), p.s2).ok());
        p.compare(f1.toStdString(), f2.toStdString());
        std::string ours;
        for (long r = 1; r <= p.sum.rowcount(); ++r) {
            ours += p.sum.get(column::es_text, r);
            ours += '\t';
            ours += p.sum.get(column::es_text2, r);
            ours += '\n';
        }
        QFile expected(ref);
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const QByteArray want = expected.readAll();
        QVERIFY(p.sum.rowcount() > lines);
        QVERIFY2(want == QByteArray(ours.data(), int(ours.size())), "the combined lists differ");
    }
};

QTEST_MAIN(engine_test)
#include "engine_test.moc"
