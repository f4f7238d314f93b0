// Faults of the machine under the user's feet: a table that runs out of room in mid-load, a
// save target that changes while the dialog is open, a file system that refuses bytes, and no
// printer at all. Each must be told to the user truthfully, and nothing saved before is lost.

#include "compare/linetable/grid_pane.h"
#include "compare/output/table_saveas.h"
#include "compare/w_diff.h"
#include "printopt/w_print_option.h"
#include "runtime/core/drive_model.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/save_dialog.h"
#include "support/browser_tree.h"
#include "support/modal.h"
#include "support/output_files.h"
#include "support/source_files.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QHash>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using window = testing::shown_window;

// Indexes of the save types, in the dialog's order.
enum { text_type = 0, csv_type = 1, html_type = 2, xlsx_type = 3 };

// Every file below `dir`, hidden ones too, relative to it.
QStringList files_below(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Lowers the largest file this process may write, for the life of the scope: writes past it
// fail with EFBIG, as they would on a full disk, even for the superuser.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~file_size_limit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit saved_ {};
    void (*previous_)(int) = SIG_DFL;
    bool ok_ = false;
};

// Files of about 80 MB: UTF-8 with one ill-formed byte, so that it is repaired into a copy;
// UTF-16; Windows-1252. Their few non-ASCII lines come last, where the character set detector
// reads only them.
struct big_files {
    QString utf8 = QStringLiteral("utf8.txt"), utf16 = QStringLiteral("utf16.txt"),
            cp1252 = QStringLiteral("cp1252.txt");
    QHash<QString, long> lines; // kept lines by name; empty when the files could not be made

    explicit big_files(const QTemporaryDir& dir)
    {
        QByteArray ascii;
        for (int i = 0; ascii.size() < (40 << 20); ++i)
            ascii += QByteArray("line ") + QByteArray::number(i) + " of a file too big for the memory left\n";
        const int tail = 100;
        const QByteArray latin = QByteArray("Gr\xF6\xDF"
                                            "e der Stra\xDF"
                                            "e, caf\xE9 5\n")
                                     .repeated(tail);
        QByteArray wide("\xFF\xFE");
        wide.reserve(2 * ascii.size() + 2 * latin.size() + 2);
        for (const char c : ascii)
            wide.append(c).append('\0');
        wide += testing::utf16_bytes(QString::fromLatin1(latin), false);
        QByteArray broken = QString::fromLatin1(latin).toUtf8();
        broken[broken.size() - 3] = '\xFF';
        if (testing::make_file(dir, utf8, QByteArray(ascii).append(ascii).append(broken))
            && testing::make_file(dir, utf16, wide)
            && testing::make_file(dir, cp1252, QByteArray(ascii).append(ascii).append(latin))) {
            const long n = ascii.count('\n');
            lines = {{utf8, 2 * n + tail}, {utf16, n + tail}, {cp1252, 2 * n + tail}};
        }
    }
};

// Lets this process's address space grow by `bytes` beyond what it holds now.
bool limit_growth_to(rlim_t bytes)
{
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    const rlimit lowered {
        bytes + static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)), RLIM_INFINITY};
    return ::setrlimit(RLIMIT_AS, &lowered) == 0;
}

