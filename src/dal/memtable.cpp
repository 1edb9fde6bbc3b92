#include "dal/memtable.h"

namespace qrv::dal {

static const FieldDefs kNoFields;

void MemTable::setRows(RowSetPtr rows) {
  rows_ = std::move(rows);
  order_.clear();
  first();
}

void MemTable::copyFrom(const RowSet &rows) { setRows(std::make_shared<RowSet>(rows)); }

void MemTable::close() {
  rows_.reset();
  order_.clear();
  cur_ = 0;
  eof_ = bof_ = true;
}

const FieldDefs &MemTable::fields() const { return rows_ ? rows_->fields() : kNoFields; }

void MemTable::setRecNo(qsizetype recNo) {
  const qsizetype n = recordCount();
  if (n == 0) return;
  cur_ = std::clamp<qsizetype>(recNo, 1, n) - 1;
  eof_ = bof_ = false;
}

void MemTable::first() {
  cur_ = 0;
  bof_ = true;
  eof_ = recordCount() == 0;
}

void MemTable::last() {
  const qsizetype n = recordCount();
  cur_ = n > 0 ? n - 1 : 0;
  eof_ = n == 0;
  bof_ = n == 0;
}

void MemTable::next() {
  if (cur_ + 1 < recordCount()) {
    ++cur_;
    bof_ = false;
  } else {
    eof_ = true;
  }
}

void MemTable::prior() {
  if (cur_ > 0) {
    --cur_;
    eof_ = false;
  } else {
    bof_ = true;
  }
}

qsizetype MemTable::rowOfRecNo(qsizetype recNo) const {
  const qsizetype i = recNo - 1;
  return order_.empty() ? i : order_[size_t(i)];
}

bool MemTable::isNull(int field) const {
  const qsizetype r = currentRow();
  return r < 0 || field < 0 || rows_->isNull(r, field);
}

QString MemTable::text(int field) const {
  const qsizetype r = currentRow();
  return r < 0 || field < 0 ? QString() : rows_->text(r, field);
}

QVariant MemTable::value(int field) const {
  const qsizetype r = currentRow();
  return r < 0 || field < 0 ? QVariant() : rows_->value(r, field);
}

}  // namespace qrv::dal
