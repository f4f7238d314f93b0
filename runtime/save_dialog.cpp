#include "runtime/save_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

namespace rt {

namespace {

QString filter_of(const file_type& type)
{
    return type.name + QStringLiteral(" (*.") + type.extension + QLatin1Char(')');
}

// The file dialog reads its history and layout from the user's settings when it is built and
// writes them back when it is destroyed. While it exists, user-scope settings point into a
// folder of their own that goes away afterwards, so nothing is read or left behind.
class settings_quarantine {
public:
    settings_quarantine()
    {
        if (folder_.isValid()) {
            QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder_.path());
            QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder_.path());
        }
    }
    ~settings_quarantine()
    {
        const QString home = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home);
    }
    settings_quarantine(const settings_quarantine&) = delete;
    settings_quarantine& operator=(const settings_quarantine&) = delete;

    bool isolated() const { return folder_.isValid(); }

private:
    QTemporaryDir folder_;
};

// The chosen type's extension is added to a name typed without one before the dialog asks
// about replacing a file, so that it asks about the file that will be written.
class save_file_dialog : public QFileDialog {
public:
    save_file_dialog(QWidget* parent, const save_request& request)
        : QFileDialog(parent, request.caption)
        , types_(request.types)
    {
        // The desktop's own dialog would keep a list of recent files; this one keeps none.
        setOption(QFileDialog::DontUseNativeDialog, true);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        for (const file_type& type : types_)
            filters_ << filter_of(type);
        setNameFilters(filters_);
        // Where the user is browsing, not the program's working folder.
        const QFileInfo folder(request.folder);
        setDirectory(!request.folder.isEmpty() && folder.isDir() ? folder.absoluteFilePath() : QDir::homePath());
        if (!request.name.isEmpty())
            selectFile(request.name);
    }

    int chosen_type() const { return static_cast<int>(filters_.indexOf(selectedNameFilter())); }

protected:
    void accept() override
    {
        const int type = chosen_type();
        setDefaultSuffix(type >= 0 ? types_.at(type).extension : QString());
        QFileDialog::accept();
    }

private:
    QList<file_type> types_;
    QStringList filters_;
};

save_answer run_file_dialog(QWidget* parent, const save_request& request)
{
    settings_quarantine quarantine;
    if (!quarantine.isolated()) {
        save_answer refused;
        refused.error = QStringLiteral("The save dialog needs a temporary folder and none could be made.");
        return refused;
    }

    save_answer answer;
    {
        save_file_dialog dialog(parent, request);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
            answer.path = dialog.selectedFiles().first();
            answer.type = dialog.chosen_type();
        }
    }
    return answer;
}

} // namespace

save_answer ask_save_file(QWidget* parent, const save_request& request)
{
    if (const auto stand_in = save_dialog_seam().stand_in())
        return (*stand_in)(request);
    return run_file_dialog(parent, request);
}

QString with_extension(const QString& path, const QString& extension)
{
    if (path.isEmpty() || extension.isEmpty())
        return path;
    const QString name = QFileInfo(path).fileName();
    // A leading dot names a hidden file; it is no extension.
    const int dot = static_cast<int>(name.lastIndexOf(QLatin1Char('.')));
    if (dot > 0 && dot + 1 < name.size())
        return path;
    if (dot > 0 && dot + 1 == name.size())
        return path + extension;
    return path + QLatin1Char('.') + extension;
}

core::seam<save_dialog_hook>& save_dialog_seam()
{
    static core::seam<save_dialog_hook> seam;
    return seam;
}

} // namespace rt
