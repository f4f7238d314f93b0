// The drive model: path forms to host paths and back, patterns, and listings of a real tree.

#include "runtime/core/drive_model.h"
#include "support/unprivileged.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using core::entry_kind;

namespace {

// Creates a file under its exact bytes: a QString would mend a name that is not UTF-8.
void touch(const std::string& path)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    QVERIFY(f);
    std::fputs("x\n", f);
    std::fclose(f);
}

// The entries' texts, one a line, so a failed comparison shows them.
QString texts(const core::listing& l)
{
    QString out;
    for (const core::dir_entry& e : l.entries)
        out += QString::fromStdString(core::entry_text(e)) + QLatin1Char('\n');
    return out;
}

QString lines(const std::vector<std::string>& names)
{
    QString out;
    for (const std::string& n : names)
        out += QString::fromStdString(n) + QLatin1Char('\n');
    return out;
}

} // namespace

class drive_model_test : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    const std::string root_ = dir_.path().toStdString();
    // For the whole run drive c is the test's folder.
    const core::seam_override<std::vector<core::drive>> drives_
        = core::drive_seam().replace(std::vector<core::drive> {{"c", root_}});

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void drives_c_first_and_added_drives_after()
    {
        {
            const auto with_d = core::drive_seam().replace(std::vector<core::drive> {{"c", root_}, {"d", "/tmp"}});
            const std::vector<core::drive> all = core::drives();
            QCOMPARE(all.size(), std::size_t(2));
            QCOMPARE(all[0].name, std::string("c"));
            QCOMPARE(all[0].host_root, root_);
            QCOMPARE(all[1].name, std::string("d"));
        }
        QCOMPARE(core::drives().size(), std::size_t(1));

        {
            const auto this_machine = core::drive_seam().replace(std::nullopt);
            QCOMPARE(core::drives().size(), std::size_t(1));
            QCOMPARE(core::drives()[0].name, std::string("c"));
            QCOMPARE(core::drives()[0].host_root, std::string("/"));
        }
        QCOMPARE(core::drives()[0].host_root, root_);
    }

    void path_forms_translate_both_ways()
    {
        std::string host, form;
        QVERIFY(core::host_path_of("c:\\a\\b\\notes.v2.txt", host));
        QCOMPARE(host, root_ + "/a/b/notes.v2.txt");
        QVERIFY(core::path_form_of(host, form));
        QCOMPARE(form, std::string("c:\\a\\b\\notes.v2.txt"));

        QVERIFY(core::host_path_of("c:\\", host));
        QCOMPARE(host, root_ + "/");
        QVERIFY(core::path_form_of(root_, form));
        QCOMPARE(form, std::string("c:\\"));
        QVERIFY(core::path_form_of(root_ + "/a/", form));
        QCOMPARE(form, std::string("c:\\a\\"));

        // A file whose name holds a colon still comes back to itself.
        QVERIFY(core::host_path_of("c:\\a\\12:30 log", host));
        QCOMPARE(host, root_ + "/a/12:30 log");

        // Names that are not UTF-8 travel with each stray byte as U+FFFD and its hex digits, and
        // a U+FFFD of a name's own byte by byte, so that each comes back to its very bytes.
        const std::string r = "\xEF\xBF\xBD";
        for (const auto& [name, carried] :
            std::vector<std::pair<std::string, std::string>> {{"r\xE9sum\xE9.txt", "r" + r + "E9sum" + r + "E9.txt"},
                {"cut\xE2\x82", "cut" + r + "E2" + r + "82"}, {"x" + r + "E9", "x" + r + "EF" + r + "BF" + r + "BDE9"},
                {"Stra\xC3\x9F"
                 "e",
                    "Stra\xC3\x9F"
                    "e"}}) {
            QCOMPARE(core::carried_name(name), carried);
            QCOMPARE(core::host_name_of(carried), name);
            QVERIFY(core::path_form_of(root_ + "/" + name + "/" + name, form));
            QCOMPARE(form, "c:\\" + carried + "\\" + carried);
            QVERIFY(core::host_path_of(form, host));
            QCOMPARE(host, root_ + "/" + name + "/" + name);
        }
    }

    void forms_that_name_no_host_entry_are_refused()
    {
        std::string host = "unchanged", form = "unchanged";
        QVERIFY(!core::host_path_of("", host));
        QVERIFY(!core::host_path_of("c:", host));
        QVERIFY(!core::host_path_of("q:\\a.txt", host));
        QVERIFY(!core::host_path_of(":\\a.txt", host));
        // One name of the form must never become two host names, nor climb out of the drive.
        QVERIFY(!core::host_path_of("c:\\a/b.txt", host));
        QVERIFY(!core::host_path_of("c:\\..\\etc\\passwd", host));
        QVERIFY(!core::host_path_of("c:\\a\\.\\b", host));
        // A U+FFFD that stands for no byte, or for a byte that is a character, is no listing's.
        QVERIFY(!core::host_path_of("c:\\a\xEF\xBF\xBD.txt", host));
        QVERIFY(!core::host_path_of("c:\\a\xEF\xBF\xBD"
                                    "41.txt",
            host));
        QVERIFY(!core::host_path_of("c:\\\xEF\xBF\xBD"
                                    "C3\xEF\xBF\xBD"
                                    "A9",
            host));
        QCOMPARE(host, std::string("unchanged"));

        QVERIFY(!core::path_form_of("/somewhere/else", form));
        QVERIFY(!core::path_form_of(root_ + "/a\\b.txt", form));
        QVERIFY(!core::path_form_of(root_ + "/x:y/b.txt", form));
        QCOMPARE(form, std::string("unchanged"));
    }

    void carriable_names()
    {
        QVERIFY(core::carriable_name("plain", true));
        QVERIFY(core::carriable_name("Übersicht ✓.txt", false));
        QVERIFY(core::carriable_name("a:b", false));
        QVERIFY(!core::carriable_name("a:b", true));
        QVERIFY(!core::carriable_name("a\\b", false));
        QVERIFY(!core::carriable_name("", false));
        QVERIFY(!core::carriable_name(std::string("a\0b", 3), false));
        QVERIFY(core::carriable_name("r\xE9sum\xE9", true));
    }

    void patterns_resolve_outright_or_from_the_current_folder()
    {
        std::string folder, mask;
        QVERIFY(core::resolve_pattern("c:\\*.*", "", folder, mask));
        QCOMPARE(folder, std::string("c:\\"));
        QCOMPARE(mask, std::string("*.*"));
        QVERIFY(core::resolve_pattern("b\\*.*", "c:\\a\\", folder, mask));
        QCOMPARE(folder, std::string("c:\\a\\b\\"));
        QVERIFY(core::resolve_pattern("..\\*.*", "c:\\a\\b\\", folder, mask));
        QCOMPARE(folder, std::string("c:\\a\\"));
        QVERIFY(core::resolve_pattern("*.txt", "c:\\a\\", folder, mask));
        QCOMPARE(folder, std::string("c:\\a\\"));
        QCOMPARE(mask, std::string("*.txt"));
        // Climbing stops at the root.
        QVERIFY(core::resolve_pattern("..\\..\\*.*", "c:\\a\\", folder, mask));
        QCOMPARE(folder, std::string("c:\\"));

        folder = "unchanged";
        QVERIFY(!core::resolve_pattern("b\\*.*", "", folder, mask));
        QVERIFY(!core::resolve_pattern("q:\\*.*", "c:\\", folder, mask));
        QCOMPARE(folder, std::string("unchanged"));
    }

    void masks_and_reading_order()
    {
        QVERIFY(core::mask_matches("*.*", "README"));
        QVERIFY(core::mask_matches("*.TXT", "a.txt"));
        QVERIFY(core::mask_matches("a?c.*", "abc.d"));
        QVERIFY(!core::mask_matches("*.txt", "a.txt.bak"));
        QVERIFY(core::mask_matches("*.t*t", "a.text"));

        const std::vector<std::string> expected
            = {"a", "Ärger", "ärger2", "B", "file2", "file10", "File011", "file11", "zeta", "Ωmega"};
        std::vector<std::string> shuffled
            = {"zeta", "file10", "Ωmega", "file11", "B", "ärger2", "a", "File011", "Ärger", "file2"};
        std::sort(shuffled.begin(), shuffled.end(), core::natural_less);
        QCOMPARE(shuffled, expected);
        QVERIFY(!core::natural_less("same", "same"));
        // Names that read alike still have one order.
        QVERIFY(core::natural_less("ABC", "abc") != core::natural_less("abc", "ABC"));
    }

    void listing_groups_orders_and_leaves_out()
    {
        const std::string top = root_ + "/list";
        QVERIFY(QDir().mkpath(QString::fromStdString(top + "/Sub10")));
        QVERIFY(QDir().mkpath(QString::fromStdString(top + "/sub9")));
        QVERIFY(QDir().mkpath(QString::fromStdString(top + "/.hidden_dir")));
        QVERIFY(QDir().mkpath(QString::fromStdString(top + "/x:y")));
        QVERIFY(::mkdir((top + "/back\\slash_dir").c_str(), 0700) == 0);
        touch(top + "/b.txt");
        touch(top + "/A.txt");
        touch(top + "/README");
        touch(top + "/archive.tar.gz");
        touch(top + "/.profile");
        touch(top + "/a\\b.txt");
        touch(top + "/12:30 log");
        touch(top + "/latin1-\xe9.txt");
        QVERIFY(::mkfifo((top + "/pipe").c_str(), 0600) == 0);
        QVERIFY(::symlink("nowhere", (top + "/dangling").c_str()) == 0);
        QVERIFY(::symlink("sub9", (top + "/link_to_dir").c_str()) == 0);
        QVERIFY(::symlink("README", (top + "/link_to_file").c_str()) == 0);

        const core::listing l = core::list_entries("c:\\list\\*.*", "", 48);
        // Qt could not remove this name when the folder goes.
        ::unlink((top + "/latin1-\xe9.txt").c_str());
        QVERIFY(l.ok);
        QCOMPARE(l.folder, std::string("c:\\list\\"));
        const std::vector<std::string> expected
            = {"[..]", "[link_to_dir]", "[sub9]", "[Sub10]", "12:30 log", "A.txt", "archive.tar.gz", "b.txt",
                "latin1-\xEF\xBF\xBD"
                "E9.txt",
                "link_to_file", "README"};
        QCOMPARE(texts(l), lines(expected));
        QCOMPARE(l.entries[0].kind, entry_kind::parent);
        QCOMPARE(l.entries[2].kind, entry_kind::directory);
        QCOMPARE(l.entries[4].kind, entry_kind::file);
        QCOMPARE(core::entry_path_form(l.entries[0]), std::string("..\\"));
        QCOMPARE(core::entry_path_form(l.entries[2]), std::string("sub9\\"));
        QCOMPARE(core::entry_path_form(l.entries[6]), std::string("archive.tar.gz"));

        // Only directories, only files, a narrower mask.
        QCOMPARE(texts(core::list_entries("c:\\list\\*.*", "", 16)),
            QStringLiteral("[..]\n[link_to_dir]\n[sub9]\n[Sub10]\n"));
        QCOMPARE(texts(core::list_entries("*.txt", "c:\\list\\", 32)), QStringLiteral("A.txt\nb.txt\n"));
        QCOMPARE(texts(core::list_entries("*.*", "", 16384)), QStringLiteral("[-c-]\n"));
    }

    void root_has_no_parent_entry()
    {
        const core::listing l = core::list_entries("c:\\*.*", "c:\\list\\", 48);
        QVERIFY(l.ok);
        QCOMPARE(l.folder, std::string("c:\\"));
        QVERIFY(!l.entries.empty());
        for (const core::dir_entry& e : l.entries)
            QVERIFY(e.kind != entry_kind::parent);
    }

    void unreadable_folder_keeps_its_path_and_the_way_up()
    {
        const core::listing gone = core::list_entries("removed\\*.*", "c:\\list\\", 48);
        QVERIFY(!gone.ok);
        QCOMPARE(gone.folder, std::string("c:\\list\\removed\\"));
        QCOMPARE(texts(gone), QStringLiteral("[..]\n"));
        QCOMPARE(gone.reason, std::string("No such file or directory"));

        const core::listing no_drive = core::list_entries("q:\\*.*", "", 48);
        QVERIFY(!no_drive.ok);
        QVERIFY(no_drive.folder.empty());
        QVERIFY(no_drive.entries.empty());

        // A root that cannot be read has no way up.
        {
            const auto with_d
                = core::drive_seam().replace(std::vector<core::drive> {{"c", root_}, {"d", root_ + "/no_such_root"}});
            const core::listing d = core::list_entries("d:\\*.*", "", 48);
            QVERIFY(!d.ok);
            QCOMPARE(d.folder, std::string("d:\\"));
            QVERIFY(d.entries.empty());
        }

        const std::string locked = root_ + "/locked";
        QVERIFY(QDir().mkpath(QString::fromStdString(locked)));
        touch(locked + "/inside.txt");
        QVERIFY(::chmod(locked.c_str(), 0) == 0);
        core::listing l;
        {
            const testing::unprivileged user(root_);
            QVERIFY2(user.ok(), "no unprivileged user to list as");
            l = core::list_entries("c:\\locked\\*.*", "", 48);
        }
        ::chmod(locked.c_str(), 0700);
        QVERIFY(!l.ok);
        QCOMPARE(texts(l), QStringLiteral("[..]\n"));
        QCOMPARE(l.reason, std::string("Permission denied"));
    }
};

QTEST_MAIN(drive_model_test)
#include "drive_model_test.moc"
