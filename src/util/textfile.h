#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace qrv {

// Decodes file bytes: a UTF-8 or UTF-16 (LE/BE) byte-order mark decides; without one, valid UTF-8 is
// UTF-8 and anything else is Windows-1252.
QString DecodeText(const QByteArray &bytes);

// Reads a whole text file with DecodeText. A missing or unreadable file gives ok = false and an empty text.
QString ReadTextFile(const QString &path, bool *ok = nullptr, QString *error = nullptr);

// The lines of a text file (CR LF, LF or CR breaks).
QStringList ReadTextFileLines(const QString &path, bool *ok = nullptr);

// The file's lines joined with CR LF, as scripts are read.
QString ReadTextFileCrLf(const QString &path, bool *ok = nullptr, QString *error = nullptr);

// Splits a text into lines at CR LF, LF or CR.
QStringList SplitLines(const QString &text);

// Writes UTF-8 without a byte-order mark through a temporary file renamed over the target.
bool WriteTextFileAtomic(const QString &path, const QString &text, QString *error = nullptr);

}  // namespace qrv