// Runs `body` in a child process whose address space may grow to `limit` bytes, or by `limit`
// bytes beyond what it holds already when `beyond_current`; "" when `body` returned true, else
// how the child ended.
QString in_limited_child(rlim_t limit, bool beyond_current, const std::function<bool()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit lowered {limit, RLIM_INFINITY};
        // The child never returns into the test, whatever escapes `body`, and never hangs it.
        ::alarm(120);
        try {
            const bool limited = beyond_current ? limit_growth_to(limit) : ::setrlimit(RLIMIT_AS, &lowered) == 0;
            ::_exit(limited && body() ? 0 : 1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return QStringLiteral("no child process");
    if (WIFSIGNALED(status))
        return QStringLiteral("ended by signal %1").arg(WTERMSIG(status));
    if (WEXITSTATUS(status) == 2)
        return QStringLiteral("an exception escaped");
    return WEXITSTATUS(status) == 0 ? QString() : QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
}

// Holds all the memory this process can still get but about `room` bytes, as a long session
// that has run short would; for a child process under an address-space limit.
class memory_hog {
public:
    explicit memory_hog(std::size_t room)
    {
        for (int size = 0; size < sizes; ++size)
            while (void* p = std::malloc(block_size(size))) {
                *static_cast<void**>(p) = held_[size];
                held_[size] = p;
            }
        for (int size = 0; size < sizes && room > 0; ++size)
            for (; held_[size] && room > 0; room -= std::min(room, block_size(size)))
                release(size);
    }
    ~memory_hog()
    {
        for (int size = 0; size < sizes; ++size)
            while (held_[size])
                release(size);
    }
    memory_hog(const memory_hog&) = delete;
    memory_hog& operator=(const memory_hog&) = delete;

private:
    static constexpr int sizes = 4;
    static std::size_t block_size(int size) { return std::size_t(1) << (16 - 4 * size); } // 64 KB down to 16 bytes
    void release(int size)
    {
        void* p = held_[size];
        held_[size] = *static_cast<void**>(p);
        std::free(p);
    }
    void* held_[sizes] = {};
};

// Lifts the address-space limit of this process again.
void lift_address_limit()
{
    const rlimit none {RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_AS, &none);
}

} // namespace

class faults_test : public QObject {
    Q_OBJECT

    QStringList messages_; // "caption|text"
    // What the save dialog answers, and what happens while it is open.
    rt::save_answer answer_;
    std::function<void()> while_open_;
    // For the whole run the test answers the boxes and the save dialog.
    const core::seam_override<rt::message_box_hook> box_ = rt::message_box_seam().replace(
        [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });
    const core::seam_override<rt::save_dialog_hook> dialog_
        = rt::save_dialog_seam().replace([this](const rt::save_request&) {
              if (while_open_)
                  while_open_();
              return answer_;
          });

private slots:
    void init()
    {
        messages_.clear();
        while_open_ = nullptr;
    }

    void cleanup() { core::line_table::set_row_limit(2147483647L); }

    void a_table_that_runs_out_of_room_in_mid_load()
    {
        QTemporaryDir dir;
        const auto drives = core::drive_seam().replace(std::vector<core::drive> {{"c", dir.path().toStdString()}});
        QVERIFY(testing::make_file(dir, QStringLiteral("six.txt"), "f\ne\nd\nc\nb\na\n"));
        QVERIFY(testing::make_file(dir, QStringLiteral("two.txt"), "a\nz\n"));
        window win;
        w_diff& w = win.w;

        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        core::line_table::set_row_limit(4);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("six.txt")));
        QCOMPARE(messages_, QStringList {QStringLiteral("File read error|Not a Text or dBase file")});
        QVERIFY(w.dw_1->table().rowcount() < 0);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\six.txt"));
        // The rows that fitted stay as read, unsorted.
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 1)), std::string("f"));
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 4)), std::string("c"));

        // Comparing against the failed pane neither crashes nor invents rows.
        QTest::mouseClick(w.cbx_2, Qt::LeftButton);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("two.txt")));
        w.ue_compare();
        QVERIFY(w.dw_same->table().rowcount() <= 2);
        QVERIFY(w.dw_diff->table().rowcount() <= 6);

        // With room again the same file loads whole and silently.
        core::line_table::set_row_limit(2147483647L);
        messages_.clear();
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("six.txt")));
        QCOMPARE(messages_, QStringList());
        QCOMPARE(w.dw_1->table().rowcount(), 6L);
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 1)), std::string("a"));
    }

    void running_out_of_memory_is_a_message_data()
    {
        QTest::addColumn<int>("megabytes");
        for (const int mb : {150, 200, 260})
            QTest::newRow(qPrintable(QStringLiteral("%1 MB").arg(mb))) << mb;
    }

    void running_out_of_memory_is_a_message()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer reserves more address space than any limit allows");
