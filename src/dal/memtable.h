#pragma once
// A data set in memory over a fetched result: fields, a current record (1-based record numbers),
// navigation and typed access. The rows live in a shared RowSet, so a second table over the same
// result costs nothing.
#include <QString>
#include <QVariant>
#include <vector>

#include "dal/rowset.h"

namespace qrv::dal {

class MemTable {
 public:
  MemTable() = default;
  explicit MemTable(RowSetPtr rows) { setRows(std::move(rows)); }

  // Shares the rows (a second cursor over the same data).
  void setRows(RowSetPtr rows);
  // Copies the rows of another result into a RowSet of its own.
  void copyFrom(const RowSet &rows);
  const RowSetPtr &rows() const { return rows_; }
  bool active() const { return bool(rows_); }
  void close();

  const FieldDefs &fields() const;
  int fieldCount() const { return rows_ ? rows_->fieldCount() : 0; }
  int fieldIndex(const QString &name) const { return rows_ ? rows_->fieldIndex(name) : -1; }
  qsizetype recordCount() const { return rows_ ? rows_->rowCount() : 0; }

  // Current record, 1-based; 0 when the table is empty. Setting one past the end makes the last current.
  qsizetype recNo() const { return recordCount() == 0 ? 0 : cur_ + 1; }
  void setRecNo(qsizetype recNo);
  bool eof() const { return eof_; }
  bool bof() const { return bof_; }
  void first();
  void last();
  void next();
  void prior();

  // The physical row of a record number (record numbers follow the sort order, when there is one).
  qsizetype rowOfRecNo(qsizetype recNo) const;
  qsizetype currentRow() const { return recordCount() == 0 ? -1 : rowOfRecNo(cur_ + 1); }

  // Fields of the current record.
  bool isNull(int field) const;
  QString text(int field) const;
  QVariant value(int field) const;
  bool isNull(const QString &field) const { return isNull(fieldIndex(field)); }
  QString text(const QString &field) const { return text(fieldIndex(field)); }
  QVariant value(const QString &field) const { return value(fieldIndex(field)); }

 protected:
  RowSetPtr rows_;
  std::vector<qsizetype> order_;  // record index -> row, when sorted; empty for the natural order
  qsizetype cur_ = 0;             // 0-based record index
  bool eof_ = true;
  bool bof_ = true;
};

}  // namespace qrv::dal
