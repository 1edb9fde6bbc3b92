// XML form of a data set:
//   <QrvDataSet version="1"><Fields><Field name=".." type=".." .../></Fields>
//   <Rows><R><V>value</V><V null="1"/>...</R></Rows></QrvDataSet>
// Binary values, and text that XML cannot carry exactly (control characters, carriage returns, bytes
// that are not UTF-8), are written as base64 with enc="base64".
#include <QStringView>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "dal/storage_formats.h"

namespace qrv::dal::storage {

namespace {

const char kRoot[] = "QrvDataSet";
constexpr int kVersion = 1;

// True when XML text content gives back exactly these bytes.
bool XmlSafe(QByteArrayView s) {
  for (qsizetype i = 0; i < s.size(); ++i) {
    const unsigned char ch = static_cast<unsigned char>(s[i]);
    if (ch < 0x20 && ch != '\t' && ch != '\n') return false;
    // U+FFFE and U+FFFF are not XML characters.
    if (ch == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
        (static_cast<unsigned char>(s[i + 2]) & 0xFE) == 0xBE)
      return false;
  }
  return QUtf8StringView(s.data(), s.size()).isValidUtf8();
}

}  // namespace

QByteArray WriteXml(const RowSet &rows, bool pretty) {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.setAutoFormatting(pretty);
  w.setAutoFormattingIndent(2);
  w.writeStartDocument();
  w.writeStartElement(QLatin1String(kRoot));
  w.writeAttribute(QStringLiteral("version"), QString::number(kVersion));
  w.writeStartElement(QStringLiteral("Fields"));
  for (const FieldDef &f : rows.fields()) {
    w.writeEmptyElement(QStringLiteral("Field"));
    w.writeAttribute(QStringLiteral("name"), f.name);
    w.writeAttribute(QStringLiteral("type"), FieldTypeName(f.type));
    auto num = [&](const QString &k, int v) {
      if (v) w.writeAttribute(k, QString::number(v));
    };
    auto str = [&](const QString &k, const QString &v) {
      if (!v.isEmpty()) w.writeAttribute(k, v);
    };
    num(QStringLiteral("size"), f.size);
    num(QStringLiteral("precision"), f.precision);
    num(QStringLiteral("scale"), f.scale);
    if (!f.nullable) w.writeAttribute(QStringLiteral("nullable"), QStringLiteral("false"));
    if (f.readOnly) w.writeAttribute(QStringLiteral("readOnly"), QStringLiteral("true"));
    if (f.autoInc) w.writeAttribute(QStringLiteral("autoInc"), QStringLiteral("true"));
    str(QStringLiteral("originCatalog"), f.originCatalog);
    str(QStringLiteral("originSchema"), f.originSchema);
    str(QStringLiteral("originTable"), f.originTable);
    str(QStringLiteral("originColumn"), f.originColumn);
  }
  w.writeEndElement();
  w.writeStartElement(QStringLiteral("Rows"));
  const QString kR = QStringLiteral("R"), kV = QStringLiteral("V"), kNull = QStringLiteral("null"),
                kOne = QStringLiteral("1"), kEnc = QStringLiteral("enc"), kB64 = QStringLiteral("base64");
  const int nc = rows.fieldCount();
  for (qsizetype r = 0; r < rows.rowCount(); ++r) {
    w.writeStartElement(kR);
    for (int c = 0; c < nc; ++c) {
      if (rows.isNull(r, c)) {
        w.writeEmptyElement(kV);
        w.writeAttribute(kNull, kOne);
        continue;
      }
      switch (rows.storage(c)) {
        case StorageKind::Int64: w.writeTextElement(kV, QString::number(rows.intValue(r, c))); break;
        case StorageKind::Double: w.writeTextElement(kV, QString::fromLatin1(DoubleText(rows.doubleValue(r, c)))); break;
        case StorageKind::Bytes:
          w.writeStartElement(kV);
          w.writeAttribute(kEnc, kB64);
          w.writeCharacters(QString::fromLatin1(rows.bytes(r, c).toByteArray().toBase64()));
          w.writeEndElement();
          break;
        default: {
          const QByteArrayView t = rows.utf8(r, c);
          if (XmlSafe(t)) {
            w.writeTextElement(kV, QString::fromUtf8(t));
          } else {
            w.writeStartElement(kV);
            w.writeAttribute(kEnc, kB64);
            w.writeCharacters(QString::fromLatin1(t.toByteArray().toBase64()));
            w.writeEndElement();
          }
        }
      }
    }
    w.writeEndElement();
  }
  w.writeEndElement();
  w.writeEndElement();
  w.writeEndDocument();
  return out;
}

RowSetPtr ReadXml(const QByteArray &data, QString *err) {
  QXmlStreamReader x(data);
  QString problem;
  auto fail = [&](const QString &msg) -> RowSetPtr {
    if (err) {
      if (x.hasError() && x.error() == QXmlStreamReader::PrematureEndOfDocumentError)
        *err = QStringLiteral("the data ends too early (the file is truncated)");
      else if (x.hasError())
        *err = QStringLiteral("%1 (line %2)").arg(x.errorString()).arg(x.lineNumber());
      else
        *err = msg;
    }
    return nullptr;
  };
  if (!x.readNextStartElement() || x.name() != QLatin1String(kRoot)) {
    if (x.hasError() && x.error() == QXmlStreamReader::PrematureEndOfDocumentError && !data.trimmed().isEmpty() &&
        data.contains(kRoot))
      return fail(QString());
    if (err) *err = QStringLiteral("the file is not a data set in XML format");
    return nullptr;
  }
  const int version = x.attributes().value(QLatin1String("version")).toInt();
  if (version < 1 || version > kVersion)
    return fail(QStringLiteral("unsupported data set version %1").arg(version));

  FieldDefs fields;
  RowSetPtr rs;
  bool haveFields = false;
  while (x.readNextStartElement()) {
    if (x.name() == QLatin1String("Fields")) {
      while (x.readNextStartElement()) {
        if (x.name() != QLatin1String("Field")) return fail(QStringLiteral("unexpected element <%1>").arg(x.name()));
        const QXmlStreamAttributes a = x.attributes();
        FieldDef f;
        f.name = a.value(QLatin1String("name")).toString();
        const QString type = a.value(QLatin1String("type")).toString();
        f.type = FieldTypeFromName(type);
        if (f.type == FieldType::Unknown && type.compare(QLatin1String("Unknown"), Qt::CaseInsensitive) != 0)
          return fail(QStringLiteral("unknown field type \"%1\"").arg(type));
        f.size = a.value(QLatin1String("size")).toInt();
        f.precision = a.value(QLatin1String("precision")).toInt();
        f.scale = a.value(QLatin1String("scale")).toInt();
        f.nullable = a.value(QLatin1String("nullable")) != QLatin1String("false");
        f.readOnly = a.value(QLatin1String("readOnly")) == QLatin1String("true");
        f.autoInc = a.value(QLatin1String("autoInc")) == QLatin1String("true");
        f.originCatalog = a.value(QLatin1String("originCatalog")).toString();
        f.originSchema = a.value(QLatin1String("originSchema")).toString();
        f.originTable = a.value(QLatin1String("originTable")).toString();
        f.originColumn = a.value(QLatin1String("originColumn")).toString();
        fields << f;
        x.skipCurrentElement();
      }
      haveFields = true;
    } else if (x.name() == QLatin1String("Rows")) {
      if (!haveFields) return fail(QStringLiteral("the rows come before the field definitions"));
      rs = std::make_shared<RowSet>(fields);
      const int nc = fields.size();
      qsizetype rowNo = 0;
      while (x.readNextStartElement()) {
        ++rowNo;
        if (x.name() != QLatin1String("R")) return fail(QStringLiteral("unexpected element <%1>").arg(x.name()));
        int c = 0;
        while (x.readNextStartElement()) {
          if (c >= nc) return fail(QStringLiteral("row %1 has more than %2 values").arg(rowNo).arg(nc));
          const QXmlStreamAttributes a = x.attributes();
          const bool isNull = a.value(QLatin1String("null")) == QLatin1String("1");
          const bool b64 = a.value(QLatin1String("enc")) == QLatin1String("base64");
          const QString text = x.readElementText();
          if (x.hasError()) return fail(QString());
          auto bad = [&]() {
            return fail(QStringLiteral("row %1, field \"%2\": value of the wrong kind").arg(rowNo).arg(fields[c].name));
          };
          if (isNull) {
            rs->appendNull(c);
          } else if (b64) {
            auto dec = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (!dec || rs->storage(c) == StorageKind::Int64 || rs->storage(c) == StorageKind::Double) return bad();
            rs->appendBytes(c, dec.decoded.constData(), dec.decoded.size());
          } else {
            switch (rs->storage(c)) {
              case StorageKind::Int64: {
                bool ok = false;
                const qint64 v = text.toLongLong(&ok);
                if (!ok) return bad();
                rs->appendInt(c, v);
                break;
              }
              case StorageKind::Double: {
                double d = 0;
                if (!ParseDouble(text.toLatin1(), &d)) return bad();
                rs->appendDouble(c, d);
                break;
              }
              case StorageKind::Bytes: return bad();
              default: rs->appendText(c, text);
            }
          }
          ++c;
        }
        if (x.hasError()) return fail(QString());
        if (c != nc) return fail(QStringLiteral("row %1 has %2 values instead of %3").arg(rowNo).arg(c).arg(nc));
        rs->endRow();
      }
    } else {
      x.skipCurrentElement();
    }
  }
  if (x.hasError()) return fail(QString());
  // Anything after the root element is an error as well.
  while (!x.atEnd()) x.readNext();
  if (x.hasError()) return fail(QString());
  if (!rs) return fail(QStringLiteral("the field definitions or the rows are missing"));
  return rs;
}

}  // namespace qrv::dal::storage
