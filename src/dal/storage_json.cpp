// JSON form of a data set:
//   {"qrvDataSet": 1, "fields": [{"name": ..., "type": ..., ...}], "rows": [[v, v, ...], ...]}
// Integers are numbers (strings beyond 2^53), booleans true/false, doubles numbers or "NaN"/"Infinity",
// text strings, binary values base64 strings, NULL null.
#include <QStringList>
#include <cctype>
#include <cmath>

#include "dal/storage_formats.h"

namespace qrv::dal::storage {

namespace {

const char kMarker[] = "qrvDataSet";
constexpr int kVersion = 1;

void PutString(QByteArray &out, QByteArrayView s) {
  static const char hex[] = "0123456789abcdef";
  out += '"';
  qsizetype run = 0;  // start of the pending unescaped run
  for (qsizetype i = 0; i < s.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(s[i]);
    if (ch >= 0x20 && ch != '"' && ch != '\\') continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: {
        const char esc[] = {'\\', 'u', '0', '0', hex[ch >> 4], hex[ch & 15]};
        out.append(esc, 6);
      }
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

void PutField(QByteArray &out, const FieldDef &f) {
  out += "{\"name\": ";
  PutString(out, f.name.toUtf8());
  out += ", \"type\": ";
  PutString(out, FieldTypeName(f.type).toUtf8());
  auto num = [&](const char *key, int v) {
    if (v) out += ", \"" + QByteArray(key) + "\": " + QByteArray::number(v);
  };
  auto flag = [&](const char *key, bool v) {
    if (v) out += ", \"" + QByteArray(key) + "\": true";
  };
  auto str = [&](const char *key, const QString &v) {
    if (v.isEmpty()) return;
    out += ", \"" + QByteArray(key) + "\": ";
    PutString(out, v.toUtf8());
  };
  num("size", f.size);
  num("precision", f.precision);
  num("scale", f.scale);
  if (!f.nullable) out += ", \"nullable\": false";
  flag("readOnly", f.readOnly);
  flag("autoInc", f.autoInc);
  str("originCatalog", f.originCatalog);
  str("originSchema", f.originSchema);
  str("originTable", f.originTable);
  str("originColumn", f.originColumn);
  out += '}';
}

// A small pull parser over the whole text; every read checks the end of the data.
class Parser {
 public:
  explicit Parser(const QByteArray &d) : p_(d.constData()), b_(d.constData()), e_(d.constData() + d.size()) {}

  QString error;
  bool failed() const { return !error.isEmpty(); }
  bool fail(const QString &msg) {
    if (error.isEmpty()) error = msg;
    return false;
  }
  bool truncated() { return fail(QStringLiteral("the data ends too early (the file is truncated)")); }
  QString where() const { return QStringLiteral(" at offset %1").arg(p_ - b_); }

  void ws() {
    while (p_ < e_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
  }
  // Next significant character without taking it; 0 at the end.
  char peek() {
    ws();
    return p_ < e_ ? *p_ : 0;
  }
  bool expect(char c) {
    ws();
    if (p_ >= e_) return truncated();
    if (*p_ != c) return fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)) + where());
    ++p_;
    return true;
  }
  bool atEnd() {
    ws();
    return p_ >= e_;
  }

  bool string(QByteArray *out) {
    if (!expect('"')) return false;
    out->clear();
    const char *run = p_;
    while (true) {
      if (p_ >= e_) return truncated();
      const char c = *p_;
      if (c == '"') {
        out->append(run, p_ - run);
        ++p_;
        return true;
      }
      if (c != '\\') {
        ++p_;
        continue;
      }
      out->append(run, p_ - run);
      if (e_ - p_ < 2) return truncated();
      const char k = p_[1];
      p_ += 2;
      switch (k) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          uint cp = 0;
          if (!hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00 && e_ - p_ >= 6 && p_[0] == '\\' && p_[1] == 'u') {
            const char *save = p_;
            p_ += 2;
            uint lo = 0;
            if (!hex4(&lo)) return false;
            if (lo >= 0xDC00 && lo < 0xE000) cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
            else p_ = save;
          }
          const char32_t c32 = char32_t(cp);
          *out += QString::fromUcs4(&c32, 1).toUtf8();
          break;
        }
        default: return fail(QStringLiteral("bad escape in a string") + where());
      }
      run = p_;
    }
  }

  // A number or literal token (true, false, null, digits).
  bool token(QByteArrayView *out) {
    ws();
    const char *s = p_;
    while (p_ < e_ && (std::isalnum(static_cast<unsigned char>(*p_)) || *p_ == '-' || *p_ == '+' || *p_ == '.'))
      ++p_;
    if (p_ == s) return p_ >= e_ ? truncated() : fail(QStringLiteral("value expected") + where());
    if (p_ >= e_) return truncated();  // a document never ends with a bare value
    *out = QByteArrayView(s, p_ - s);
    return true;
  }

