#include "compare/output/table_saveas.h"

#include "compare/output/table_writers.h"
#include "runtime/core/work_gauge.h"
#include "runtime/long_work.h"
#include "runtime/message_box.h"
#include "runtime/save_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string>

namespace {

const char* const failed_list = "the list is not complete, because the compare that made it failed";

// A stream buffer straight over the file's descriptor, so the writers stream into the file and
// a refused write is told by the system's own reason ("No space left on device"), which the
// file's Qt device would have lost on the way. The workbook seeks back to finish its headers.
class file_buffer : public std::streambuf {
public:
    explicit file_buffer(int fd)
        : fd_(fd)
    {
        setp(buffer_, buffer_ + sizeof buffer_);
    }

    // The system's reason for the first write that failed; empty while none has.
    const std::string& failure() const { return failure_; }

protected:
    int_type overflow(int_type ch) override
    {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain() ? 0 : -1; }
    // The writers hand over large pieces: those go to the file as they are, not copied through
    // the buffer first.
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n < static_cast<std::streamsize>(sizeof buffer_))
            return std::streambuf::xsputn(s, n);
        if (!drain() || !put(s, static_cast<std::size_t>(n)))
            return 0;
        return n;
    }
    pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override
    {
        if (!drain())
            return pos_type(off_type(-1));
        const off_t to = ::lseek(fd_, off,
            dir == std::ios_base::beg       ? SEEK_SET
                : dir == std::ios_base::cur ? SEEK_CUR
                                            : SEEK_END);
        return to < 0 ? pos_type(off_type(-1)) : pos_type(to);
    }
    pos_type seekpos(pos_type pos, std::ios_base::openmode which) override
    {
        return seekoff(off_type(pos), std::ios_base::beg, which);
    }

private:
    bool drain()
    {
        const auto n = static_cast<std::size_t>(pptr() - pbase());
        setp(buffer_, buffer_ + sizeof buffer_);
        return failure_.empty() && put(buffer_, n);
    }

    bool put(const char* s, std::size_t n)
    {
        while (n > 0) {
            const ssize_t done = ::write(fd_, s, n);
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                failure_ = done < 0 ? std::strerror(errno) : "nothing more could be written";
                return false;
            }
            s += done;
            n -= static_cast<std::size_t>(done);
            written_ += done;
        }
        start_writeback();
        return true;
    }

    // A saved file is made durable before it takes its name, which waits for the disk. Handing
    // the disk each stretch of the file as soon as it is written keeps that wait short, as the
    // writing goes on meanwhile.
    void start_writeback()
    {
#if defined(__linux__)
        constexpr off_t stretch = 32 << 20;
        if (written_ - handed_ < stretch)
            return;
        ::sync_file_range(fd_, handed_, written_ - handed_, SYNC_FILE_RANGE_WRITE);
        handed_ = written_;
#endif
    }

    const int fd_;
    off_t written_ = 0; // bytes handed to the file
    off_t handed_ = 0; // bytes before this have been handed to the disk
    std::string failure_;
    char buffer_[1 << 16];
};

QString from_std(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

core::result write_failed(const std::string& reason)
{
    return {core::fault::write_failed, reason};
}

// What a path names that is not a file a save may replace; empty for a regular file, a link to
// one, or nothing at all.
std::string not_a_file(const QString& path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    if (S_ISDIR(st.st_mode))
        return "a folder has that name";
    if (S_ISFIFO(st.st_mode))
        return "it is a named pipe, not a file";
    if (S_ISSOCK(st.st_mode))
        return "it is a socket, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "it is a device, not a file";
    return "it is not a file";
}

// Writes the rows in `type` into the open file `fd`, which will take the name `path`.
core::result write_body(const core::row_source& rows, int fd, save_type type, const QString& path)
{
    file_buffer buffer(fd);
    std::ostream stream(&buffer);
    core::result written;
    core::xlsx_layout layout;
    switch (type) {
    case save_type::text:
        written = core::write_text(rows, stream);
        break;
    case save_type::csv:
        written = core::write_csv(rows, stream);
        break;
    case save_type::html:
        written = core::write_html(rows, stream, QFileInfo(path).completeBaseName().toStdString());
        break;
    case save_type::xlsx:
        written = core::write_xlsx(rows, stream, layout);
        break;
    }
    stream.flush();
    // The file knows better than the stream why it refused bytes.
    if (!buffer.failure().empty())
        return write_failed(buffer.failure());
    if (!written)
        return written;
    // Made durable here, where a disk that fills at the last moment is told by its own reason.
    if (::fdatasync(fd) != 0)
        return write_failed(std::strerror(errno));
    // The workbook is read back from the file itself, by its descriptor: the file has no name yet.
    if (type == save_type::xlsx)
        return core::xlsx_reads_back("/proc/self/fd/" + std::to_string(fd), layout);
    return {};
}

} // namespace

