#include "dal/rowset.h"

#include <QLocale>
#include <cstdlib>

namespace qrv::dal {

RowSet::RowSet(FieldDefs fields) : fields_(std::move(fields)) {
  cols_.resize(size_t(fields_.size()));
  for (int i = 0; i < fields_.size(); ++i) cols_[size_t(i)].kind = StorageOf(fields_[i].type);
}

int RowSet::fieldIndex(const QString &name) const {
  for (int i = 0; i < fields_.size(); ++i)
    if (fields_[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

void RowSet::reserve(qsizetype rows) {
  for (Column &c : cols_) {
    switch (c.kind) {
      case StorageKind::Int64: c.ints.reserve(size_t(rows)); break;
      case StorageKind::Double: c.dbls.reserve(size_t(rows)); break;
      default: c.ends.reserve(size_t(rows)); break;
    }
    c.nulls.reserve(size_t(rows + 63) / 64);
  }
}

void RowSet::clear() {
  for (Column &c : cols_) {
    const StorageKind k = c.kind;
    c = Column();
    c.kind = k;
  }
  rows_ = 0;
}

void RowSet::markRow(Column &c, bool isNull) {
  const size_t r = size_t(c.filled);
  if ((r & 63) == 0) c.nulls.push_back(0);
  if (isNull) c.nulls.back() |= quint64(1) << (r & 63);
  ++c.filled;
}

void RowSet::appendNull(int col) {
  Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: c.ints.push_back(0); break;
    case StorageKind::Double: c.dbls.push_back(0); break;
    default: c.ends.push_back(c.data.size()); break;
  }
  markRow(c, true);
}

void RowSet::appendInt(int col, qint64 v) {
  Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: c.ints.push_back(v); break;
    case StorageKind::Double: c.dbls.push_back(double(v)); break;
    default: {
      const QByteArray b = QByteArray::number(v);
      c.data.insert(c.data.end(), b.begin(), b.end());
      c.ends.push_back(c.data.size());
    }
  }
  markRow(c, false);
}

void RowSet::appendDouble(int col, double v) {
  Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: c.ints.push_back(qint64(v)); break;
    case StorageKind::Double: c.dbls.push_back(v); break;
    default: {
      const QByteArray b = QByteArray::number(v, 'g', 17);
      c.data.insert(c.data.end(), b.begin(), b.end());
      c.ends.push_back(c.data.size());
    }
  }
  markRow(c, false);
}

void RowSet::appendUtf8(int col, const char *data, qsizetype len) {
  Column &c = cols_[size_t(col)];
  if (c.kind == StorageKind::Int64 || c.kind == StorageKind::Double) {
    appendFromText(col, data, len);
    return;
  }
  c.data.insert(c.data.end(), data, data + len);
  c.ends.push_back(c.data.size());
  markRow(c, false);
}

void RowSet::appendText(int col, QStringView text) {
  const QByteArray b = text.toUtf8();
  appendUtf8(col, b.constData(), b.size());
}

void RowSet::appendBytes(int col, const char *data, qsizetype len) { appendUtf8(col, data, len); }

void RowSet::appendFromText(int col, const char *data, qsizetype len) {
  Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: {
      // Booleans arrive as t/f, true/false or digits.
      qint64 v = 0;
      if (len > 0 && (data[0] == 't' || data[0] == 'T' || data[0] == 'y' || data[0] == 'Y'))
        v = 1;
      else if (len > 0 && (data[0] == 'f' || data[0] == 'F' || data[0] == 'n' || data[0] == 'N'))
        v = 0;
      else
        v = QByteArrayView(data, len).toLongLong();
      c.ints.push_back(v);
      markRow(c, false);
      return;
    }
    case StorageKind::Double: {
      bool ok = false;
      double v = QByteArrayView(data, len).toDouble(&ok);
      if (!ok) {
        // Currency texts such as "$1,234.50".
        QByteArray b;
        for (qsizetype i = 0; i < len; ++i)
          if ((data[i] >= '0' && data[i] <= '9') || data[i] == '.' || data[i] == '-' || data[i] == 'e' ||
              data[i] == 'E')
            b += data[i];
        v = b.toDouble();
      }
      c.dbls.push_back(v);
      markRow(c, false);
      return;
    }
    default:
      c.data.insert(c.data.end(), data, data + len);
      c.ends.push_back(c.data.size());
      markRow(c, false);
  }
}

