#include "dal/memtable.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <numeric>
#include <string_view>
#include <unordered_set>

namespace qrv::dal {

static const FieldDefs kNoFields;

MemTable::MemTable() : self_(std::make_shared<MemTable *>(this)) {}

MemTable::MemTable(RowSetPtr rows) : MemTable() { setRows(std::move(rows)); }

MemTable::~MemTable() { *self_ = nullptr; }

void MemTable::reset() {
  order_.clear();
  sorted_ = false;
  indexFields_.clear();
  natural_.clear();
  hasNatural_ = false;
  inserted_ = 0;
  status_.clear();
  edited_.clear();
  log_.clear();
  state_ = DataSetState::Browse;
  buffer_.clear();
  bufferChanged_ = false;
  ++generation_;
}

void MemTable::setRows(RowSetPtr rows) {
  rows_ = std::move(rows);
  reset();
  first();
}

void MemTable::copyFrom(const RowSet &rows) { setRows(std::make_shared<RowSet>(rows)); }

static void AppendValue(RowSet &rs, int col, const QVariant &v) {
  if (!v.isValid() || v.isNull()) {
    rs.appendNull(col);
    return;
  }
  switch (rs.storage(col)) {
    case StorageKind::Int64: rs.appendInt(col, v.typeId() == QMetaType::Bool ? v.toBool() : v.toLongLong()); break;
    case StorageKind::Double: rs.appendDouble(col, v.toDouble()); break;
    case StorageKind::Bytes: {
      const QByteArray b = v.toByteArray();
      rs.appendBytes(col, b.constData(), b.size());
      break;
    }
    default: rs.appendText(col, v.toString());
  }
}

void MemTable::copyFrom(const MemTable &other) {
  if (!other.active()) {
    close();
    return;
  }
  auto rs = std::make_shared<RowSet>(other.fields());
  const RowSet &src = *other.rows_;
  const qsizetype base = src.rowCount();
  const qsizetype n = other.naturalCount();
  rs->reserve(n);
  for (qsizetype p = 0; p < n; ++p) {
    const qsizetype row = other.naturalRow(p);
    if (other.rowStatus(row) == UpdateStatus::Deleted) continue;
    if (const QVector<QVariant> *ov = other.rowOverlay(row)) {
      for (int c = 0; c < rs->fieldCount(); ++c) AppendValue(*rs, c, ov->value(c));
      rs->endRow();
    } else if (row < base) {
      rs->appendRowFrom(src, row);
    }
  }
  setRows(std::move(rs));
}

void MemTable::createDataSet(const FieldDefs &fields) { setRows(std::make_shared<RowSet>(fields)); }

void MemTable::close() {
  rows_.reset();
  reset();
  cur_ = 0;
  eof_ = bof_ = true;
}

const FieldDefs &MemTable::fields() const { return rows_ ? rows_->fields() : kNoFields; }

void MemTable::setFieldReadOnly(int field, bool readOnly) {
  if (rows_ && field >= 0 && field < rows_->fieldCount()) rows_->fields()[field].readOnly = readOnly;
}

qsizetype MemTable::naturalCount() const { return hasNatural_ ? qsizetype(natural_.size()) : physCount(); }

qsizetype MemTable::visibleCount() const { return sorted_ ? qsizetype(order_.size()) : naturalCount(); }

qsizetype MemTable::recordCount() const {
  return visibleCount() + (state_ == DataSetState::Insert ? 1 : 0);
}

qsizetype MemTable::recordRow(qsizetype idx) const {
  if (idx < 0 || idx >= visibleCount()) return -1;
  return sorted_ ? order_[size_t(idx)] : naturalRow(idx);
}

void MemTable::setRecNo(qsizetype recNo) {
  const qsizetype n = recordCount();
  if (n == 0) return;
  if (state_ != DataSetState::Browse && std::clamp<qsizetype>(recNo, 1, n) - 1 != cur_) checkBrowse();
  const qsizetype m = recordCount();
  if (m == 0) return;
  cur_ = std::clamp<qsizetype>(recNo, 1, m) - 1;
  eof_ = bof_ = false;
}

void MemTable::first() {
  checkBrowse();
  cur_ = 0;
  bof_ = true;
  eof_ = recordCount() == 0;
}

void MemTable::last() {
  checkBrowse();
  const qsizetype n = recordCount();
  cur_ = n > 0 ? n - 1 : 0;
  eof_ = n == 0;
  bof_ = n == 0;
}

void MemTable::next() {
  checkBrowse();
  if (cur_ + 1 < recordCount()) {
    ++cur_;
    bof_ = false;
  } else {
    eof_ = true;
  }
}

void MemTable::prior() {
  checkBrowse();
  if (cur_ > 0) {
    --cur_;
    eof_ = false;
  } else {
    bof_ = true;
  }
}

qsizetype MemTable::rowOfRecNo(qsizetype recNo) const { return recordRow(recNo - 1); }

qsizetype MemTable::currentRow() const { return recordCount() == 0 ? -1 : recordRow(cur_); }

void MemTable::checkBrowse() {
  if (state_ == DataSetState::Insert && !bufferChanged_) cancel();
  else if (state_ != DataSetState::Browse) post();
}

void MemTable::clampCursor() {
  const qsizetype n = recordCount();
  cur_ = n == 0 ? 0 : std::clamp<qsizetype>(cur_, 0, n - 1);
  if (n == 0) eof_ = bof_ = true;
}

// ---- Values ----

bool MemTable::rowIsNull(qsizetype row, int field) const {
  if (row < 0 || field < 0 || field >= fieldCount()) return true;
  if (const QVector<QVariant> *ov = rowOverlay(row)) return !ov->value(field).isValid();
  return row >= rows_->rowCount() || rows_->isNull(row, field);
}

QString MemTable::rowText(qsizetype row, int field) const {
  if (row < 0 || field < 0 || field >= fieldCount()) return QString();
  if (const QVector<QVariant> *ov = rowOverlay(row)) return ValueText(fields()[field], ov->value(field));
  return row < rows_->rowCount() ? rows_->text(row, field) : QString();
}

QVariant MemTable::rowValue(qsizetype row, int field) const {
  if (row < 0 || field < 0 || field >= fieldCount()) return QVariant();
  if (const QVector<QVariant> *ov = rowOverlay(row)) return ov->value(field);
  return row < rows_->rowCount() ? rows_->value(row, field) : QVariant();
}

QVariant MemTable::originalValue(qsizetype row, int field) const {
  for (const LogEntry &e : log_) {
    if (e.row != row) continue;
    if (e.prevHadValues) return e.prevValues.value(field);
    return row < rows_->rowCount() && field >= 0 && field < fieldCount() ? rows_->value(row, field) : QVariant();
  }
  return rowValue(row, field);
}

QVector<QVariant> MemTable::currentValues(qsizetype row) const {
  if (const QVector<QVariant> *ov = rowOverlay(row)) return *ov;
  QVector<QVariant> v(fieldCount());
  for (int c = 0; c < fieldCount(); ++c) v[c] = rowValue(row, c);
  return v;
}

bool MemTable::isNull(int field) const {
  if (field < 0 || field >= fieldCount()) return true;
  if (state_ != DataSetState::Browse) return !buffer_.value(field).isValid();
  return rowIsNull(currentRow(), field);
}

QString MemTable::text(int field) const {
  if (field < 0 || field >= fieldCount()) return QString();
  if (state_ != DataSetState::Browse) return ValueText(fields()[field], buffer_.value(field));
  return rowText(currentRow(), field);
}

QVariant MemTable::value(int field) const {
  if (field < 0 || field >= fieldCount()) return QVariant();
  if (state_ != DataSetState::Browse) return buffer_.value(field);
  return rowValue(currentRow(), field);
}

QString MemTable::ValueText(const FieldDef &f, const QVariant &v) {
  if (!v.isValid() || v.isNull()) return QString();
  switch (StorageOf(f.type)) {
    case StorageKind::Int64:
      if (f.type == FieldType::Boolean) return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
      return QString::number(v.toLongLong());
    case StorageKind::Double: return QString::number(v.toDouble(), 'g', 15);
    case StorageKind::Bytes: return QString::fromLatin1(v.toByteArray().toHex().toUpper());
    default: return v.toString();
  }
}

static bool IsDecimalText(QStringView s) {
  qsizetype i = 0;
  if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) ++i;
  bool digits = false, dot = false;
  for (; i < s.size(); ++i) {
    if (s[i].isDigit() && s[i].unicode() < 128) {
      digits = true;
    } else if (s[i] == u'.' && !dot) {
      dot = true;
    } else if ((s[i] == u'e' || s[i] == u'E') && digits) {
      ++i;
      if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) ++i;
      if (i >= s.size()) return false;
      for (; i < s.size(); ++i)
        if (!(s[i].isDigit() && s[i].unicode() < 128)) return false;
      return true;
    } else {
      return false;
    }
  }
  return digits;
}