QList<rt::file_type> save_types()
{
    return {
        {QStringLiteral("Text"), QStringLiteral("txt")},
        {QStringLiteral("CSV"), QStringLiteral("csv")},
        {QStringLiteral("HTML"), QStringLiteral("html")},
        {QStringLiteral("Excel workbook"), QStringLiteral("xlsx")},
    };
}

std::optional<save_type> save_type_named_by(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QList<rt::file_type> types = save_types();
    for (int i = 0; i < types.size(); ++i)
        if (types.at(i).extension == suffix)
            return static_cast<save_type>(i);
    return std::nullopt;
}

core::result save_rows(const core::row_source& rows, const QString& path, save_type type)
{
    if (rows.failed())
        return write_failed(failed_list);
    // A pipe, a device or a socket is never written to: a pipe with no reader would hold the
    // window for good, and none of them can be replaced whole.
    if (const std::string why = not_a_file(path); !why.empty())
        return write_failed(why);

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return write_failed(file.errorString().toStdString());
    core::work::begin_stage(0, static_cast<std::uint64_t>(std::max(0L, rows.count())));
    core::result written = write_body(rows, file.handle(), type, path);
    if (written && core::work::stop_asked())
        written = write_failed(core::work::cancelled);
    if (!written) {
        file.cancelWriting();
        file.commit();
        return written;
    }
    if (!file.commit())
        return write_failed(file.errorString().toStdString());
    return {};
}

long saveas(QWidget* parent, const core::line_table& table, const QString& folder)
{
    // No name is asked for a list that cannot be saved.
    if (table.failed()) {
        rt::messagebox(
            QStringLiteral("Save As"), QStringLiteral("Nothing was saved: %1.").arg(QString::fromUtf8(failed_list)));
        return -1;
    }
    const QList<rt::file_type> types = save_types();
    const rt::save_answer answer = rt::ask_save_file(parent, {QStringLiteral("Save As"), types, folder, QString()});
    if (!answer.error.isEmpty()) {
        rt::messagebox(QStringLiteral("Save As"), answer.error);
        return -1;
    }
    if (answer.path.isEmpty())
        return 0;

    // A name that ends in an offered type's extension is saved in that type, whichever type was
    // selected: a workbook named .xlsx must be one. Other names keep the type selected (text
    // when none came back).
    int type = answer.type >= 0 && answer.type < types.size() ? answer.type : 0;
    if (const std::optional<save_type> named = save_type_named_by(answer.path))
        type = static_cast<int>(*named);
    const QString path = rt::with_extension(answer.path, types.at(type).extension);

    const QString shown_path = QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    const auto kind = static_cast<save_type>(type);
    core::result saved;
    {
        // A workbook is read back whole after it is written, which takes about as long again.
        rt::long_work work(QStringLiteral("Saving %1...").arg(shown_path),
            kind == save_type::xlsx ? std::vector<double> {0.6, 0.4} : std::vector<double> {1.0}, true, true);
        work.run_aside([&] { saved = save_rows(table, path, kind); });
        // A save that stopped for the user wrote nothing; one that ended first stands.
        if (!saved && work.cancelled())
            return 0;
    }
    if (!saved) {
        rt::messagebox(QStringLiteral("Save As"),
            QStringLiteral("The file %1 could not be written: %2.").arg(shown_path, from_std(saved.reason())));
        return -1;
    }
    return 1;
}
