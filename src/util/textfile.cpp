#include "util/textfile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace qrv {

static QString decodeCp1252(const QByteArray &b) {
  // The 0x80..0x9F block of Windows-1252; the rest of the upper half is Latin-1.
  static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  QString out(b.size(), Qt::Uninitialized);
  QChar *d = out.data();
  for (qsizetype i = 0; i < b.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(b[i]);
    d[i] = (c >= 0x80 && c < 0xA0) ? QChar(high[c - 0x80]) : QChar(c);
  }
  return out;
}

QString DecodeText(const QByteArray &bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
  if (bytes.startsWith("\xFF\xFE")) {
    QStringDecoder dec(QStringConverter::Utf16LE);
    return dec.decode(QByteArrayView(bytes).sliced(2));
  }
  if (bytes.startsWith("\xFE\xFF")) {
    QStringDecoder dec(QStringConverter::Utf16BE);
    return dec.decode(QByteArrayView(bytes).sliced(2));
  }
  QStringDecoder utf8(QStringConverter::Utf8, QStringDecoder::Flag::Stateless);
  QString s = utf8.decode(bytes);
  if (!utf8.hasError()) return s;
  return decodeCp1252(bytes);
}

QString ReadTextFile(const QString &path, bool *ok, QString *error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    if (ok) *ok = false;
    if (error) *error = f.errorString();
    return QString();
  }
  if (ok) *ok = true;
  return DecodeText(f.readAll());
}

QStringList SplitLines(const QString &text) {
  QStringList lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text.at(i);
    if (c == u'\r' || c == u'\n') {
      lines.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text.at(i + 1) == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) lines.append(text.mid(start));
  return lines;
}

QStringList ReadTextFileLines(const QString &path, bool *ok) { return SplitLines(ReadTextFile(path, ok)); }

QString ReadTextFileCrLf(const QString &path, bool *ok, QString *error) {
  return SplitLines(ReadTextFile(path, ok, error)).join(QStringLiteral("\r\n"));
}

bool WriteTextFileAtomic(const QString &path, const QString &text, QString *error) {
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) {
    if (error) *error = f.errorString();
    return false;
  }
  const QByteArray b = text.toUtf8();
  if (f.write(b) != b.size() || !f.commit()) {
    if (error) *error = f.errorString();
    return false;
  }
  return true;
}

}  // namespace qrv
