#pragma once
// Compact, column-oriented storage of a fetched result: one typed array per column, text as UTF-8 in
// one buffer per column, a null bit per cell. No per-cell objects.
#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

#include "dal/fieldtypes.h"

namespace qrv::dal {

class RowSet {
 public:
  explicit RowSet(FieldDefs fields = {});

  const FieldDefs &fields() const { return fields_; }
  FieldDefs &fields() { return fields_; }
  int fieldCount() const { return int(fields_.size()); }
  // Index of a field by name, ignoring case; -1 when there is none.
  int fieldIndex(const QString &name) const;
  qsizetype rowCount() const { return rows_; }
  StorageKind storage(int col) const { return cols_[size_t(col)].kind; }

  void reserve(qsizetype rows);
  void clear();  // drops the rows, keeps the fields

  // Filling: every column of a row gets exactly one append, in any order of columns, then endRow().
  void appendNull(int col);
  void appendInt(int col, qint64 v);
  void appendDouble(int col, double v);
  void appendUtf8(int col, const char *data, qsizetype len);  // Text columns
  void appendText(int col, QStringView text);
  void appendBytes(int col, const char *data, qsizetype len); // Bytes columns
  // Converts a textual value of the server to the column's storage (integers, doubles, text, bytes).
  void appendFromText(int col, const char *data, qsizetype len);
  void endRow() { ++rows_; }
  // Appends row r of another row set with the same fields.
  void appendRowFrom(const RowSet &other, qsizetype r);
  // Changes the type of a field while filling, for a value that does not fit the field's storage (an
  // SQLite column declared INTEGER holding text). The cells filled so far are converted, not lost.
  void changeFieldType(int col, FieldType type);

  bool isNull(qsizetype row, int col) const {
    const Column &c = cols_[size_t(col)];
    return (c.nulls[size_t(row) >> 6] >> (row & 63)) & 1;
  }
  qint64 intValue(qsizetype row, int col) const;
  double doubleValue(qsizetype row, int col) const;
  QByteArrayView utf8(qsizetype row, int col) const;   // Text and Bytes columns: the raw bytes
  QByteArrayView bytes(qsizetype row, int col) const { return utf8(row, col); }
  // The value as text: numbers in C locale, text as stored, bytes as hexadecimal; empty for NULL.
  QString text(qsizetype row, int col) const;
  // The typed value (QVariant) of a cell, for code off the hot paths.
  QVariant value(qsizetype row, int col) const;

  // Bytes held by the cells, for memory reports.
  size_t memoryUsed() const;

 private:
  struct Column {
    StorageKind kind = StorageKind::Text;
    std::vector<qint64> ints;        // Int64 values
    std::vector<double> dbls;        // Double values
    std::vector<char> data;          // Text / Bytes: the values one after another
    std::vector<quint64> ends;       // Text / Bytes: end offset of each row's value in data
    std::vector<quint64> nulls;      // one bit per row
    qsizetype filled = 0;            // rows with a value in this column
  };
  void markRow(Column &c, bool isNull);

  FieldDefs fields_;
  std::vector<Column> cols_;
  qsizetype rows_ = 0;
};

using RowSetPtr = std::shared_ptr<RowSet>;

}  // namespace qrv::dal