#endif
        QFETCH(int, megabytes);
        static QTemporaryDir dir;
        static const big_files files(dir);
        QVERIFY(!files.lines.isEmpty());
        const auto drives = core::drive_seam().replace(std::vector<core::drive> {{"c", dir.path().toStdString()}});
        const QString bench = QStringLiteral(TOVIK_BIN_DIR "/tovik-bench");
        QVERIFY2(QFile::exists(bench), "tovik-bench is built with the tests");
        const rlim_t limit = rlim_t(megabytes) << 20;

        for (const QString& name : {files.utf8, files.utf16, files.cp1252}) {
            // The road without a window: loading, comparing and writing either work or say why.
            const QByteArray path = QFile::encodeName(dir.filePath(name));
            const QByteArray out = QFile::encodeName(dir.filePath(QStringLiteral("out.txt")));
            const QString bench_end = in_limited_child(limit, false, [&] {
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                ::dup2(null, 2);
                const QByteArray program = QFile::encodeName(bench);
                ::execl(program.constData(), "tovik-bench", "--out", out.constData(), path.constData(),
                    path.constData(), static_cast<char*>(nullptr));
                return false;
            });
            QVERIFY2(bench_end.isEmpty() || bench_end == QStringLiteral("exit status 1"), qPrintable(bench_end));
        }

        window win;
        w_diff& w = win.w;
        const QString ended = in_limited_child(limit, true, [&] {
            // The window paints while long work runs, and a forked child lacks the threads Qt 6
            // paints with: it would wait for them for good. Hidden, it paints nothing.
            w.hide();
            auto load = [&](const QString& name, int ai) {
                messages_.clear();
                w.is_file = QStringLiteral("c:\\") + name;
                w.ue_dragdrop(ai);
                const long rows = (ai == 1 ? w.dw_1 : w.dw_2)->table().rowcount();
                // Whole and silent, or what fitted and the load's own message.
                if (messages_.isEmpty())
                    return rows == files.lines.value(name);
                return rows <= files.lines.value(name)
                    && messages_.filter(QStringLiteral("File read error|")).size() == messages_.size();
            };
            bool ok = load(files.utf8, 1) && load(files.utf16, 1) && load(files.cp1252, 1) && load(files.utf8, 2);
            // The compare keeps the lists that fit, and a copy too big for the memory says so.
            messages_.clear();
            w.ue_compare();
            w.dw_sum->view()->selectAll();
            w.dw_sum->copy_selection();
            ok = ok && messages_.size() <= 2;
            // A save that cannot get its memory says so and leaves the earlier file as it was.
            const QString saved = dir.filePath(QStringLiteral("saved.csv"));
            ok = ok && testing::make_file(dir, QStringLiteral("saved.csv"), "earlier\n");
            answer_ = {saved, 1, QString()};
            messages_.clear();
            w.ue_saveas();
            QFile file(saved); // its head only: the whole would not fit in this memory either
            const QByteArray after = file.open(QIODevice::ReadOnly) ? file.read(16) : QByteArray();
            ok = ok
                && (messages_.isEmpty() ? after.startsWith("\xEF\xBB\xBF")
                                        : messages_.size() == 1
                            && messages_.at(0).startsWith(QStringLiteral("Save As|")) && after == "earlier\n");
            // With the memory back, the same window loads the file whole.
            lift_address_limit();
            messages_.clear();
            return ok && load(files.cp1252, 1) && messages_.isEmpty();
        });
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
    }

    void a_compare_without_memory_is_told_and_never_saved()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer reserves more address space than any limit allows");
