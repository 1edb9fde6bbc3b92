#include "dal/connection.h"

#include <cmath>

#include "dal/dalutil.h"

namespace qrv::dal {

QString ConnParams::value(const QString &key, const QString &def) const {
  for (const auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) return p.second;
  return def;
}

bool ConnParams::contains(const QString &key) const {
  for (const auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) return true;
  return false;
}

void ConnParams::set(const QString &key, const QString &value) {
  for (auto &p : items_)
    if (p.first.compare(key, Qt::CaseInsensitive) == 0) {
      p.second = value;
      return;
    }
  items_.append({key, value});
}

void ConnParams::remove(const QString &key) {
  items_.removeIf([&](const auto &p) { return p.first.compare(key, Qt::CaseInsensitive) == 0; });
}

QString Connection::quoteLiteral(const QVariant &value) const {
  if (value.isNull() || !value.isValid()) return QStringLiteral("NULL");
  switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return value.toString();
    case QMetaType::Double:
    case QMetaType::Float: {
      const double d = value.toDouble();
      if (!std::isfinite(d)) return QStringLiteral("NULL");
      return QString::number(d, 'g', 17);
    }
    case QMetaType::QByteArray:
      return QStringLiteral("X'%1'").arg(QString::fromLatin1(value.toByteArray().toHex().toUpper()));
    default:
      return SqlQuoted(value.toString());
  }
}

std::unique_ptr<Cursor> Connection::executeParams(const QString &sql, const QStringList &params, DbError *err) {
  QString text;
  text.reserve(sql.size() + 16 * params.size());
  QChar quote;  // the quote character of the literal or name being copied, else null
  for (qsizetype i = 0; i < sql.size(); ++i) {
    const QChar ch = sql[i];
    if (!quote.isNull()) {
      if (ch == quote) quote = QChar();
    } else if (ch == u'\'' || ch == u'"' || ch == u'`') {
      quote = ch;
    } else if (ch == u'$' && i + 1 < sql.size() && sql[i + 1].isDigit()) {
      qsizetype end = i + 1;
      while (end < sql.size() && sql[end].isDigit()) ++end;
      const int n = sql.mid(i + 1, end - i - 1).toInt();
      if (n >= 1 && n <= params.size()) {
        text += quoteLiteral(params[n - 1]);
        i = end - 1;
        continue;
      }
    }
    text += ch;
  }
  return execute(text, err);
}

QString Connection::quoteIdentifier(const QString &name) const {
  QString s = name;
  s.replace(u'"', QLatin1String("\"\""));
  return u'"' + s + u'"';
}

}  // namespace qrv::dal
