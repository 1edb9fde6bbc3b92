// Memory table: navigation, field access, sort order and cached updates.
#include <gtest/gtest.h>

#include <random>

#include "dal/memtable.h"
#include "meta_fixtures.h"

using namespace qrv::dal;
using qrvtest::Fld;

namespace {

// id, name, amount (FMTBcd), score (Float), flag (Boolean); null written as "~".
struct Row {
  qint64 id;
  const char *name;
  const char *amount;
  const char *score;
  const char *flag;
};

RowSetPtr MakeRows(const std::vector<Row> &rows) {
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("id", FieldType::Integer), Fld("Name", FieldType::WideString),
                                               Fld("amount", FieldType::FMTBcd), Fld("score", FieldType::Float),
                                               Fld("flag", FieldType::Boolean)});
  for (const Row &r : rows) {
    rs->appendInt(0, r.id);
    for (int c = 1; c <= 4; ++c) {
      const char *v = c == 1 ? r.name : c == 2 ? r.amount : c == 3 ? r.score : r.flag;
      if (QByteArray(v) == "~") rs->appendNull(c);
      else rs->appendFromText(c, v, qsizetype(strlen(v)));
    }
    rs->endRow();
  }
  return rs;
}

// Ties on name (b twice, null twice) keep their load order; code point order puts "B" before "a".
const std::vector<Row> kRows = {
    {1, "b", "10.5", "2.5", "t"},  {2, "~", "9.75", "~", "f"}, {3, "a", "-3", "-1", "~"},
    {4, "B", "~", "2.5", "t"},     {5, "b", "-10", "1e3", "f"}, {6, "~", "9.750", "0", "t"},
    {7, "\xc3\xa9", "0.00", "-1e3", "f"},  // é after every ASCII letter
};

std::vector<qint64> Ids(MemTable &t) {
  std::vector<qint64> ids;
  for (t.first(); !t.eof(); t.next()) ids.push_back(t.value(0).toLongLong());
  return ids;
}

}  // namespace

TEST(MemTableNavigation, RecordNumbersEndOfDataAndFieldsByName) {
  MemTable t(MakeRows(kRows));
  EXPECT_EQ(t.recordCount(), 7);
  EXPECT_EQ(t.recNo(), 1);
  EXPECT_TRUE(t.bof());
  t.setRecNo(100);  // past the end: the last record
  EXPECT_EQ(t.recNo(), 7);
  EXPECT_EQ(t.value(0).toLongLong(), 7);
  t.next();
  EXPECT_TRUE(t.eof());
  EXPECT_EQ(t.recNo(), 7);
  t.setRecNo(2);
  EXPECT_TRUE(t.isNull(QStringLiteral("NAME")));  // names ignore case
  EXPECT_EQ(t.text(QStringLiteral("amount")), "9.75");
  EXPECT_EQ(t.text(QStringLiteral("flag")), "False");
  EXPECT_TRUE(t.isNull(QStringLiteral("no such field")));
  t.prior();
  t.prior();
  EXPECT_TRUE(t.bof());
  EXPECT_EQ(t.recNo(), 1);
  EXPECT_EQ(Ids(t), (std::vector<qint64>{1, 2, 3, 4, 5, 6, 7}));

  MemTable empty(std::make_shared<RowSet>(FieldDefs{Fld("x", FieldType::Integer)}));
  EXPECT_EQ(empty.recNo(), 0);
  EXPECT_TRUE(empty.eof());
  empty.setRecNo(3);
  EXPECT_EQ(empty.recNo(), 0);
}