#endif
        QTemporaryDir dir;
        const QString kept = dir.filePath(QStringLiteral("kept.txt"));
        QVERIFY(testing::make_file(dir, QStringLiteral("kept.txt"), "earlier contents"));
        int jobs = 0, asked = 0;
        const auto printer = rt::print_job_seam().replace([&] {
            ++jobs;
            return rt::open_pdf_job(dir.filePath(QStringLiteral("p.pdf")));
        });
        // Not shown: Qt 6 paints with a pool of threads that a child process does not have.
        w_diff w;
        testing::row_pairs one, two;
        for (int i = 0; i < 200000; ++i) {
            one.push_back({"line " + std::to_string(i), ""});
            two.push_back({"line " + std::to_string(2 * i), ""});
        }
        QVERIFY(testing::fill(w.dw_1->table(), one) && testing::fill(w.dw_2->table(), two));
        const QString ended = in_limited_child(RLIM_INFINITY, false, [&] {
            if (!limit_growth_to(0))
                return false;
            {
                memory_hog hog(64 << 10);
                w.cb_compare->click();
            }
            lift_address_limit();
            bool ok = messages_.size() == 1
                && messages_.at(0).startsWith(QStringLiteral("Compare|There is not enough memory to compare"));
            for (rt::grid_pane* pane : {w.dw_same, w.dw_diff, w.dw_sum})
                ok = ok && pane->table().rowcount() < 0 && pane->view()->model()->rowCount() == 0;
            // Not saved (no name is even asked for), printed or copied, and said so each time.
            messages_.clear();
            answer_ = {kept, text_type, QString()};
            while_open_ = [&] { ++asked; };
            w.ue_saveas();
            testing::when_modal<w_print_option>([](w_print_option* dialog) {
                dialog->rb_all->click();
                dialog->cb_ok->click();
            });
            w.ue_print();
            w.dw_sum->copy_selection();
            ok = ok && messages_.size() == 3 && messages_.at(0).startsWith(QStringLiteral("Save As|Nothing was saved"))
                && messages_.at(1).startsWith(QStringLiteral("Print|Nothing was printed"))
                && messages_.at(2).startsWith(QStringLiteral("Copy|Nothing was copied"));
            // Nor by the save function itself, in any type.
            for (save_type type : {save_type::text, save_type::csv, save_type::html, save_type::xlsx})
                ok = ok && save_rows(w.dw_sum->table(), kept, type).why() == core::fault::write_failed;
            if (!ok)
                std::fprintf(stderr, "%s\n", qPrintable(messages_.join(QLatin1Char('\n'))));
            return ok && asked == 0 && jobs == 0 && testing::file_bytes(kept) == "earlier contents";
        });
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
    }

    // A file system of 256 KB of its own, mounted in a child process's own namespace: every
    // type's save fails with the system's reason, and the file saved before stays.
    void a_full_disk_is_told_by_its_own_reason()
    {
        QTemporaryDir dir;
        w_diff w;
        testing::row_pairs rows;
        std::uint32_t seed = 777;
        for (int i = 0; i < 40000; ++i) {
            std::string text;
            for (int k = 0; k < 24; ++k) {
                seed = seed * 1103515245u + 12345u;
                text += static_cast<char>('!' + (seed >> 16) % 90);
            }
            rows.push_back({text, std::to_string(i)});
        }
        QVERIFY(testing::fill(w.dw_sum->table(), rows));
        const QByteArray mount_point = QFile::encodeName(dir.path());
        const QString ended = in_limited_child(RLIM_INFINITY, false, [&] {
            const uid_t uid = ::geteuid();
            const gid_t gid = ::getegid();
            if (::unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) != 0)
                ::_exit(3);
            if (uid != 0) {
                const auto put = [](const char* file, const std::string& text) {
                    const int fd = ::open(file, O_WRONLY);
                    const bool done = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
                    if (fd >= 0)
                        ::close(fd);
                    return done;
                };
                put("/proc/self/setgroups", "deny");
                if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1")
                    || !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
                    ::_exit(3);
            }
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount("tmpfs", mount_point.constData(), "tmpfs", 0, "size=256k") != 0)
                ::_exit(3);
            bool ok = true;
            for (int type : {text_type, csv_type, html_type, xlsx_type}) {
                const QString name = dir.filePath(QStringLiteral("kept.") + save_types().at(type).extension);
                ok = ok && testing::make_file(dir, QFileInfo(name).fileName(), "earlier contents");
                answer_ = {name, type, QString()};
                messages_.clear();
                w.ue_saveas();
                ok = ok && messages_.size() == 1 && messages_.at(0).contains(name)
                    && messages_.at(0).endsWith(QStringLiteral(": No space left on device."))
                    && testing::file_bytes(name) == "earlier contents";
                if (!ok)
                    std::fprintf(stderr, "%s\n", qPrintable(messages_.join(QLatin1Char('\n'))));
            }
            return ok && files_below(dir.path()).size() == 4;
        });
        if (ended == QStringLiteral("exit status 3"))
            QSKIP("this machine gives a test no file system of its own");
        QVERIFY2(ended.isEmpty(), qPrintable(ended));
    }

    // Saving onto a named pipe would wait in its opening for a reader that never comes.
    void a_pipe_is_no_file_to_save_into()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"row", ""}}));
        for (int type : {text_type, xlsx_type}) {
            const QString pipe = dir.filePath(QStringLiteral("pipe.") + save_types().at(type).extension);
            QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
            messages_.clear();
            answer_ = {pipe, type, QString()};
            w.ue_saveas();
            QCOMPARE(messages_,
                QStringList {QStringLiteral("Save As|The file %1 could not be written: it is a named pipe, not a file.")
                                 .arg(pipe)});
        }
    }

    // A save killed part-way leaves no file behind, named or hidden, and the earlier file whole.
    void a_killed_save_leaves_nothing_behind()
    {
        QTemporaryDir dir;
        QVERIFY(testing::make_file(dir, QStringLiteral("kept.xlsx"), "earlier contents"));
        w_diff w;
        testing::row_pairs rows;
        for (int i = 0; i < 1000000; ++i)
            rows.push_back({"a line of a long list, number " + std::to_string(i), "c:\\lists\\one.txt"});
        QVERIFY(testing::fill(w.dw_sum->table(), rows));
        int ready[2];
        QVERIFY(::pipe(ready) == 0);
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            answer_ = {dir.filePath(QStringLiteral("kept.xlsx")), xlsx_type, QString()};
            while_open_ = [&] { (void)!::write(ready[1], "s", 1); };
            w.ue_saveas();
            ::_exit(0);
        }
        char c = 0;
        QVERIFY(pid > 0 && ::read(ready[0], &c, 1) == 1);
        ::usleep(150 * 1000);
        ::kill(pid, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        ::close(ready[0]);
        ::close(ready[1]);
        QVERIFY2(WIFSIGNALED(status), "the save ended before it could be killed");
        QCOMPARE(files_below(dir.path()), QStringList {QStringLiteral("kept.xlsx")});
        QCOMPARE(testing::file_bytes(dir.filePath(QStringLiteral("kept.xlsx"))), QByteArray("earlier contents"));
    }

    void printing_out_of_memory_is_a_message()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the address sanitizer reserves more address space than any limit allows");