static bool IntegerRange(FieldType t, qint64 *lo, qint64 *hi) {
  switch (t) {
    case FieldType::Smallint: *lo = -32768; *hi = 32767; return true;
    case FieldType::Integer: case FieldType::AutoInc: *lo = INT32_MIN; *hi = INT32_MAX; return true;
    case FieldType::Word: *lo = 0; *hi = 65535; return true;
    case FieldType::Byte: *lo = 0; *hi = 255; return true;
    case FieldType::Shortint: *lo = -128; *hi = 127; return true;
    case FieldType::LongWord: *lo = 0; *hi = 4294967295LL; return true;
    default: return false;
  }
}

bool MemTable::ConvertValue(const FieldDef &f, const QVariant &in, QVariant *out, QString *err) {
  auto fail = [&](const QString &what) {
    if (err) *err = QStringLiteral("'%1' is not a valid %2 value for field '%3'").arg(in.toString(), what, f.name);
    return false;
  };
  if (!in.isValid() || in.isNull()) {
    *out = QVariant();
    return true;
  }
  const int tid = in.typeId();
  const bool isText = tid == QMetaType::QString || tid == QMetaType::QByteArray;
  switch (StorageOf(f.type)) {
    case StorageKind::Int64: {
      if (f.type == FieldType::Boolean) {
        if (tid == QMetaType::Bool) {
          *out = in;
          return true;
        }
        if (isText) {
          const QString s = in.toString().trimmed().toLower();
          if (s == u"true" || s == u"t" || s == u"yes" || s == u"y" || s == u"1") *out = QVariant(true);
          else if (s == u"false" || s == u"f" || s == u"no" || s == u"n" || s == u"0") *out = QVariant(false);
          else return fail(QStringLiteral("boolean"));
          return true;
        }
        bool ok = false;
        const double d = in.toDouble(&ok);
        if (!ok) return fail(QStringLiteral("boolean"));
        *out = QVariant(d != 0);
        return true;
      }
      qint64 v = 0;
      bool ok = false;
      if (isText) {
        v = in.toString().trimmed().toLongLong(&ok);
      } else if (tid == QMetaType::Double || tid == QMetaType::Float) {
        const double d = in.toDouble();
        ok = d == double(qint64(d)) && d >= -9.2e18 && d <= 9.2e18;
        v = qint64(d);
      } else {
        v = in.toLongLong(&ok);
      }
      if (!ok) return fail(QStringLiteral("integer"));
      qint64 lo = 0, hi = 0;
      if (IntegerRange(f.type, &lo, &hi) && (v < lo || v > hi)) {
        if (err) *err = QStringLiteral("Value %1 is out of range for field '%2'").arg(v).arg(f.name);
        return false;
      }
      *out = QVariant(v);
      return true;
    }
    case StorageKind::Double: {
      bool ok = false;
      const double d = isText ? in.toString().trimmed().toDouble(&ok) : in.toDouble(&ok);
      if (!ok) return fail(QStringLiteral("floating point"));
      *out = QVariant(d);
      return true;
    }
    case StorageKind::Bytes:
      *out = QVariant(tid == QMetaType::QByteArray ? in.toByteArray() : in.toString().toUtf8());
      return true;
    case StorageKind::Text: break;
  }
  switch (f.type) {
    case FieldType::BCD: case FieldType::FMTBcd: {
      QString s;
      if (tid == QMetaType::Double || tid == QMetaType::Float) s = QString::number(in.toDouble(), 'g', 17);
      else s = in.toString().trimmed();
      if (!IsDecimalText(s)) return fail(QStringLiteral("BCD"));
      *out = QVariant(s);
      return true;
    }
    case FieldType::Date: {
      if (tid == QMetaType::QDate || tid == QMetaType::QDateTime) {
        *out = QVariant(in.toDate().toString(Qt::ISODate));
        return true;
      }
      const QString s = in.toString().trimmed();
      if (!QDate::fromString(s, Qt::ISODate).isValid()) return fail(QStringLiteral("date"));
      *out = QVariant(s);
      return true;
    }
    case FieldType::Time: {
      if (tid == QMetaType::QTime) {
        *out = QVariant(in.toTime().toString(Qt::ISODateWithMs));
        return true;
      }
      const QString s = in.toString().trimmed();
      if (!QTime::fromString(s, Qt::ISODateWithMs).isValid() && !QTime::fromString(s, Qt::ISODate).isValid())
        return fail(QStringLiteral("time"));
      *out = QVariant(s);
      return true;
    }
    case FieldType::DateTime: case FieldType::TimeStamp: case FieldType::OraTimeStamp: {
      if (tid == QMetaType::QDateTime) {
        QString s = in.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        if (s.endsWith(QLatin1String(".000"))) s.chop(4);
        *out = QVariant(s);
        return true;
      }
      const QString s = in.toString().trimmed();
      QString iso = s;
      if (iso.size() > 10 && iso[10] == u' ') iso[10] = u'T';
      if (!QDateTime::fromString(iso, Qt::ISODateWithMs).isValid() && !QDate::fromString(s, Qt::ISODate).isValid())
        return fail(QStringLiteral("date and time"));
      *out = QVariant(s);
      return true;
    }
    default:
      *out = QVariant(tid == QMetaType::QByteArray ? QString::fromUtf8(in.toByteArray()) : in.toString());
      return true;
  }
}