TEST(MemTableSort, OrdersByIndexFieldList) {
  struct Case {
    const char *list;
    std::vector<qint64> ids;
  } cases[] = {
      {"Name:A", {2, 6, 4, 3, 1, 5, 7}},     // nulls first, stable ties, code point order
      {"name:D", {7, 1, 5, 3, 4, 2, 6}},     // nulls last, ties still in load order
      {"amount", {4, 5, 3, 7, 2, 6, 1}},     // decimals by value, 9.75 = 9.750 keeps order
      {"amount:D", {1, 2, 6, 7, 3, 5, 4}},
      {"score:A;id:D", {2, 7, 3, 6, 4, 1, 5}},  // numbers numerically (1e3 is the largest)
      {"", {1, 2, 3, 4, 5, 6, 7}},
  };
  for (const Case &c : cases) {
    MemTable t(MakeRows(kRows));
    t.setIndexFieldNames(QStringLiteral("id:D"));
    QString err;
    ASSERT_TRUE(t.setIndexFieldNames(QString::fromUtf8(c.list), &err)) << err.toStdString();
    EXPECT_EQ(Ids(t), c.ids) << c.list;
  }
  // Booleans: true after false; descending puts the null last; ties by name, nulls first.
  MemTable t(MakeRows(kRows));
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("flag:D;name:A")));
  EXPECT_EQ(Ids(t), (std::vector<qint64>{6, 4, 1, 2, 5, 7, 3}));
}

TEST(MemTableSort, UnknownFieldKeepsOrderAndRecordNumbersFollowSort) {
  MemTable t(MakeRows(kRows));
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("id:D")));
  QString err;
  EXPECT_FALSE(t.setIndexFieldNames(QStringLiteral("id:A;nope:D"), &err));
  EXPECT_TRUE(err.contains(QLatin1String("nope")));
  EXPECT_EQ(t.indexFieldNames(), "id:D");
  t.setRecNo(1);
  EXPECT_EQ(t.value(0).toLongLong(), 7);
  EXPECT_EQ(t.rowOfRecNo(1), 6);
  EXPECT_EQ(t.rowOfRecNo(7), 0);
}

TEST(MemTableSort, MillionRowsMixedKeysAreOrdered) {
  const int n = 1000000;
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("k", FieldType::Integer), Fld("s", FieldType::WideString)});
  rs->reserve(n);
  std::mt19937 rng(7);
  for (int i = 0; i < n; ++i) {
    if (i % 97 == 0) rs->appendNull(0);
    else rs->appendInt(0, rng() % 1000);
    const QByteArray s = QByteArray::number(rng() % 5000);
    rs->appendUtf8(1, s.constData(), s.size());
    rs->endRow();
  }
  MemTable t(rs);
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("k:D;s:A")));
  ASSERT_EQ(t.recordCount(), n);
  qsizetype prev = t.rowOfRecNo(1);
  for (qsizetype r = 2; r <= n; ++r) {
    const qsizetype cur = t.rowOfRecNo(r);
    const bool pn = rs->isNull(prev, 0), cn = rs->isNull(cur, 0);
    ASSERT_FALSE(pn && !cn) << "null before a value in a descending sort at " << r;
    if (!pn && !cn && rs->intValue(prev, 0) != rs->intValue(cur, 0)) {
      ASSERT_GT(rs->intValue(prev, 0), rs->intValue(cur, 0)) << r;
    } else if (pn == cn) {
      const QByteArrayView a = rs->utf8(prev, 1), b = rs->utf8(cur, 1);
      ASSERT_TRUE(a < b || (a == b && prev < cur)) << "tie order at " << r;
    }
    prev = cur;
  }
}

// ---- Cached updates ----

class MemTableEdits : public ::testing::Test {
 protected:
  void SetUp() override { t.setRows(MakeRows({{1, "a", "1.50", "1", "t"}, {2, "~", "2", "2", "f"}, {3, "c", "3", "3", "t"}})); }
  MemTable t;
};

TEST_F(MemTableEdits, EditPostAndUnchangedValuesLeaveRecordUnmodified) {
  t.setRecNo(2);
  ASSERT_TRUE(t.setText(1, QString()));  // a NULL cell left empty
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);
  EXPECT_TRUE(t.isNull(1));
  EXPECT_FALSE(t.updatesPending());

  t.setRecNo(1);
  ASSERT_TRUE(t.setValue(0, 1));  // the same value
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);

  ASSERT_TRUE(t.setText(1, QStringLiteral("x")));
  EXPECT_EQ(t.text(1), "x");  // the edit buffer is shown while editing
  t.next();                   // moving posts
  EXPECT_EQ(t.changeCount(), 1);
  t.setRecNo(1);
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Modified);
  EXPECT_EQ(t.text(1), "x");
  EXPECT_EQ(t.originalValue(t.currentRow(), 1).toString(), "a");
  EXPECT_EQ(t.rows()->text(0, 1), "a");  // the fetched rows are untouched
}

