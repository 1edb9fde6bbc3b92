#pragma once
// File formats of a data set: JSON, XML and a compact binary form. Each file holds the field
// definitions and then the rows; NULLs, binary values, numbers, dates and text load back exactly.
#include <QByteArray>
#include <QString>

#include "dal/memtable.h"
#include "dal/rowset.h"

namespace qrv::dal {

enum class StorageFormat { Json, Xml, Binary };

// By the file name's extension, ignoring case: ".json" JSON, ".xml" XML, anything else binary.
StorageFormat StorageFormatForFile(const QString &fileName);

// The table's current data: posted edits included, records marked deleted left out, unsorted order.
// pretty adds line breaks and indentation (JSON and XML).
bool SaveToBytes(const MemTable &table, StorageFormat format, bool pretty, QByteArray *out, QString *err = nullptr);
bool SaveToFile(const MemTable &table, const QString &path, StorageFormat format, bool pretty,
                QString *err = nullptr);

// nullptr with err set for a file that cannot be read, is cut short or is not of the format.
RowSetPtr LoadFromBytes(const QByteArray &data, StorageFormat format, QString *err = nullptr);
RowSetPtr LoadFromFile(const QString &path, StorageFormat format, QString *err = nullptr);
// Loads the file into the table (replacing its rows). The table is unchanged on failure.
bool LoadTableFromFile(MemTable &table, const QString &path, StorageFormat format, QString *err = nullptr);

// The writers and readers of each format, over plain rows.
namespace storage {
QByteArray WriteJson(const RowSet &rows, bool pretty);
RowSetPtr ReadJson(const QByteArray &data, QString *err);
QByteArray WriteXml(const RowSet &rows, bool pretty);
RowSetPtr ReadXml(const QByteArray &data, QString *err);
QByteArray WriteBinary(const RowSet &rows);
RowSetPtr ReadBinary(const QByteArray &data, QString *err);

// Shared by the formats: doubles in their shortest exact form ("NaN", "Infinity", "-Infinity" for
// the values without one), and back.
QByteArray DoubleText(double v);
bool ParseDouble(QByteArrayView text, double *v);
}  // namespace storage

}  // namespace qrv::dal