// ---- Sorting ----

namespace {

struct DecKey {
  qint8 sign = 0;  // -1, 0, 1
  std::string_view ip, fp;
};

DecKey ParseDecimal(std::string_view s) {
  DecKey k;
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  while (i < s.size() && s[i] == '0') ++i;
  size_t b = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  k.ip = s.substr(b, i - b);
  if (i < s.size() && s[i] == '.') {
    ++i;
    b = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    size_t e = i;
    while (e > b && s[e - 1] == '0') --e;
    k.fp = s.substr(b, e - b);
  }
  k.sign = k.ip.empty() && k.fp.empty() ? 0 : (neg ? -1 : 1);
  return k;
}

// The decimal rounded to a double: monotonic, so different doubles order their decimals.
double DecimalApprox(const DecKey &k) {
  if (k.sign == 0) return 0;
  char buf[80];
  size_t n = 0;
  const size_t ip = std::min<size_t>(k.ip.size(), 40), fp = std::min<size_t>(k.fp.size(), 30);
  if (k.ip.size() > 40) return k.sign * 1e300 * 10;  // beyond any double: infinity keeps the order
  if (ip) std::memcpy(buf, k.ip.data(), ip);
  n = ip;
  buf[n++] = '.';
  if (fp) std::memcpy(buf + n, k.fp.data(), fp);
  n += fp;
  buf[n] = 0;
  // Truncating the fraction may make two different values equal, never swap them.
  return k.sign * std::strtod(buf, nullptr);
}

int CompareDecimal(const DecKey &a, const DecKey &b) {
  if (a.sign != b.sign) return a.sign < b.sign ? -1 : 1;
  if (a.sign == 0) return 0;
  int c = 0;
  if (a.ip.size() != b.ip.size()) c = a.ip.size() < b.ip.size() ? -1 : 1;
  else if (int r = a.ip.compare(b.ip)) c = r < 0 ? -1 : 1;
  else if (int r2 = a.fp.compare(b.fp)) c = r2 < 0 ? -1 : 1;
  return a.sign < 0 ? -c : c;
}

struct SortColumn {
  bool desc = false;
  enum Kind { Int, Dbl, Txt, Dec } kind = Txt;
  std::vector<quint8> nulls;
  std::vector<qint64> ints;
  std::vector<double> dbls;
  std::vector<std::string_view> txts;
  std::vector<quint64> pfx;  // Txt: the first 8 bytes, big-endian; decides most comparisons in cache
  std::vector<DecKey> decs;
  std::vector<double> approx;  // Dec: the value rounded to a double (rounding keeps strict order)
};

inline quint64 Prefix(std::string_view s) {
  quint64 v = 0;
  const size_t n = std::min<size_t>(8, s.size());
  for (size_t i = 0; i < n; ++i) v |= quint64(static_cast<unsigned char>(s[i])) << (56 - 8 * i);
  return v;
}

inline int CompareCell(const SortColumn &c, quint32 a, quint32 b) {
  const bool na = c.nulls[a], nb = c.nulls[b];
  if (na || nb) return na == nb ? 0 : (na ? -1 : 1);
  switch (c.kind) {
    case SortColumn::Int: return c.ints[a] < c.ints[b] ? -1 : (c.ints[b] < c.ints[a] ? 1 : 0);
    case SortColumn::Dbl: {
      const double x = c.dbls[a], y = c.dbls[b];
      if (x < y) return -1;
      if (y < x) return 1;
      const bool xn = x != x, yn = y != y;  // NaN after every number
      return xn == yn ? 0 : (xn ? 1 : -1);
    }
    case SortColumn::Txt: {
      if (c.pfx[a] != c.pfx[b]) return c.pfx[a] < c.pfx[b] ? -1 : 1;
      const int r = c.txts[a].compare(c.txts[b]);
      return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    case SortColumn::Dec:
      if (c.approx[a] != c.approx[b]) return c.approx[a] < c.approx[b] ? -1 : 1;
      return CompareDecimal(c.decs[a], c.decs[b]);
  }
  return 0;
}

}  // namespace

bool MemTable::setIndexFieldNames(const QString &list, QString *err) {
  checkBrowse();
  struct KeyField {
    int field;
    bool desc;
  };
  std::vector<KeyField> keys;
  for (const QString &raw : list.split(u';', Qt::SkipEmptyParts)) {
    QString name = raw.trimmed();
    bool desc = false;
    const qsizetype colon = name.lastIndexOf(u':');
    if (colon >= 0) {
      const QString flags = name.mid(colon + 1).trimmed().toUpper();
      bool known = !flags.isEmpty();
      for (QChar ch : flags)
        if (ch != u'A' && ch != u'D' && ch != u'N') known = false;
      if (known) {
        desc = flags.contains(u'D');
        name = name.left(colon).trimmed();
      }
    }
    if (name.isEmpty()) continue;
    const int f = fieldIndex(name);
    if (f < 0) {
      if (err) *err = QStringLiteral("Field '%1' not found").arg(name);
      return false;
    }
    keys.push_back({f, desc});
  }
  const qsizetype keepRow = currentRow();
  indexFields_ = list;
  order_.clear();
  sorted_ = false;
  if (keys.empty() || !rows_) {
    indexFields_ = keys.empty() ? QString() : list;
    if (keepRow >= 0) cur_ = std::max<qsizetype>(0, recordIndexOfRow(keepRow));
    return true;
  }

  const qsizetype n = naturalCount();
  const qsizetype base = rows_->rowCount();
  std::deque<QByteArray> holders;  // UTF-8 of overlay values
  std::vector<SortColumn> cols(keys.size());
  for (size_t k = 0; k < keys.size(); ++k) {
    SortColumn &c = cols[k];
    const int f = keys[k].field;
    const FieldType ft = fields()[f].type;
    c.desc = keys[k].desc;
    const StorageKind sk = StorageOf(ft);
    c.kind = sk == StorageKind::Int64 ? SortColumn::Int
             : sk == StorageKind::Double ? SortColumn::Dbl
             : (ft == FieldType::BCD || ft == FieldType::FMTBcd) ? SortColumn::Dec
                                                                  : SortColumn::Txt;
    c.nulls.resize(size_t(n));
    switch (c.kind) {
      case SortColumn::Int: c.ints.resize(size_t(n)); break;
      case SortColumn::Dbl: c.dbls.resize(size_t(n)); break;
      case SortColumn::Txt:
        c.txts.resize(size_t(n));
        c.pfx.resize(size_t(n));
        break;
      case SortColumn::Dec:
        c.decs.resize(size_t(n));
        c.approx.resize(size_t(n));
        break;
    }
    const RowSet &rs = *rows_;
    for (qsizetype p = 0; p < n; ++p) {
      const qsizetype row = naturalRow(p);
      const QVector<QVariant> *ov = rowOverlay(row);
      if (ov || row >= base) {
        const QVariant v = ov ? ov->value(f) : QVariant();
        if (!v.isValid()) {
          c.nulls[size_t(p)] = 1;
          continue;
        }
        switch (c.kind) {
          case SortColumn::Int: c.ints[size_t(p)] = v.typeId() == QMetaType::Bool ? v.toBool() : v.toLongLong(); break;
          case SortColumn::Dbl: c.dbls[size_t(p)] = v.toDouble(); break;
          default: {
            holders.push_back(v.typeId() == QMetaType::QByteArray ? v.toByteArray() : v.toString().toUtf8());
            const std::string_view sv(holders.back().constData(), size_t(holders.back().size()));
            if (c.kind == SortColumn::Dec) c.decs[size_t(p)] = ParseDecimal(sv);
            else c.txts[size_t(p)] = sv;
          }
        }
        continue;
      }
      if (rs.isNull(row, f)) {
        c.nulls[size_t(p)] = 1;
        continue;
      }
      switch (c.kind) {
        case SortColumn::Int: c.ints[size_t(p)] = rs.intValue(row, f); break;
        case SortColumn::Dbl: c.dbls[size_t(p)] = rs.doubleValue(row, f); break;
        default: {
          const QByteArrayView b = rs.utf8(row, f);
          const std::string_view sv(b.data(), size_t(b.size()));
          if (c.kind == SortColumn::Dec) c.decs[size_t(p)] = ParseDecimal(sv);
          else c.txts[size_t(p)] = sv;
        }
      }
    }
  }

  for (SortColumn &c : cols) {
    if (c.kind == SortColumn::Txt) {
      for (qsizetype p = 0; p < n; ++p) c.pfx[size_t(p)] = Prefix(c.txts[size_t(p)]);
    } else if (c.kind == SortColumn::Dec) {
      for (qsizetype p = 0; p < n; ++p) c.approx[size_t(p)] = DecimalApprox(c.decs[size_t(p)]);
    }
  }

  std::vector<quint32> idx(static_cast<size_t>(n));
  std::iota(idx.begin(), idx.end(), 0u);
  if (cols.size() == 1 && cols[0].kind == SortColumn::Int) {
    // The common case of one integer key, without the generic dispatch.
    const SortColumn &c = cols[0];
    const bool d = c.desc;
    std::stable_sort(idx.begin(), idx.end(), [&](quint32 a, quint32 b) {
      const bool na = c.nulls[a], nb = c.nulls[b];
      int r;
      if (na || nb) r = na == nb ? 0 : (na ? -1 : 1);
      else r = c.ints[a] < c.ints[b] ? -1 : (c.ints[b] < c.ints[a] ? 1 : 0);
      return d ? r > 0 : r < 0;
    });
  } else {
    std::stable_sort(idx.begin(), idx.end(), [&](quint32 a, quint32 b) {
      for (const SortColumn &c : cols) {
        const int r = CompareCell(c, a, b);
        if (r != 0) return c.desc ? r > 0 : r < 0;
      }
      return false;
    });
  }
  order_.resize(size_t(n));
  for (qsizetype i = 0; i < n; ++i) order_[size_t(i)] = naturalRow(idx[size_t(i)]);
  sorted_ = true;
  if (keepRow >= 0) cur_ = std::max<qsizetype>(0, recordIndexOfRow(keepRow));
  return true;
}

qsizetype MemTable::recordIndexOfRow(qsizetype row) const {
  if (sorted_) {
    auto it = std::find(order_.begin(), order_.end(), row);
    return it == order_.end() ? -1 : qsizetype(it - order_.begin());
  }
  if (hasNatural_) {
    auto it = std::lower_bound(natural_.begin(), natural_.end(), row);
    return it != natural_.end() && *it == row ? qsizetype(it - natural_.begin()) : -1;
  }
  return row >= 0 && row < physCount() ? row : -1;
}

// ---- Cached updates ----

void MemTable::ensureStatus() {
  if (status_.size() < size_t(physCount())) status_.resize(size_t(physCount()), 0);
}

void MemTable::hideRow(qsizetype row) {
  if (!hasNatural_) {
    natural_.resize(size_t(physCount()));
    std::iota(natural_.begin(), natural_.end(), qsizetype(0));
    hasNatural_ = true;
  }
  auto it = std::lower_bound(natural_.begin(), natural_.end(), row);
  if (it != natural_.end() && *it == row) natural_.erase(it);
  if (sorted_) {
    auto jt = std::find(order_.begin(), order_.end(), row);
    if (jt != order_.end()) order_.erase(jt);
  }
  ensureStatus();
  status_[size_t(row)] = kRemoved;
}

void MemTable::showRow(qsizetype row) {
  if (hasNatural_) {
    auto it = std::lower_bound(natural_.begin(), natural_.end(), row);
    if (it == natural_.end() || *it != row) natural_.insert(it, row);
  }
  if (sorted_ && std::find(order_.begin(), order_.end(), row) == order_.end()) order_.push_back(row);
}

void MemTable::pushLog(qsizetype row) {
  ensureStatus();
  LogEntry e{row, status_[size_t(row)], false, {}};
  auto it = edited_.find(row);
  if (it != edited_.end()) {
    e.prevHadValues = true;
    e.prevValues = it->second;
  }
  log_.push_back(std::move(e));
}

void MemTable::restoreEntry(const LogEntry &e) {
  ensureStatus();
  const quint8 now = status_[size_t(e.row)];
  if (e.prevStatus == kRemoved && now != kRemoved) hideRow(e.row);
  else if (e.prevStatus != kRemoved && now == kRemoved) showRow(e.row);
  status_[size_t(e.row)] = e.prevStatus;
  if (e.prevHadValues) edited_[e.row] = e.prevValues;
  else edited_.erase(e.row);
}

bool MemTable::edit() {
  if (state_ != DataSetState::Browse) return true;
  const qsizetype row = currentRow();
  if (row < 0 || rowStatus(row) == UpdateStatus::Deleted) return false;
  buffer_ = currentValues(row);
  bufferChanged_ = false;
  state_ = DataSetState::Edit;
  return true;
}

bool MemTable::append(QString *err) {
  if (!rows_) {
    if (err) *err = QStringLiteral("The data set is not open");
    return false;
  }
  if (state_ == DataSetState::Insert && !bufferChanged_) cancel();
  if (state_ != DataSetState::Browse && !post(err)) return false;
  buffer_ = QVector<QVariant>(fieldCount());
  bufferChanged_ = false;
  state_ = DataSetState::Insert;
  cur_ = visibleCount();
  eof_ = bof_ = false;
  return true;
}

bool MemTable::setValue(int field, const QVariant &v, QString *err) {
  if (field < 0 || field >= fieldCount()) {
    if (err) *err = QStringLiteral("Field index %1 out of range").arg(field);
    return false;
  }
  if (state_ == DataSetState::Browse && !edit()) {
    if (err)
      *err = currentRow() < 0 ? QStringLiteral("No current record") : QStringLiteral("The record is deleted");
    return false;
  }
  const FieldDef &f = fields()[field];
  if (f.readOnly) {
    if (err) *err = QStringLiteral("Field '%1' cannot be modified").arg(f.name);
    return false;
  }
  QVariant out;
  if (!ConvertValue(f, v, &out, err)) return false;
  buffer_[field] = out;
  bufferChanged_ = true;
  return true;
}

bool MemTable::setText(int field, const QString &text, QString *err) {
  return setValue(field, text.isEmpty() ? QVariant() : QVariant(text), err);
}

bool MemTable::post(QString *) {
  if (state_ == DataSetState::Browse) return true;
  if (state_ == DataSetState::Insert) {
    const qsizetype row = physCount();
    ++inserted_;
    ensureStatus();
    log_.push_back(LogEntry{row, kRemoved, false, {}});
    status_[size_t(row)] = quint8(UpdateStatus::Inserted);
    edited_[row] = buffer_;
    if (hasNatural_) natural_.push_back(row);
    if (sorted_) order_.push_back(row);
    state_ = DataSetState::Browse;
    cur_ = visibleCount() - 1;
  } else {
    const qsizetype row = currentRow();
    state_ = DataSetState::Browse;
    if (row >= 0 && bufferChanged_ && buffer_ != currentValues(row)) {
      pushLog(row);
      edited_[row] = buffer_;
      if (rowStatus(row) == UpdateStatus::Unmodified) status_[size_t(row)] = quint8(UpdateStatus::Modified);
    }
  }
  buffer_.clear();
  bufferChanged_ = false;
  return true;
}

void MemTable::cancel() {
  if (state_ == DataSetState::Insert) {
    state_ = DataSetState::Browse;
    clampCursor();
  }
  state_ = DataSetState::Browse;
  buffer_.clear();
  bufferChanged_ = false;
}

bool MemTable::deleteRecord() {
  if (state_ == DataSetState::Insert) {
    cancel();
    return true;
  }
  cancel();
  const qsizetype row = currentRow();
  if (row < 0) return false;
  const UpdateStatus s = rowStatus(row);
  if (s == UpdateStatus::Deleted) return false;
  pushLog(row);
  if (s == UpdateStatus::Inserted) {
    hideRow(row);
    clampCursor();
  } else {
    status_[size_t(row)] = quint8(UpdateStatus::Deleted);
  }
  return true;
}

UpdateStatus MemTable::updateStatus() const {
  if (state_ == DataSetState::Insert) return UpdateStatus::Inserted;
  const qsizetype row = currentRow();
  return row < 0 ? UpdateStatus::Unmodified : rowStatus(row);
}

bool MemTable::undoLastChange() {
  cancel();
  if (log_.empty()) return false;
  const LogEntry e = std::move(log_.back());
  log_.pop_back();
  restoreEntry(e);
  const qsizetype idx = recordIndexOfRow(e.row);
  if (idx >= 0) {
    cur_ = idx;
    eof_ = bof_ = false;
  } else {
    clampCursor();
  }
  return true;
}

void MemTable::cancelUpdates() {
  cancel();
  while (!log_.empty()) {
    const LogEntry e = std::move(log_.back());
    log_.pop_back();
    restoreEntry(e);
  }
  clampCursor();
}

std::vector<MemTable::PendingChange> MemTable::pendingChanges() const {
  std::vector<PendingChange> out;
  std::unordered_set<qsizetype> seen;
  for (const LogEntry &e : log_) {
    if (!seen.insert(e.row).second) continue;
    const quint8 s = status_[size_t(e.row)];
    if (s == quint8(UpdateStatus::Modified) || s == quint8(UpdateStatus::Inserted) ||
        s == quint8(UpdateStatus::Deleted))
      out.push_back({e.row, UpdateStatus(s)});
  }
  return out;
}

void MemTable::mergeChangeLog(const std::vector<qsizetype> &failedRows) {
  cancel();
  const std::unordered_set<qsizetype> failed(failedRows.begin(), failedRows.end());
  std::unordered_set<qsizetype> seen;
  std::vector<LogEntry> firsts;
  for (LogEntry &e : log_)
    if (seen.insert(e.row).second) firsts.push_back(std::move(e));
  log_.clear();
  for (const LogEntry &e : firsts) {
    if (failed.count(e.row)) {
      restoreEntry(e);
      continue;
    }
    const quint8 s = status_[size_t(e.row)];
    if (s == quint8(UpdateStatus::Deleted)) {
      hideRow(e.row);
      edited_.erase(e.row);
    } else if (s != kRemoved) {
      status_[size_t(e.row)] = quint8(UpdateStatus::Unmodified);
    }
  }
  clampCursor();
}

size_t MemTable::memoryUsed() const {
  size_t n = rows_ ? rows_->memoryUsed() : 0;
  n += order_.capacity() * sizeof(qsizetype) + natural_.capacity() * sizeof(qsizetype) + status_.capacity();
  return n;
}

}  // namespace qrv::dal

namespace qrv::dal {
int CompareDecimalText(QByteArrayView a, QByteArrayView b) {
  return CompareDecimal(ParseDecimal(std::string_view(a.data(), size_t(a.size()))),
                        ParseDecimal(std::string_view(b.data(), size_t(b.size()))));
}
}  // namespace qrv::dal
