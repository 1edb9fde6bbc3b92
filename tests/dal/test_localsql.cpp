// Local SQL over memory tables: rowid, window functions over the table's sort, aggregates, edits,
// several connections, tables closed while registered, and a million rows.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include "dal/localsql.h"

using namespace qrv::dal;

namespace {

FieldDef Fld(const QString &name, FieldType t, int size = 0) {
  FieldDef f;
  f.name = name;
  f.type = t;
  f.size = size;
  return f;
}

// id, name, amount (FMTBcd as text), data (Blob); nullptr = NULL.
RowSetPtr MakeRows() {
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("id", FieldType::Integer), Fld("name", FieldType::WideString, 40),
                                               Fld("amount", FieldType::FMTBcd), Fld("data", FieldType::Blob)});
  struct R {
    qint64 id;
    const char *name, *amount;
    QByteArray data;
  } rows[] = {
      {10, "O'Brien", "10.50", QByteArray("\x00\x01", 2)},
      {20, nullptr, "9.75", QByteArray()},
      {30, "zeta", "-2", QByteArray("z")},
      {40, "Alpha", nullptr, QByteArray("\xff", 1)},
      {50, "\xc3\xa9t\xc3\xa9", "100", QByteArray("")},
  };
  for (const R &r : rows) {
    rs->appendInt(0, r.id);
    if (r.name) rs->appendUtf8(1, r.name, qsizetype(strlen(r.name)));
    else rs->appendNull(1);
    if (r.amount) rs->appendUtf8(2, r.amount, qsizetype(strlen(r.amount)));
    else rs->appendNull(2);
    if (r.data.isNull()) rs->appendNull(3);
    else rs->appendBytes(3, r.data.constData(), r.data.size());
    rs->endRow();
  }
  return rs;
}

class LocalSqlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    table.setRows(MakeRows());
    QString err;
    ASSERT_TRUE(sql.open(&err)) << err.toStdString();
    ASSERT_TRUE(sql.registerTable(QStringLiteral("fdmtQuery"), table, &err)) << err.toStdString();
  }
  RowSetPtr Query(const QString &text) {
    QString err;
    RowSetPtr r = sql.query(text, &err);
    EXPECT_TRUE(r) << text.toStdString() << ": " << err.toStdString();
    return r;
  }
  MemTable table;
  LocalSql sql;
};

}  // namespace

TEST_F(LocalSqlTest, RowidValuesAndTypesComeThrough) {
  RowSetPtr r = Query(QStringLiteral("SELECT rowid + 1 AS Id, * FROM fdmtQuery"));
  ASSERT_TRUE(r);
  ASSERT_EQ(r->rowCount(), 5);
  ASSERT_EQ(r->fieldCount(), 5);
  EXPECT_EQ(r->fields()[1].type, FieldType::Integer);
  EXPECT_EQ(r->fields()[2].type, FieldType::WideString);
  EXPECT_EQ(r->fields()[2].size, 40);
  EXPECT_EQ(r->fields()[3].type, FieldType::FMTBcd);
  EXPECT_EQ(r->fields()[4].type, FieldType::Blob);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(r->intValue(i, 0), i + 1);
    for (int c = 0; c < 4; ++c) {
      EXPECT_EQ(r->isNull(i, c + 1), table.rows()->isNull(i, c)) << i << "," << c;
      EXPECT_EQ(r->value(i, c + 1), table.rows()->value(i, c)) << i << "," << c;
    }
  }
  EXPECT_EQ(r->text(0, 3), "10.50");  // exact decimal text, not a rounded number
  // Quotes in values and text comparisons work on the stored text.
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT id FROM fdmtQuery WHERE name = 'O''Brien'")).toLongLong(), 10);
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT count(*) FROM fdmtQuery WHERE rowid = 3")).toLongLong(), 1);
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT id FROM fdmtQuery WHERE rowid = 3")).toLongLong(), 40);
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT hex(data) FROM fdmtQuery WHERE rowid = 0")).toString(), "0001");
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT count(*) FROM fdmtQuery WHERE rowid = 99")).toLongLong(), 0);
}