  // Skips any value.
  bool skip(int depth = 0) {
    if (depth > 200) return fail(QStringLiteral("nesting too deep"));
    const char c = peek();
    if (c == '"') {
      QByteArray s;
      return string(&s);
    }
    if (c == '[' || c == '{') {
      const char close = c == '[' ? ']' : '}';
      ++p_;
      if (peek() == close) {
        ++p_;
        return true;
      }
      while (true) {
        if (c == '{') {
          QByteArray k;
          if (!string(&k) || !expect(':')) return false;
        }
        if (!skip(depth + 1)) return false;
        const char n = peek();
        if (n == ',') {
          ++p_;
          continue;
        }
        return expect(close);
      }
    }
    QByteArrayView t;
    return token(&t);
  }

  // Walks a list: calls item() for each element; handles the separators.
  template <typename F>
  bool list(char open, char close, F item) {
    if (!expect(open)) return false;
    if (peek() == close) {
      ++p_;
      return true;
    }
    while (true) {
      if (!item()) return false;
      const char n = peek();
      if (n == ',') {
        ++p_;
        continue;
      }
      return expect(close);
    }
  }

 private:
  bool hex4(uint *v) {
    if (e_ - p_ < 4) return truncated();
    bool ok = false;
    *v = QByteArrayView(p_, 4).toUInt(&ok, 16);
    p_ += 4;
    return ok || fail(QStringLiteral("bad \\u escape") + where());
  }
  const char *p_;
  const char *b_;
  const char *e_;
};

bool ReadField(Parser &ps, FieldDef *f) {
  bool haveType = false;
  return ps.list('{', '}', [&]() {
    QByteArray key;
    if (!ps.string(&key) || !ps.expect(':')) return false;
    const char c = ps.peek();
    if (c == '"') {
      QByteArray v;
      if (!ps.string(&v)) return false;
      const QString s = QString::fromUtf8(v);
      if (key == "name") f->name = s;
      else if (key == "type") {
        f->type = FieldTypeFromName(s);
        haveType = true;
        if (f->type == FieldType::Unknown && s.compare(QLatin1String("Unknown"), Qt::CaseInsensitive) != 0)
          return ps.fail(QStringLiteral("unknown field type \"%1\"").arg(s));
      } else if (key == "originCatalog") f->originCatalog = s;
      else if (key == "originSchema") f->originSchema = s;
      else if (key == "originTable") f->originTable = s;
      else if (key == "originColumn") f->originColumn = s;
      return true;
    }
    if (c == '{' || c == '[') return ps.skip();
    QByteArrayView t;
    if (!ps.token(&t)) return false;
    if (key == "size") f->size = t.toInt();
    else if (key == "precision") f->precision = t.toInt();
    else if (key == "scale") f->scale = t.toInt();
    else if (key == "nullable") f->nullable = t == "true";
    else if (key == "readOnly") f->readOnly = t == "true";
    else if (key == "autoInc") f->autoInc = t == "true";
    return true;
  }) && (haveType || ps.fail(QStringLiteral("a field without a type")));
}

}  // namespace

QByteArray WriteJson(const RowSet &rows, bool pretty) {
  QByteArray out;
  const int nc = rows.fieldCount();
  const char *nl = pretty ? "\n" : "";
  const char *in1 = pretty ? "  " : "";
  const char *in2 = pretty ? "    " : "";
  out += "{";
  out += nl;
  out += in1;
  out += "\"" + QByteArray(kMarker) + "\": " + QByteArray::number(kVersion) + ",";
  out += nl;
  out += in1;
  out += "\"fields\": [";
  for (int c = 0; c < nc; ++c) {
    out += c ? "," : "";
    out += nl;
    out += in2;
    PutField(out, rows.fields()[c]);
  }
  out += nl;
  out += nc ? in1 : "";
  out += "],";
  out += nl;
  out += in1;
  out += "\"rows\": [";
  const qsizetype n = rows.rowCount();
  for (qsizetype r = 0; r < n; ++r) {
    out += r ? "," : "";
    out += nl;
    out += in2;
    out += '[';
    for (int c = 0; c < nc; ++c) {
      if (c) out += pretty ? ", " : ",";
      if (rows.isNull(r, c)) {
        out += "null";
        continue;
      }
      switch (rows.storage(c)) {
        case StorageKind::Int64: {
          const qint64 v = rows.intValue(r, c);
          if (rows.fields()[c].type == FieldType::Boolean) out += v ? "true" : "false";
          else if (v > (qint64(1) << 53) || v < -(qint64(1) << 53)) out += '"' + QByteArray::number(v) + '"';
          else out += QByteArray::number(v);
          break;
        }
        case StorageKind::Double: {
          const double d = rows.doubleValue(r, c);
          const QByteArray t = DoubleText(d);
          if (std::isfinite(d)) out += t;
          else out += '"' + t + '"';
          break;
        }
        case StorageKind::Bytes:
          out += '"' + rows.bytes(r, c).toByteArray().toBase64() + '"';
          break;
        default: PutString(out, rows.utf8(r, c));
      }
    }
    out += ']';
  }
  out += nl;
  out += n ? in1 : "";
  out += "]";
  out += nl;
  out += "}";
  out += nl;
  return out;
}