#endif
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("diff.pdf"));
        // Once the print option window has gone, the job starts with only `room` bytes left.
        std::optional<std::size_t> room;
        std::optional<memory_hog> hog;
        const auto printer = rt::print_job_seam().replace([&] {
            if (room && limit_growth_to(0))
                hog.emplace(*room);
            return rt::open_pdf_job(pdf);
        });
        w_diff w;
        testing::row_pairs rows;
        for (int i = 0; i < 20000; ++i)
            rows.push_back({"a line long enough to fill its printed cell " + std::to_string(i), "c:\\lists\\one.txt"});
        QVERIFY(testing::fill(w.dw_diff->table(), rows));
        rt::prepare_printing(); // as the program does once its frame is up
        auto print = [&](std::optional<std::size_t> job_room) {
            messages_.clear();
            QFile::remove(pdf);
            room = job_room;
            testing::when_modal<w_print_option>([](w_print_option* dialog) {
                dialog->rb_diff->click();
                dialog->cb_ok->click();
            });
            w.ue_print();
            hog.reset();
            lift_address_limit();
        };
        // With a few hundred kilobytes, Qt's PDF writer itself fails inside: its compression and font
        // embedding go on after their allocations fail, and ending the job then crashes in Qt.
        for (const int kb : {0, 64, 4096}) {
            const QString ended = in_limited_child(RLIM_INFINITY, false, [&] {
                print(std::size_t(kb) << 10);
                // A job that ran out of room stops with the print road's message, never an end.
                const bool ok = messages_.isEmpty()
                    ? QFileInfo(pdf).size() > 0
                    : messages_.size() == 1 && messages_.at(0).startsWith(QStringLiteral("Print|"));
                print(std::nullopt);
                return ok && messages_.isEmpty() && QFileInfo(pdf).size() > 0;
            });
            QVERIFY2(ended.isEmpty(), qPrintable(QStringLiteral("%1 KB: %2").arg(kb).arg(ended)));
        }
    }

    void the_save_target_changes_while_the_dialog_is_open()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"new row", "x"}, {"second", ""}}));
        const QString target = dir.filePath(QStringLiteral("list.txt"));
        auto write_earlier = [&] {
            QFile f(target);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("earlier\n") == 8;
        };
        answer_ = {target, text_type, QString()};

        // Another file put in its place: the save replaces it whole.
        QVERIFY(write_earlier());
        while_open_ = [&] {
            QFile::remove(target);
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(100000, 'o'));
        };
        w.ue_saveas();
        QCOMPARE(messages_, QStringList());
        QCOMPARE(testing::file_bytes(target), QByteArray("new row\tx\nsecond\t\n"));
        QCOMPARE(files_below(dir.path()), QStringList {QStringLiteral("list.txt")});

        // A folder put in its place: refused and reported by name, the folder as it was.
        while_open_ = [&] {
            QFile::remove(target);
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("list.txt/inside")));
        };
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Save As|")) && messages_.at(0).contains(target),
            qPrintable(messages_.at(0)));
        QVERIFY(QFileInfo(target + QStringLiteral("/inside")).isDir());
        QVERIFY(files_below(dir.path()).isEmpty());
        QVERIFY(QDir(target).removeRecursively());

        // The folder removed: reported by name, nothing left anywhere.
        const QString inner = dir.filePath(QStringLiteral("sub/list.csv"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        answer_ = {inner, csv_type, QString()};
        while_open_ = [&] { QVERIFY(QDir(dir.filePath(QStringLiteral("sub"))).removeRecursively()); };
        messages_.clear();
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).contains(inner), qPrintable(messages_.at(0)));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("sub"))));

        // A link to a device put in its place: not written to, and said so.
        answer_ = {target, text_type, QString()};
        while_open_ = [&] { QVERIFY(QFile::link(QStringLiteral("/dev/full"), target)); };
        messages_.clear();
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).contains(target) && messages_.at(0).contains(QStringLiteral("a device, not a file")),
            qPrintable(messages_.at(0)));
        QVERIFY(QFileInfo(target).isSymLink());
    }

    void a_file_system_that_refuses_bytes_keeps_the_earlier_file()
    {
        QTemporaryDir dir;
        w_diff w;
        // Rows that no type can pack into the limit below, not even a compressed workbook.
        testing::row_pairs rows;
        std::uint32_t seed = 12345;
        for (int i = 0; i < 20000; ++i) {
            std::string text;
            for (int k = 0; k < 24; ++k) {
                seed = seed * 1103515245u + 12345u;
                text += static_cast<char>('!' + (seed >> 16) % 90);
            }
            rows.push_back({text, std::to_string(i)});
        }
        QVERIFY(testing::fill(w.dw_sum->table(), rows));

        const QStringList extensions
            = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("xlsx")};
        for (int type : {text_type, csv_type, html_type, xlsx_type}) {
            const QString name = dir.filePath(QStringLiteral("kept.") + extensions.at(type));
            {
                QFile f(name);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("earlier contents");
            }
            answer_ = {name, type, QString()};
            messages_.clear();
            {
                file_size_limit limit(64 * 1024);
                QVERIFY(limit.ok());
                w.ue_saveas();
            }
            QVERIFY2(messages_.size() == 1, qPrintable(name));
            QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Save As|")) && messages_.at(0).contains(name),
                qPrintable(messages_.at(0)));
            QCOMPARE(testing::file_bytes(name), QByteArray("earlier contents"));
            QCOMPARE(files_below(dir.path()).size(), type + 1);
        }
    }

    void no_printer_is_told_and_nothing_printed()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("this machine has a printer, which the test must not print on");
        const auto printer = rt::print_job_seam().replace(std::nullopt);
        w_diff w;
        QVERIFY(testing::fill(w.dw_diff->table(), {{"only here", "a.txt"}}));
        testing::when_modal<w_print_option>([](w_print_option* dialog) {
            dialog->rb_diff->click();
            dialog->cb_ok->click();
        });
        w.ue_print();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Print|"))
                && messages_.at(0).contains(QStringLiteral("printer"), Qt::CaseInsensitive),
            qPrintable(messages_.at(0)));
        // The margin is set only on a job that started.
        QCOMPARE(w.dw_diff->table().print_margin_top(), 0);
    }
};

QTEST_MAIN(faults_test)
#include "faults_test.moc"