TEST_F(LocalSqlTest, RowNumberOverSortMatchesTableRecordNumbers) {
  struct Case {
    const char *indexList, *orderBy;
  } cases[] = {
      {"name:A", "\"name\" ASC"},
      {"amount:D", "\"amount\" DESC"},  // decimals compare by value in SQL too
      {"amount:A;id:D", "\"amount\" ASC, \"id\" DESC"},
  };
  for (const Case &c : cases) {
    ASSERT_TRUE(table.setIndexFieldNames(QString::fromUtf8(c.indexList)));
    RowSetPtr r = Query(QStringLiteral("SELECT rowid, row_number() OVER (ORDER BY %1) AS Id FROM fdmtQuery")
                            .arg(QString::fromUtf8(c.orderBy)));
    ASSERT_TRUE(r);
    ASSERT_EQ(r->rowCount(), 5);
    for (qsizetype i = 0; i < r->rowCount(); ++i)
      EXPECT_EQ(table.rowOfRecNo(r->intValue(i, 1)), r->intValue(i, 0)) << c.indexList;
  }
  // rowid stays the unsorted position whatever the sort.
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT group_concat(rowid) FROM fdmtQuery")).toString(), "0,1,2,3,4");
}

TEST_F(LocalSqlTest, GroupConcatAndEditsAreVisible) {
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT GROUP_CONCAT(name) FROM fdmtQuery")).toString(),
            QString::fromUtf8("O'Brien,zeta,Alpha,\xc3\xa9t\xc3\xa9"));
  table.setRecNo(2);
  ASSERT_TRUE(table.setText(1, QStringLiteral("new")));
  ASSERT_TRUE(table.post());
  table.setRecNo(3);
  ASSERT_TRUE(table.deleteRecord());
  ASSERT_TRUE(table.append());
  ASSERT_TRUE(table.setValue(0, 60));
  ASSERT_TRUE(table.post());
  RowSetPtr r = Query(QStringLiteral("SELECT rowid, id, name FROM fdmtQuery ORDER BY rowid"));
  ASSERT_TRUE(r);
  ASSERT_EQ(r->rowCount(), 6);  // the deleted record is still a row, the inserted one follows
  EXPECT_EQ(r->text(1, 2), "new");
  EXPECT_EQ(r->intValue(5, 0), 5);
  EXPECT_EQ(r->intValue(5, 1), 60);
  EXPECT_TRUE(r->isNull(5, 2));
  // After an applied delete the records are numbered without a gap.
  table.mergeChangeLog({});
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT group_concat(rowid || ':' || id) FROM fdmtQuery")).toString(),
            "0:10,1:20,2:40,3:50,4:60");
}

TEST_F(LocalSqlTest, SeveralConnectionsAndClosedOrFreedTables) {
  LocalSql other;
  ASSERT_TRUE(other.open());
  ASSERT_TRUE(other.registerTable(QStringLiteral("MemTable"), table));
  auto extra = std::make_unique<MemTable>(MakeRows());
  ASSERT_TRUE(other.registerTable(QStringLiteral("fdMIQ"), *extra));
  EXPECT_EQ(other.scalar(QStringLiteral("SELECT count(*) FROM MemTable m JOIN fdMIQ q ON q.id = m.id")).toLongLong(), 5);
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT sum(id) FROM fdmtQuery")).toLongLong(), 150);

  QString err;
  extra.reset();  // freed while registered
  EXPECT_FALSE(other.query(QStringLiteral("SELECT * FROM fdMIQ"), &err));
  EXPECT_FALSE(err.isEmpty());
  table.close();  // closed while registered on two connections
  for (LocalSql *c : {&sql, &other}) {
    err.clear();
    EXPECT_FALSE(c->query(QStringLiteral("SELECT count(*) FROM %1").arg(c == &sql ? "fdmtQuery" : "MemTable"), &err));
    EXPECT_TRUE(err.contains(QLatin1String("closed"))) << err.toStdString();
  }
  // Reopened and registered again, it is readable again.
  table.setRows(MakeRows());
  ASSERT_TRUE(sql.registerTable(QStringLiteral("fdmtQuery"), table, &err)) << err.toStdString();
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT count(*) FROM fdmtQuery")).toLongLong(), 5);
  ASSERT_TRUE(sql.unregisterTable(QStringLiteral("fdmtQuery")));
  EXPECT_FALSE(sql.query(QStringLiteral("SELECT * FROM fdmtQuery"), &err));
}

