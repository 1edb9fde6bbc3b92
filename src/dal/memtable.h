#pragma once
// A data set in memory over a fetched result: fields, a current record (1-based record numbers),
// navigation and typed access, a sort order and cached updates. The rows live in a shared RowSet, so a
// second table over the same result costs nothing; edits are kept as an overlay (per-row state and
// replaced values) and never rewrite the RowSet.
#include <QString>
#include <QVariant>
#include <QVector>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dal/rowset.h"

namespace qrv::dal {

// Cached-update state of a record.
enum class UpdateStatus : quint8 { Unmodified, Modified, Inserted, Deleted };

// Edit state of the table.
enum class DataSetState : quint8 { Browse, Edit, Insert };

class MemTable {
 public:
  MemTable();
  explicit MemTable(RowSetPtr rows);
  ~MemTable();
  MemTable(const MemTable &) = delete;
  MemTable &operator=(const MemTable &) = delete;

  // Shares the rows (a second cursor over the same data). Drops the sort order and the change log.
  void setRows(RowSetPtr rows);
  // Copies the rows of another result into a RowSet of its own.
  void copyFrom(const RowSet &rows);
  // Copies the current data of another table (posted edits included, deleted records left out, in the
  // other table's unsorted order) into a RowSet of its own.
  void copyFrom(const MemTable &other);
  // An empty table with these fields.
  void createDataSet(const FieldDefs &fields);
  const RowSetPtr &rows() const { return rows_; }
  bool active() const { return bool(rows_); }
  void close();

  const FieldDefs &fields() const;
  int fieldCount() const { return rows_ ? rows_->fieldCount() : 0; }
  int fieldIndex(const QString &name) const { return rows_ ? rows_->fieldIndex(name) : -1; }
  // Marks a field read-only (or writable); ignored for an index out of range.
  void setFieldReadOnly(int field, bool readOnly);
  // Visible records: rows of the result plus posted inserts, minus records removed by applied deletes.
  // Records marked deleted and not yet applied are counted. A record being appended counts too.
  qsizetype recordCount() const;

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
  // Physical rows: 0 .. rows()->rowCount() - 1 are the result's rows, higher ones posted inserts.
  qsizetype rowOfRecNo(qsizetype recNo) const;
  qsizetype currentRow() const;
  // The record number of a physical row; 0 when the row is not visible.
  qsizetype recordNumberOfRow(qsizetype row) const { return recordIndexOfRow(row) + 1; }

  // Fields of the current record (the edit buffer while editing or appending).
  bool isNull(int field) const;
  QString text(int field) const;
  QVariant value(int field) const;
  bool isNull(const QString &field) const { return isNull(fieldIndex(field)); }
  QString text(const QString &field) const { return text(fieldIndex(field)); }
  QVariant value(const QString &field) const { return value(fieldIndex(field)); }

  // Posted values of a physical row: the overlay first, then the RowSet.
  bool rowIsNull(qsizetype row, int field) const;
  QString rowText(qsizetype row, int field) const;
  QVariant rowValue(qsizetype row, int field) const;
  // The values of a row before its pending changes (as fetched or as last applied).
  QVariant originalValue(qsizetype row, int field) const;
  // Replaced values of a row, or nullptr when the row is read straight from the RowSet.
  const QVector<QVariant> *rowOverlay(qsizetype row) const {
    if (edited_.empty()) return nullptr;
    auto it = edited_.find(row);
    return it == edited_.end() ? nullptr : &it->second;
  }

  // Unsorted order of the visible records: position -> physical row. Local SQL numbers rows by it.
  qsizetype naturalCount() const;
  qsizetype naturalRow(qsizetype pos) const { return hasNatural_ ? natural_[size_t(pos)] : pos; }

  // Sort order: "F:A;G:D" (field names ignoring case, ":A" ascending, ":D" descending, no suffix
  // ascending). Stable; nulls first ascending and last descending; numbers numerically, BCD/FMTBcd as
  // decimals, text by code point (case-sensitive), binary by bytes. An empty list restores the unsorted
  // order. An unknown field gives false with err set and leaves the order as it was.
  bool setIndexFieldNames(const QString &list, QString *err = nullptr);
  QString indexFieldNames() const { return indexFields_; }