void RowSet::appendRowFrom(const RowSet &o, qsizetype r) {
  for (int col = 0; col < fieldCount(); ++col) {
    if (o.isNull(r, col)) {
      appendNull(col);
      continue;
    }
    switch (o.storage(col)) {
      case StorageKind::Int64: appendInt(col, o.intValue(r, col)); break;
      case StorageKind::Double: appendDouble(col, o.doubleValue(r, col)); break;
      default: {
        const QByteArrayView v = o.utf8(r, col);
        appendUtf8(col, v.data(), v.size());
      }
    }
  }
  endRow();
}

qint64 RowSet::intValue(qsizetype row, int col) const {
  const Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: return c.ints[size_t(row)];
    case StorageKind::Double: return qint64(c.dbls[size_t(row)]);
    default: return utf8(row, col).toLongLong();
  }
}

double RowSet::doubleValue(qsizetype row, int col) const {
  const Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64: return double(c.ints[size_t(row)]);
    case StorageKind::Double: return c.dbls[size_t(row)];
    default: return utf8(row, col).toDouble();
  }
}

QByteArrayView RowSet::utf8(qsizetype row, int col) const {
  const Column &c = cols_[size_t(col)];
  if (c.kind == StorageKind::Int64 || c.kind == StorageKind::Double) return {};
  const quint64 end = c.ends[size_t(row)];
  const quint64 start = row == 0 ? 0 : c.ends[size_t(row) - 1];
  return QByteArrayView(c.data.data() + start, qsizetype(end - start));
}

QString RowSet::text(qsizetype row, int col) const {
  if (isNull(row, col)) return QString();
  const Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64:
      if (fields_[col].type == FieldType::Boolean)
        return c.ints[size_t(row)] ? QStringLiteral("True") : QStringLiteral("False");
      return QString::number(c.ints[size_t(row)]);
    case StorageKind::Double: return QString::number(c.dbls[size_t(row)], 'g', 15);
    case StorageKind::Bytes: return QString::fromLatin1(utf8(row, col).toByteArray().toHex().toUpper());
    default: return QString::fromUtf8(utf8(row, col));
  }
}

QVariant RowSet::value(qsizetype row, int col) const {
  if (isNull(row, col)) return QVariant();
  const Column &c = cols_[size_t(col)];
  switch (c.kind) {
    case StorageKind::Int64:
      if (fields_[col].type == FieldType::Boolean) return QVariant(c.ints[size_t(row)] != 0);
      return QVariant(c.ints[size_t(row)]);
    case StorageKind::Double: return QVariant(c.dbls[size_t(row)]);
    case StorageKind::Bytes: return QVariant(utf8(row, col).toByteArray());
    default: return QVariant(QString::fromUtf8(utf8(row, col)));
  }
}

size_t RowSet::memoryUsed() const {
  size_t n = 0;
  for (const Column &c : cols_)
    n += c.ints.capacity() * 8 + c.dbls.capacity() * 8 + c.data.capacity() + c.ends.capacity() * 8 +
         c.nulls.capacity() * 8;
  return n;
}

void RowSet::changeFieldType(int col, FieldType type) {
  Column old = std::move(cols_[size_t(col)]);
  fields_[col].type = type;
  Column &c = cols_[size_t(col)];
  c = Column();
  c.kind = StorageOf(type);
  if (c.kind == old.kind) {
    const StorageKind k = c.kind;
    c = std::move(old);
    c.kind = k;
    return;
  }
  for (qsizetype r = 0; r < old.filled; ++r) {
    if ((old.nulls[size_t(r) >> 6] >> (r & 63)) & 1) {
      appendNull(col);
      continue;
    }
    switch (old.kind) {
      case StorageKind::Int64: appendInt(col, old.ints[size_t(r)]); break;
      case StorageKind::Double:
        if (c.kind == StorageKind::Int64) {
          appendDouble(col, old.dbls[size_t(r)]);
        } else {
          const QByteArray b = QByteArray::number(old.dbls[size_t(r)], 'g', QLocale::FloatingPointShortest);
          appendUtf8(col, b.constData(), b.size());
        }
        break;
      default: {
        const quint64 start = r == 0 ? 0 : old.ends[size_t(r) - 1];
        appendUtf8(col, old.data.data() + start, qsizetype(old.ends[size_t(r)] - start));
      }
    }
  }
}

}  // namespace qrv::dal
