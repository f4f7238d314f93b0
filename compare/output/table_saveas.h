#pragma once
// Save As of a line table: the save dialog asks for a file name and a type, and every row,
// both columns, is written in that type. The file is replaced only once the whole of it is
// written, so a failed save leaves an earlier file at that name as it was.

#include "compare/linetable/line_table.h"
#include "runtime/core/result.h"
#include "runtime/core/row_source.h"

#include <QList>
#include <QString>

#include <optional>

class QWidget;

namespace rt {
struct file_type;
}

// The types offered, in the dialog's order.
enum class save_type { text, csv, html, xlsx };
QList<rt::file_type> save_types();
// The type whose extension `path` ends in, of those offered; none for any other name.
std::optional<save_type> save_type_named_by(const QString& path);

// Asks and writes; 1 when saved, 0 when the user cancelled (nothing is written or said), -1
// when the file could not be written, which a message box has then told the user. The dialog
// opens in `folder` (a host path) when it names one.
long saveas(QWidget* parent, const core::line_table& table, const QString& folder = QString());

// Writes `rows` to `path` in `type`, whole or not at all; fails (write_failed) with the reason.
core::result save_rows(const core::row_source& rows, const QString& path, save_type type);