  // ---- Cached updates ----
  DataSetState state() const { return state_; }
  // Puts the current record into edit state. False when there is no record or it is marked deleted.
  bool edit();
  // Appends a new record (all fields null) as the current one, in insert state. A record being edited
  // or appended is posted first (an unchanged appended record is dropped); false when that post fails.
  bool append(QString *err = nullptr);
  // Field assignment in edit or insert state (edit() is called in browse state). Values are converted
  // to the field's type; a value that does not convert, or a read-only field, gives false with err set.
  bool setValue(int field, const QVariant &v, QString *err = nullptr);
  bool setText(int field, const QString &text, QString *err = nullptr);  // empty text = NULL
  bool setNull(int field, QString *err = nullptr) { return setValue(field, QVariant(), err); }
  // Stores the edit buffer. An edit that changed nothing leaves the record unmodified.
  bool post(QString *err = nullptr);
  void cancel();
  // Marks the current record deleted (it stays visible). A record inserted and not yet applied is
  // removed instead. False when there is no record or it is already marked.
  bool deleteRecord();
  UpdateStatus updateStatus() const;  // of the current record
  UpdateStatus rowStatus(qsizetype row) const {
    return status_.empty() || size_t(row) >= status_.size() ? UpdateStatus::Unmodified
                                                            : UpdateStatus(status_[size_t(row)] & 3);
  }
  bool updatesPending() const { return !log_.empty(); }
  qsizetype changeCount() const { return qsizetype(log_.size()); }
  // Undoes the last change; its record becomes current. False when there is none.
  bool undoLastChange();
  // Undoes every pending change.
  void cancelUpdates();

  // The net change of each changed row, in the order of the rows' first changes.
  struct PendingChange {
    qsizetype row;
    UpdateStatus kind;  // Modified, Inserted or Deleted
  };
  std::vector<PendingChange> pendingChanges() const;
  // Ends an apply: changes of rows in failed are dropped (their records show the stored values again),
  // the others become the stored state (applied deletes leave the table). The log is emptied.
  void mergeChangeLog(const std::vector<qsizetype> &failedRows);

  // Where edits are written back (schema may be empty); set by the code that fills the table.
  void setUpdateTable(const QString &schema, const QString &table) {
    updSchema_ = schema;
    updTable_ = table;
  }
  QString updateSchema() const { return updSchema_; }
  QString updateTable() const { return updTable_; }

  // A weak reference for objects that may outlive the table (local SQL registrations): it points at
  // the table while the table exists.
  std::weak_ptr<MemTable *> handle() const { return self_; }
  // Counts changes of the rows or fields (refill, close); local SQL checks it.
  quint64 generation() const { return generation_; }

  // Bytes used by the rows and the sort order, for memory reports.
  size_t memoryUsed() const;

  // Converts a value to the storage of a field type (qint64/bool, double, QString, QByteArray; invalid
  // for NULL). False with err set when it does not convert.
  static bool ConvertValue(const FieldDef &f, const QVariant &in, QVariant *out, QString *err);
  // The text of a stored value as RowSet::text gives it.
  static QString ValueText(const FieldDef &f, const QVariant &v);

 protected:
  struct LogEntry {
    qsizetype row;
    quint8 prevStatus;       // a Status value, kRemoved for a row that did not exist / was hidden
    bool prevHadValues;
    QVector<QVariant> prevValues;
  };
  static constexpr quint8 kRemoved = 4;  // status flag: the row is not visible

  void reset();
  qsizetype physCount() const { return (rows_ ? rows_->rowCount() : 0) + inserted_; }
  qsizetype recordRow(qsizetype idx) const;
  qsizetype visibleCount() const;
  void ensureStatus();
  QVector<QVariant> currentValues(qsizetype row) const;
  void hideRow(qsizetype row);
  void showRow(qsizetype row);
  qsizetype recordIndexOfRow(qsizetype row) const;
  void pushLog(qsizetype row);
  void restoreEntry(const LogEntry &e);
  void clampCursor();
  // Leaves edit or insert state: posts a changed buffer, drops an untouched appended record.
  void checkBrowse();

  RowSetPtr rows_;
  std::vector<qsizetype> order_;    // sorted: record index -> row (valid when sorted_)
  bool sorted_ = false;
  QString indexFields_;
  std::vector<qsizetype> natural_;  // visible rows in unsorted order (valid when hasNatural_)
  bool hasNatural_ = false;
  qsizetype inserted_ = 0;          // physical rows beyond the RowSet
  std::vector<quint8> status_;      // per physical row; empty while nothing changed
  std::unordered_map<qsizetype, QVector<QVariant>> edited_;  // replaced values per row
  std::vector<LogEntry> log_;
  DataSetState state_ = DataSetState::Browse;
  QVector<QVariant> buffer_;
  bool bufferChanged_ = false;
  QString updSchema_, updTable_;
  qsizetype cur_ = 0;               // 0-based record index
  bool eof_ = true;
  bool bof_ = true;
  quint64 generation_ = 0;
  std::shared_ptr<MemTable *> self_;
};

using MemTablePtr = std::shared_ptr<MemTable>;

}  // namespace qrv::dal

namespace qrv::dal {
// Compares two decimal texts ("-12.50", "3") by value: -1, 0 or 1. Texts that are not numbers count
// as zero.
int CompareDecimalText(QByteArrayView a, QByteArrayView b);
}  // namespace qrv::dal