TEST_F(MemTableEdits, ConversionErrorsAndReadOnlyFields) {
  struct Case {
    int field;
    QVariant value;
    bool ok;
    QString stored;
  } cases[] = {
      {0, QStringLiteral("abc"), false, {}},    {0, QStringLiteral(" 42 "), true, "42"},
      {0, QStringLiteral("3000000000"), false, {}},  // beyond a 32-bit Integer
      {0, 2.5, false, {}},                       {2, QStringLiteral("12.3x"), false, {}},
      {2, QStringLiteral("-0.125"), true, "-0.125"}, {3, QStringLiteral("1e-3"), true, "0.001"},
      {3, QStringLiteral("one"), false, {}},     {4, QStringLiteral("yes"), true, "True"},
      {4, QStringLiteral("maybe"), false, {}},
  };
  for (const Case &c : cases) {
    t.setRecNo(1);
    QString err;
    EXPECT_EQ(t.setValue(c.field, c.value, &err), c.ok) << c.value.toString().toStdString();
    if (c.ok) EXPECT_EQ(t.text(c.field), c.stored);
    else EXPECT_FALSE(err.isEmpty());
    t.cancel();
  }
  t.setFieldReadOnly(1, true);
  QString err;
  EXPECT_FALSE(t.setText(1, QStringLiteral("z"), &err));
  EXPECT_TRUE(err.contains(QLatin1String("Name")));
  EXPECT_FALSE(t.updatesPending());
}

TEST_F(MemTableEdits, AppendDeleteUndoAndDiscard) {
  ASSERT_TRUE(t.append());
  EXPECT_EQ(t.recordCount(), 4);
  EXPECT_EQ(t.recNo(), 4);
  ASSERT_TRUE(t.append());  // an untouched appended record is dropped
  EXPECT_EQ(t.recordCount(), 4);
  ASSERT_TRUE(t.setValue(0, 9));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Inserted);
  EXPECT_EQ(t.recordCount(), 4);

  t.setRecNo(2);
  ASSERT_TRUE(t.deleteRecord());
  EXPECT_EQ(t.recordCount(), 4);  // deleted records stay visible
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Deleted);
  EXPECT_FALSE(t.deleteRecord());
  EXPECT_FALSE(t.edit());
  EXPECT_FALSE(t.setText(1, QStringLiteral("q")));

  t.setRecNo(3);
  ASSERT_TRUE(t.setText(1, QStringLiteral("cc")));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.changeCount(), 3);

  t.setRecNo(1);
  ASSERT_TRUE(t.undoLastChange());  // the edit of record 3
  EXPECT_EQ(t.recNo(), 3);
  EXPECT_EQ(t.text(1), "c");
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);
  ASSERT_TRUE(t.undoLastChange());  // the delete
  EXPECT_EQ(t.recNo(), 2);
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);

  t.setRecNo(1);
  ASSERT_TRUE(t.setText(1, QStringLiteral("aa")));
  t.setRecNo(4);
  ASSERT_TRUE(t.deleteRecord());  // an inserted record disappears when deleted
  EXPECT_EQ(t.recordCount(), 3);
  t.cancelUpdates();
  EXPECT_FALSE(t.updatesPending());
  EXPECT_EQ(t.recordCount(), 3);
  EXPECT_EQ(Ids(t), (std::vector<qint64>{1, 2, 3}));
  t.first();
  EXPECT_EQ(t.text(1), "a");
}

