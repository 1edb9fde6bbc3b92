#include "dal/storage_formats.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cmath>
#include <limits>

namespace qrv::dal {

StorageFormat StorageFormatForFile(const QString &fileName) {
  const QString suffix = QFileInfo(fileName).suffix();
  if (suffix.compare(QLatin1String("json"), Qt::CaseInsensitive) == 0) return StorageFormat::Json;
  if (suffix.compare(QLatin1String("xml"), Qt::CaseInsensitive) == 0) return StorageFormat::Xml;
  return StorageFormat::Binary;
}

namespace {
// The rows to write: the table's own rows when it has no edits, else a copy of its current data.
RowSetPtr CurrentRows(const MemTable &table) {
  if (!table.active()) return nullptr;
  bool plain = !table.updatesPending() && table.naturalCount() == table.rows()->rowCount();
  for (qsizetype r = 0; plain && r < table.rows()->rowCount(); ++r)
    if (table.rowOverlay(r)) plain = false;
  if (plain) return table.rows();
  MemTable copy;
  copy.copyFrom(table);
  return copy.rows();
}
}  // namespace

bool SaveToBytes(const MemTable &table, StorageFormat format, bool pretty, QByteArray *out, QString *err) {
  const RowSetPtr rows = CurrentRows(table);
  if (!rows) {
    if (err) *err = QStringLiteral("The data set is not open");
    return false;
  }
  switch (format) {
    case StorageFormat::Json: *out = storage::WriteJson(*rows, pretty); break;
    case StorageFormat::Xml: *out = storage::WriteXml(*rows, pretty); break;
    case StorageFormat::Binary: *out = storage::WriteBinary(*rows); break;
  }
  return true;
}

bool SaveToFile(const MemTable &table, const QString &path, StorageFormat format, bool pretty, QString *err) {
  QByteArray data;
  if (!SaveToBytes(table, format, pretty, &data, err)) return false;
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size() || !f.flush()) {
    if (err) *err = QStringLiteral("Cannot write file \"%1\": %2").arg(path, f.errorString());
    return false;
  }
  return true;
}

RowSetPtr LoadFromBytes(const QByteArray &data, StorageFormat format, QString *err) {
  switch (format) {
    case StorageFormat::Json: return storage::ReadJson(data, err);
    case StorageFormat::Xml: return storage::ReadXml(data, err);
    case StorageFormat::Binary: return storage::ReadBinary(data, err);
  }
  return nullptr;
}

RowSetPtr LoadFromFile(const QString &path, StorageFormat format, QString *err) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    if (err) *err = QStringLiteral("Cannot open file \"%1\": %2").arg(path, f.errorString());
    return nullptr;
  }
  const QByteArray data = f.readAll();
  QString e;
  RowSetPtr rows = LoadFromBytes(data, format, &e);
  if (!rows && err) *err = QStringLiteral("Cannot load \"%1\": %2").arg(path, e);
  return rows;
}

bool LoadTableFromFile(MemTable &table, const QString &path, StorageFormat format, QString *err) {
  RowSetPtr rows = LoadFromFile(path, format, err);
  if (!rows) return false;
  table.setRows(std::move(rows));
  return true;
}

namespace storage {

QByteArray DoubleText(double v) {
  if (std::isnan(v)) return QByteArrayLiteral("NaN");
  if (std::isinf(v)) return v > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
  if (v == 0 && std::signbit(v)) return QByteArrayLiteral("-0");
  return QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

bool ParseDouble(QByteArrayView text, double *v) {
  if (text == "NaN") {
    *v = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text == "Infinity" || text == "-Infinity") {
    *v = text[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    return true;
  }
  bool ok = false;
  *v = text.toDouble(&ok);
  if (ok && *v == 0 && !text.isEmpty() && text[0] == '-') *v = -0.0;  // keep the sign of zero
  return ok;
}

}  // namespace storage
}  // namespace qrv::dal