TEST(LocalSql, DuplicateAndEmptyColumnNamesAndCopyIntoNativeTable) {
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("ID", FieldType::Largeint), Fld("id", FieldType::Largeint),
                                               Fld("", FieldType::WideMemo), Fld("x", FieldType::OraInterval)});
  rs->appendInt(0, 1);
  rs->appendInt(1, 2);
  rs->appendText(2, u"memo");
  rs->appendText(3, u"+01 02:00:00");
  rs->endRow();
  MemTable t(rs);
  LocalSql sql;
  ASSERT_TRUE(sql.open());
  QString err;
  ASSERT_TRUE(sql.registerTable(QStringLiteral("t"), t, &err)) << err.toStdString();
  RowSetPtr r = sql.query(QStringLiteral("SELECT * FROM t"), &err);
  ASSERT_TRUE(r) << err.toStdString();
  EXPECT_EQ(r->fields()[1].name, "id_1");
  EXPECT_EQ(r->fields()[2].name, "Column3");
  EXPECT_EQ(r->text(0, 3), "+01 02:00:00");  // text affinity kept for a type name containing INT
  // "Query This Dataset" style copy into a native table keeps the values.
  ASSERT_TRUE(sql.exec(QStringLiteral("CREATE TABLE c AS SELECT * FROM t; INSERT INTO c SELECT * FROM t;"), &err))
      << err.toStdString();
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT count(*) || ':' || sum(id_1) FROM c")).toString(), "2:4");
  // Errors come back as text, not as a crash.
  EXPECT_FALSE(sql.query(QStringLiteral("SELECT nope FROM t"), &err));
  EXPECT_TRUE(err.contains(QLatin1String("nope")));
  EXPECT_FALSE(sql.query(QStringLiteral("CREATE TABLE d(x)"), &err));
}

TEST(LocalSql, MillionRowTable) {
  const int n = 1000000;
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("n", FieldType::Integer), Fld("s", FieldType::WideString)});
  rs->reserve(n);
  for (int i = 0; i < n; ++i) {
    rs->appendInt(0, i);
    const QByteArray s = "v" + QByteArray::number(i);
    rs->appendUtf8(1, s.constData(), s.size());
    rs->endRow();
  }
  MemTable t(rs);
  ASSERT_TRUE(t.setIndexFieldNames(QStringLiteral("n:D")));
  LocalSql sql;
  ASSERT_TRUE(sql.open());
  ASSERT_TRUE(sql.registerTable(QStringLiteral("fdmtQuery"), t));
  // Numbers containing "77": 19 per 1000 below 1000 (and so on); count them independently.
  qint64 expected = 0;
  for (int i = 0; i < n; ++i)
    if (QByteArray::number(i).contains("77")) ++expected;
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT count(*) FROM fdmtQuery WHERE s LIKE '%77%'")).toLongLong(), expected);
  EXPECT_EQ(sql.scalar(QStringLiteral("SELECT sum(n) FROM fdmtQuery")).toLongLong(), qint64(n) * (n - 1) / 2);
  QString err;
  RowSetPtr r = sql.query(
      QStringLiteral("SELECT rowid, row_number() OVER (ORDER BY \"n\" DESC) AS Id FROM fdmtQuery"), &err);
  ASSERT_TRUE(r) << err.toStdString();
  ASSERT_EQ(r->rowCount(), n);
  for (qsizetype i = 0; i < n; i += 9973) EXPECT_EQ(t.rowOfRecNo(r->intValue(i, 1)), r->intValue(i, 0));
}