TEST_F(MemTableEdits, MergeKeepsAppliedChangesAndDropsFailedOnes) {
  ASSERT_TRUE(t.setText(1, QStringLiteral("applied")));  // record 1 modified
  t.setRecNo(2);
  ASSERT_TRUE(t.setText(1, QStringLiteral("fails")));     // record 2 modified, will fail
  t.setRecNo(3);
  ASSERT_TRUE(t.deleteRecord());                          // record 3 deleted, applied
  ASSERT_TRUE(t.append());
  ASSERT_TRUE(t.setValue(0, 10));
  ASSERT_TRUE(t.post());                                  // applied insert
  ASSERT_TRUE(t.append());
  ASSERT_TRUE(t.setValue(0, 11));
  ASSERT_TRUE(t.post());                                  // failed insert

  const auto changes = t.pendingChanges();
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[2].kind, UpdateStatus::Deleted);
  EXPECT_EQ(changes[3].kind, UpdateStatus::Inserted);
  t.mergeChangeLog({changes[1].row, changes[4].row});

  EXPECT_FALSE(t.updatesPending());
  EXPECT_EQ(Ids(t), (std::vector<qint64>{1, 2, 10}));
  t.setRecNo(1);
  EXPECT_EQ(t.text(1), "applied");
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);
  t.setRecNo(2);
  EXPECT_TRUE(t.isNull(1));  // the stored value again
  t.setRecNo(3);
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);
  // Undo has nothing left and a new edit starts from the applied values.
  EXPECT_FALSE(t.undoLastChange());
  t.setRecNo(1);
  ASSERT_TRUE(t.setText(1, QStringLiteral("again")));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.originalValue(t.currentRow(), 1).toString(), "applied");
}

TEST_F(MemTableEdits, SecondCursorSharesRowsButNotEditsAndCopyTakesPostedData) {
  MemTable second(t.rows());
  t.setRecNo(1);
  ASSERT_TRUE(t.setText(1, QStringLiteral("mine")));
  ASSERT_TRUE(t.post());
  t.setRecNo(3);
  ASSERT_TRUE(t.deleteRecord());
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("id:D")));
  EXPECT_EQ(second.text(1), "a");
  EXPECT_EQ(second.recordCount(), 3);

  MemTable copy;
  copy.copyFrom(t);
  EXPECT_EQ(copy.recordCount(), 2);  // deleted record left out, unsorted order
  EXPECT_EQ(Ids(copy), (std::vector<qint64>{1, 2}));
  copy.first();
  EXPECT_EQ(copy.text(1), "mine");
  EXPECT_EQ(copy.text(2), "1.50");
  EXPECT_NE(copy.rows(), t.rows());
}

TEST(MemTableSort, SortSeesPostedEditsAndInsertsJoinTheEnd) {
  MemTable t(MakeRows({{1, "b", "1", "1", "t"}, {2, "c", "2", "2", "t"}, {3, "a", "3", "3", "t"}}));
  t.setRecNo(2);
  ASSERT_TRUE(t.setText(1, QStringLiteral("0")));
  ASSERT_TRUE(t.post());
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("Name")));
  EXPECT_EQ(Ids(t), (std::vector<qint64>{2, 3, 1}));
  ASSERT_TRUE(t.append());
  ASSERT_TRUE(t.setValue(0, 4));
  ASSERT_TRUE(t.setText(1, QStringLiteral("\x01")));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(Ids(t), (std::vector<qint64>{2, 3, 1, 4}));
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("Name")));
  EXPECT_EQ(Ids(t), (std::vector<qint64>{4, 2, 3, 1}));
}

TEST(MemTableSort, DecimalsBeyondDoublePrecisionKeepTheirOrder) {
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("id", FieldType::Integer), Fld("d", FieldType::FMTBcd)});
  const char *vals[] = {"12345678901234567890124", "0.10000000000000000001", "-0.1", "0.1",
                        "12345678901234567890123", "-0.10000000000000000001", "0.100", "-0"};
  for (int i = 0; i < 8; ++i) {
    rs->appendInt(0, i);
    rs->appendUtf8(1, vals[i], qsizetype(strlen(vals[i])));
    rs->endRow();
  }
  MemTable t(rs);
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("d")));
  EXPECT_EQ(Ids(t), (std::vector<qint64>{5, 2, 7, 3, 6, 1, 4, 0}));
  EXPECT_EQ(CompareDecimalText("1.50", "1.5"), 0);
  EXPECT_EQ(CompareDecimalText("-2", "1"), -1);
}
