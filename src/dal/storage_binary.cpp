// Binary form of a data set, little-endian:
//   "QRVDSET\x1A", u32 version, varint field count, per field: name, type name (length-prefixed
//   UTF-8), varint size, precision, scale, u8 flags, origin catalog/schema/table/column;
//   varint row count; per row a null bitmap and the values of the non-null cells (integers as zig-zag
//   varints, doubles as 8 bytes, text and binary as varint length + bytes); "QRVDEND\x1A" at the end.
#include <cstring>

#include "dal/storage_formats.h"

namespace qrv::dal::storage {

namespace {

const char kMagic[8] = {'Q', 'R', 'V', 'D', 'S', 'E', 'T', '\x1A'};
const char kTrailer[8] = {'Q', 'R', 'V', 'D', 'E', 'N', 'D', '\x1A'};
constexpr quint32 kVersion = 1;

void PutVarint(QByteArray &out, quint64 v) {
  char buf[10];
  int n = 0;
  while (v >= 0x80) {
    buf[n++] = char((v & 0x7F) | 0x80);
    v >>= 7;
  }
  buf[n++] = char(v);
  out.append(buf, n);
}

void PutBytes(QByteArray &out, QByteArrayView b) {
  PutVarint(out, quint64(b.size()));
  out.append(b.data(), b.size());
}

class Reader {
 public:
  Reader(const char *p, const char *e) : p_(p), e_(e) {}
  QString error;
  bool truncated() {
    if (error.isEmpty()) error = QStringLiteral("the data ends too early (the file is truncated)");
    return false;
  }
  bool varint(quint64 *v) {
    *v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (p_ >= e_) return truncated();
      const quint8 b = quint8(*p_++);
      *v |= quint64(b & 0x7F) << shift;
      if (!(b & 0x80)) return true;
    }
    error = QStringLiteral("a damaged number in the data");
    return false;
  }
  bool bytes(const char **data, qsizetype *len) {
    quint64 n = 0;
    if (!varint(&n)) return false;
    if (n > quint64(e_ - p_)) return truncated();
    *data = p_;
    *len = qsizetype(n);
    p_ += n;
    return true;
  }
  bool string(QString *s) {
    const char *d = nullptr;
    qsizetype n = 0;
    if (!bytes(&d, &n)) return false;
    *s = QString::fromUtf8(d, n);
    return true;
  }
  bool raw(void *dst, size_t n) {
    if (size_t(e_ - p_) < n) return truncated();
    std::memcpy(dst, p_, n);
    p_ += n;
    return true;
  }
  qsizetype left() const { return e_ - p_; }

 private:
  const char *p_;
  const char *e_;
};

}  // namespace

QByteArray WriteBinary(const RowSet &rows) {
  QByteArray out;
  const int nc = rows.fieldCount();
  const qsizetype n = rows.rowCount();
  out.reserve(qsizetype(std::min<size_t>(rows.memoryUsed() + 1024, size_t(1) << 30)));
  out.append(kMagic, 8);
  const quint32 ver = kVersion;
  out.append(reinterpret_cast<const char *>(&ver), 4);
  PutVarint(out, quint64(nc));
  for (const FieldDef &f : rows.fields()) {
    PutBytes(out, f.name.toUtf8());
    PutBytes(out, FieldTypeName(f.type).toLatin1());
    PutVarint(out, quint64(quint32(f.size)));
    PutVarint(out, quint64(quint32(f.precision)));
    PutVarint(out, quint64(quint32(f.scale)));
    out += char((f.nullable ? 1 : 0) | (f.readOnly ? 2 : 0) | (f.autoInc ? 4 : 0));
    PutBytes(out, f.originCatalog.toUtf8());
    PutBytes(out, f.originSchema.toUtf8());
    PutBytes(out, f.originTable.toUtf8());
    PutBytes(out, f.originColumn.toUtf8());
  }
  PutVarint(out, quint64(n));
  const int maskBytes = (nc + 7) / 8;
  QByteArray mask(maskBytes, '\0');
  for (qsizetype r = 0; r < n; ++r) {
    mask.fill('\0');
    for (int c = 0; c < nc; ++c)
      if (rows.isNull(r, c)) mask[c >> 3] = char(mask[c >> 3] | (1 << (c & 7)));
    out += mask;
    for (int c = 0; c < nc; ++c) {
      if (rows.isNull(r, c)) continue;
      switch (rows.storage(c)) {
        case StorageKind::Int64: {
          const qint64 v = rows.intValue(r, c);
          PutVarint(out, (quint64(v) << 1) ^ quint64(v >> 63));
          break;
        }
        case StorageKind::Double: {
          const double d = rows.doubleValue(r, c);
          out.append(reinterpret_cast<const char *>(&d), 8);
          break;
        }
        default: PutBytes(out, rows.utf8(r, c));
      }
    }
  }
  out.append(kTrailer, 8);
  return out;
}