RowSetPtr ReadJson(const QByteArray &data, QString *err) {
  Parser ps(data);
  auto failWith = [&](const QString &msg) -> RowSetPtr {
    if (err) *err = msg;
    return nullptr;
  };
  const QString foreign = QStringLiteral("the file is not a data set in JSON format");
  if (ps.atEnd()) return failWith(foreign);
  if (ps.peek() != '{') return failWith(foreign);
  ps.expect('{');
  QByteArray key;
  if (!ps.string(&key) || key != kMarker || !ps.expect(':')) return failWith(ps.error.contains(QLatin1String("truncated")) ? ps.error : foreign);
  QByteArrayView ver;
  if (!ps.token(&ver)) return failWith(ps.error);
  if (ver.toInt() < 1 || ver.toInt() > kVersion)
    return failWith(QStringLiteral("unsupported data set version %1").arg(QString::fromLatin1(ver)));

  FieldDefs fields;
  bool haveFields = false, haveRows = false;
  RowSetPtr rs;
  QByteArray buf;
  while (!ps.failed()) {
    const char n = ps.peek();
    if (n == '}') break;
    if (!ps.expect(',')) break;
    if (!ps.string(&key) || !ps.expect(':')) break;
    if (key == "fields") {
      ps.list('[', ']', [&]() {
        FieldDef f;
        if (!ReadField(ps, &f)) return false;
        fields << f;
        return true;
      });
      haveFields = true;
    } else if (key == "rows") {
      if (!haveFields) return failWith(QStringLiteral("the rows come before the field definitions"));
      rs = std::make_shared<RowSet>(fields);
      const int nc = fields.size();
      qsizetype rowNo = 0;
      ps.list('[', ']', [&]() {
        ++rowNo;
        int c = 0;
        const bool ok = ps.list('[', ']', [&]() {
          if (c >= nc) return ps.fail(QStringLiteral("row %1 has more than %2 values").arg(rowNo).arg(nc));
          const StorageKind sk = rs->storage(c);
          auto bad = [&]() {
            return ps.fail(QStringLiteral("row %1, field \"%2\": value of the wrong kind").arg(rowNo).arg(fields[c].name));
          };
          if (ps.peek() == '"') {
            if (!ps.string(&buf)) return false;
            switch (sk) {
              case StorageKind::Int64: {
                bool ok = false;
                const qint64 v = buf.toLongLong(&ok);
                if (!ok) return bad();
                rs->appendInt(c, v);
                break;
              }
              case StorageKind::Double: {
                double d = 0;
                if (!ParseDouble(buf, &d)) return bad();
                rs->appendDouble(c, d);
                break;
              }
              case StorageKind::Bytes: {
                auto dec = QByteArray::fromBase64Encoding(buf, QByteArray::AbortOnBase64DecodingErrors);
                if (!dec) return bad();
                rs->appendBytes(c, dec.decoded.constData(), dec.decoded.size());
                break;
              }
              default: rs->appendUtf8(c, buf.constData(), buf.size());
            }
          } else {
            QByteArrayView t;
            if (!ps.token(&t)) return false;
            if (t == "null") {
              rs->appendNull(c);
            } else if (sk == StorageKind::Int64) {
              bool ok = true;
              const qint64 v = t == "true" ? 1 : t == "false" ? 0 : t.toLongLong(&ok);
              if (!ok) return bad();
              rs->appendInt(c, v);
            } else if (sk == StorageKind::Double) {
              double d = 0;
              if (!ParseDouble(t, &d)) return bad();
              rs->appendDouble(c, d);
            } else {
              return bad();
            }
          }
          ++c;
          return true;
        });
        if (!ok) return false;
        if (c != nc) return ps.fail(QStringLiteral("row %1 has %2 values instead of %3").arg(rowNo).arg(c).arg(nc));
        rs->endRow();
        return true;
      });
      haveRows = true;
    } else {
      ps.skip();
    }
  }
  if (!ps.failed()) ps.expect('}');
  if (!ps.failed() && !ps.atEnd()) ps.fail(QStringLiteral("unexpected data after the end of the data set"));
  if (ps.failed()) return failWith(ps.error);
  if (!haveFields || !haveRows) return failWith(QStringLiteral("the field definitions or the rows are missing"));
  return rs;
}

}  // namespace qrv::dal::storage
