#pragma once
// Source files made by the tests themselves: bytes written into a temporary folder.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <string>

namespace testing {

// Writes `bytes` to `name` in `dir` and returns its host path.
inline std::string write_source(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = QDir(dir.path()).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path.toStdString();
}

// The text in UTF-16 (little- or big-endian), without a byte-order mark.
inline QByteArray utf16_bytes(const QString& text, bool big_endian)
{
    QByteArray out;
    for (const QChar c : text) {
        const char hi = static_cast<char>(c.unicode() >> 8);
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        out.append(big_endian ? hi : lo);
        out.append(big_endian ? lo : hi);
    }
    return out;
}

} // namespace testing