RowSetPtr ReadBinary(const QByteArray &data, QString *err) {
  auto fail = [&](const QString &msg) -> RowSetPtr {
    if (err) *err = msg;
    return nullptr;
  };
  if (data.size() < 8 || std::memcmp(data.constData(), kMagic, 8) != 0) {
    // A file shorter than the marker that matches its beginning is a cut-off data set file.
    if (!data.isEmpty() && data.size() < 8 && std::memcmp(data.constData(), kMagic, size_t(data.size())) == 0)
      return fail(QStringLiteral("the data ends too early (the file is truncated)"));
    return fail(QStringLiteral("the file is not a data set in binary format"));
  }
  Reader rd(data.constData() + 8, data.constData() + data.size());
  quint32 ver = 0;
  if (!rd.raw(&ver, 4)) return fail(rd.error);
  if (ver < 1 || ver > kVersion) return fail(QStringLiteral("unsupported data set version %1").arg(ver));
  quint64 nc = 0;
  if (!rd.varint(&nc)) return fail(rd.error);
  if (nc > quint64(rd.left())) return fail(QStringLiteral("the data ends too early (the file is truncated)"));
  FieldDefs fields;
  for (quint64 i = 0; i < nc; ++i) {
    FieldDef f;
    QString type;
    quint64 size = 0, prec = 0, scale = 0;
    quint8 flags = 0;
    if (!rd.string(&f.name) || !rd.string(&type) || !rd.varint(&size) || !rd.varint(&prec) || !rd.varint(&scale) ||
        !rd.raw(&flags, 1) || !rd.string(&f.originCatalog) || !rd.string(&f.originSchema) ||
        !rd.string(&f.originTable) || !rd.string(&f.originColumn))
      return fail(rd.error);
    f.type = FieldTypeFromName(type);
    if (f.type == FieldType::Unknown && type.compare(QLatin1String("Unknown"), Qt::CaseInsensitive) != 0)
      return fail(QStringLiteral("unknown field type \"%1\"").arg(type));
    f.size = int(quint32(size));
    f.precision = int(quint32(prec));
    f.scale = int(quint32(scale));
    f.nullable = flags & 1;
    f.readOnly = flags & 2;
    f.autoInc = flags & 4;
    fields << f;
  }
  quint64 n = 0;
  if (!rd.varint(&n)) return fail(rd.error);
  const int maskBytes = int(nc + 7) / 8;
  if (n > quint64(rd.left()) / quint64(std::max(1, maskBytes)) + 1)
    return fail(QStringLiteral("the data ends too early (the file is truncated)"));
  auto rs = std::make_shared<RowSet>(fields);
  rs->reserve(qsizetype(n));
  QByteArray mask(maskBytes, '\0');
  for (quint64 r = 0; r < n; ++r) {
    if (!rd.raw(mask.data(), size_t(maskBytes))) return fail(rd.error);
    for (int c = 0; c < int(nc); ++c) {
      if (mask[c >> 3] & (1 << (c & 7))) {
        rs->appendNull(c);
        continue;
      }
      switch (rs->storage(c)) {
        case StorageKind::Int64: {
          quint64 z = 0;
          if (!rd.varint(&z)) return fail(rd.error);
          rs->appendInt(c, qint64(z >> 1) ^ -qint64(z & 1));
          break;
        }
        case StorageKind::Double: {
          double d = 0;
          if (!rd.raw(&d, 8)) return fail(rd.error);
          rs->appendDouble(c, d);
          break;
        }
        default: {
          const char *p = nullptr;
          qsizetype len = 0;
          if (!rd.bytes(&p, &len)) return fail(rd.error);
          rs->appendBytes(c, p, len);
        }
      }
    }
    rs->endRow();
  }
  char trailer[8];
  if (!rd.raw(trailer, 8)) return fail(rd.error);
  if (std::memcmp(trailer, kTrailer, 8) != 0 || rd.left() != 0)
    return fail(QStringLiteral("the data set is damaged (its end marker is missing)"));
  return rs;
}

}  // namespace qrv::dal::storage
