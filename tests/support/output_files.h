#pragma once
// Rows to print or save, and reading saved files back: the tests of printing and saving share them.

#include "compare/linetable/line_table.h"
#include "runtime/core/row_source.h"
#include "support/row_pairs.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QXmlStreamReader>

#include <string>
#include <utility>
#include <vector>

namespace testing {

// Appends the rows to `table`; false if the table refused one.
inline bool fill(core::line_table& table, const row_pairs& rows)
{
    for (const auto& [text, text2] : rows) {
        const long r = table.insertrow(0);
        if (r <= 0 || table.set(core::column::es_text, r, text) != 1
            || table.set(core::column::es_text2, r, text2) != 1)
            return false;
    }
    return true;
}

// Rows awkward for every file type: separators, quotes, markup, formulas, numbers with leading
// zeros, blanks kept at both ends, non-ASCII text and an empty second column.
inline row_pairs awkward_rows()
{
    return {
        {"plain", ""},
        {"a,b", "c:\\one.txt"},
        {"say \"hi\"", "x"},
        {"tab\there", "2"},
        {"=1+1", "00123"},
        {"  padded  ", "<b>&'</b>"},
        {"Zürich – 東京 ✓", "naïve"},
        {"", "only second"},
        // Names may hold a line end or a tab, and begin with a quote.
        {"alpha", "c:\\tmp\\new\nline\ttab.txt"},
        {"beta", "\"quoted\" \\ name"},
    };
}

inline QByteArray file_bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool have_tool(const char* name)
{
    return !QStandardPaths::findExecutable(QLatin1String(name)).isEmpty();
}

// One member of a zip archive, through unzip.
inline QByteArray unzip_member(const QString& archive, const QString& member)
{
    QProcess p;
    p.start(QStringLiteral("unzip"), {QStringLiteral("-p"), archive, member});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QByteArray();
    return p.readAllStandardOutput();
}

// A workbook cell as read back: its type attribute and its text.
struct xlsx_cell {
    QString type;
    QString text;
    bool formula = false;
};

// A sheet text with its "_xHHHH_" escapes undone.
inline QString xlsx_unescape(const QString& text)
{
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString out;
    int at = 0;
    auto it = escape.globalMatch(text);
    while (it.hasNext()) {
        const auto m = it.next();
        out += text.mid(at, static_cast<int>(m.capturedStart()) - at);
        out += QChar(static_cast<char16_t>(m.captured(1).toUShort(nullptr, 16)));
        at = static_cast<int>(m.capturedEnd());
    }
    return out + text.mid(at);
}

// The names of a workbook's sheets, in order.
inline QStringList xlsx_sheet_names(const QString& path)
{
    QStringList names;
    QXmlStreamReader xml(unzip_member(path, QStringLiteral("xl/workbook.xml")));
    while (!xml.atEnd())
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("sheet"))
            names << xml.attributes().value(QLatin1String("name")).toString();
    return names;
}

// A workbook's shared strings, in order.
inline QStringList xlsx_shared_strings(const QString& path)
{
    QStringList shared;
    {
        QXmlStreamReader xml(unzip_member(path, QStringLiteral("xl/sharedStrings.xml")));
        QString current;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("si"))
                current.clear();
            else if (xml.isStartElement() && xml.name() == QLatin1String("t"))
                current += xml.readElementText();
            else if (xml.isEndElement() && xml.name() == QLatin1String("si"))
                shared << current;
        }
    }
    return shared;
}

// The cells of a sheet (the first unless told) by reference ("A1"), shared strings and escapes
// resolved.
inline QMap<QString, xlsx_cell> xlsx_cells(const QString& path, int sheet = 1)
{
    const QStringList shared = xlsx_shared_strings(path);
    QMap<QString, xlsx_cell> cells;
    QXmlStreamReader xml(unzip_member(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(sheet)));
    QString ref, row;
    QChar column;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("row")) {
            row = xml.attributes().value(QLatin1String("r")).toString();
            column = QChar();
        } else if (xml.name() == QLatin1String("c")) {
            // A cell without a reference stands after the one before it, as readers place it.
            ref = xml.attributes().value(QLatin1String("r")).toString();
            column = ref.isEmpty() ? (column.isNull() ? QLatin1Char('A') : QChar(column.unicode() + 1)) : ref.at(0);
            if (ref.isEmpty())
                ref = column + row;
            cells[ref].type = xml.attributes().value(QLatin1String("t")).toString();
        } else if (xml.name() == QLatin1String("f")) {
            cells[ref].formula = true;
        } else if (xml.name() == QLatin1String("t")) {
            cells[ref].text += xml.readElementText();
        } else if (xml.name() == QLatin1String("v")) {
            const QString v = xml.readElementText();
            cells[ref].text = cells[ref].type == QLatin1String("s") ? shared.value(v.toInt()) : v;
        }
    }
    for (auto it = cells.begin(); it != cells.end(); ++it)
        it->text = xlsx_unescape(it->text);
    return cells;
}

} // namespace testing
