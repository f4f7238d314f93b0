#include "compare/output/table_saveas.h"

#include "compare/output/table_writers.h"
#include "runtime/message_box.h"
#include "runtime/save_dialog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include <memory>
#include <ostream>
#include <streambuf>

#if defined(__linux__)
#include <fcntl.h>
#endif

namespace {

// A stream buffer over a Qt device, so the writers stream straight into the file.
class device_buffer : public std::streambuf {
public:
    explicit device_buffer(QIODevice& device)
        : device_(device)
    {
        setp(buffer_, buffer_ + sizeof buffer_);
    }

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
    // The writers hand over large pieces: those go to the device as they are, not copied through
    // the buffer first.
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n < static_cast<std::streamsize>(sizeof buffer_))
            return std::streambuf::xsputn(s, n);
        if (!drain() || device_.write(s, n) != n) {
            failed_ = true;
            return 0;
        }
        written_ += n;
        start_writeback();
        return n;
    }

public:
    // True once the device refused bytes; its error string then says why.
    bool failed() const { return failed_; }

private:
    bool drain()
    {
        const qint64 n = pptr() - pbase();
        if (failed_ || (n > 0 && device_.write(pbase(), n) != n)) {
            failed_ = true;
            return false;
        }
        written_ += n;
        setp(buffer_, buffer_ + sizeof buffer_);
        return true;
    }

    // A saved file is made durable before it takes its name, which waits for the disk. Handing
    // the disk each stretch of the file as soon as it is written keeps that wait short, as the
    // writing goes on meanwhile.
    void start_writeback()
    {
#if defined(__linux__)
        constexpr qint64 stretch = 32 << 20;
        if (written_ - handed_ < stretch)
            return;
        if (auto* file = qobject_cast<QFileDevice*>(&device_); file && file->handle() >= 0) {
            file->flush();
            ::sync_file_range(file->handle(), handed_, written_ - handed_, SYNC_FILE_RANGE_WRITE);
        }
        handed_ = written_;
#endif
    }

    QIODevice& device_;
    qint64 written_ = 0; // bytes handed to the device
    qint64 handed_ = 0; // bytes before this have been handed to the disk
    bool failed_ = false;
    char buffer_[1 << 16];
};

QString from_std(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QByteArray native_path(const QString& path)
{
    return QFile::encodeName(path);
}

core::result write_failed(const QString& reason)
{
    return {core::fault::write_failed, reason.toStdString()};
}

// The workbook is built in a file of its own in `work_dir`, then copied into `out`.
core::result write_workbook(const core::row_source& rows, QIODevice& out, const QString& work_dir)
{
    QTemporaryFile built(work_dir + QStringLiteral("/.tovik-XXXXXX.xlsx"));
    if (!built.open())
        return write_failed(built.errorString());
    built.close();
    if (core::result written
        = core::write_xlsx(rows, native_path(built.fileName()).toStdString(), native_path(work_dir).toStdString());
        !written)
        return written;
    QFile in(built.fileName());
    if (!in.open(QIODevice::ReadOnly))
        return write_failed(in.errorString());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 16)).isEmpty()) {
        if (out.write(chunk) != chunk.size())
            return write_failed(out.errorString());
    }
    if (in.error() != QFileDevice::NoError)
        return write_failed(in.errorString());
    return {};
}

core::result write_body(
    const core::row_source& rows, QIODevice& out, save_type type, const QString& path, const QString& work_dir)
{
    if (type == save_type::xlsx)
        return write_workbook(rows, out, work_dir);

    device_buffer buffer(out);
    std::ostream stream(&buffer);
    core::result written;
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
        break;
    }
    // The device knows better than the stream why it refused bytes.
    if (!written && buffer.failed())
        return write_failed(out.errorString());
    return written;
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
    const QFileInfo target(path);
    if (target.isDir())
        return {core::fault::write_failed, "a folder has that name"};
    // A device or a pipe cannot be replaced by a new file; it is written in place.
    const bool in_place = target.exists() && !target.isFile();
    const QString work_dir = in_place ? QDir::tempPath() : target.absolutePath();

    if (in_place) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return write_failed(file.errorString());
        core::result written = write_body(rows, file, type, path, work_dir);
        if (written && !file.flush())
            written = write_failed(file.errorString());
        file.close();
        if (written && file.error() != QFileDevice::NoError)
            written = write_failed(file.errorString());
        return written;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return write_failed(file.errorString());
    if (core::result written = write_body(rows, file, type, path, work_dir); !written) {
        file.cancelWriting();
        file.commit();
        return written;
    }
    if (!file.commit())
        return write_failed(file.errorString());
    return {};
}

long saveas(QWidget* parent, const core::line_table& table, const QString& folder)
{
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

    if (const core::result saved = save_rows(table, path, static_cast<save_type>(type)); !saved) {
        rt::messagebox(QStringLiteral("Save As"),
            QStringLiteral("The file %1 could not be written: %2.")
                .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), from_std(saved.reason())));
        return -1;
    }
    return 1;
}
