// Cached updates written back: generated SQL, finding the table of a result, and the whole apply against
// real SQLite and PostgreSQL tables with a concurrent change by another session.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "dal/applyupdates.h"
#include "dal/drivers.h"
#include "meta_fixtures.h"

using namespace qrv::dal;
using qrvtest::Fld;

TEST(ApplySql, QuotingAndLiteralsPerSystem) {
  EXPECT_EQ(QuoteIdentifier("PG", "a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(QuoteIdentifier("MySQL", "a`b"), "`a``b`");
  EXPECT_EQ(QuoteIdentifier("MSSQL", "a]b"), "[a]]b]");
  EXPECT_EQ(QuoteIdentifier("MSAcc", "x"), "[x]");
  EXPECT_EQ(QuoteIdentifier("FB", "x"), "\"x\"");
  EXPECT_EQ(QuoteTableName("MySQL", "db", "t"), "`db`.`t`");
  EXPECT_EQ(QuoteTableName("SQLite", "", "t"), "\"t\"");

  struct Case {
    const char *driver;
    FieldType type;
    QVariant value;
    const char *literal;
  } cases[] = {
      {"PG", FieldType::WideString, QStringLiteral("O'Brien \\n"), "'O''Brien \\n'"},
      {"MySQL", FieldType::WideString, QStringLiteral("O'Brien \\n"), "'O''Brien \\\\n'"},
      {"SQLite", FieldType::WideString, QVariant(), "NULL"},
      {"PG", FieldType::Boolean, true, "TRUE"},
      {"MySQL", FieldType::Boolean, false, "0"},
      {"SQLite", FieldType::Largeint, qint64(-9007199254740993), "-9007199254740993"},
      {"PG", FieldType::Float, 0.1, "0.1"},
      {"PG", FieldType::FMTBcd, QStringLiteral("-12.50"), "-12.50"},
      {"PG", FieldType::FMTBcd, QStringLiteral("1; DROP TABLE t"), "'1; DROP TABLE t'"},
      {"PG", FieldType::Blob, QByteArray("\x00\xff", 2), "decode('00ff', 'hex')"},
      {"SQLite", FieldType::Blob, QByteArray("\x01", 1), "X'01'"},
      {"MSSQL", FieldType::Blob, QByteArray("\x01", 1), "0x01"},
      {"Ora", FieldType::Blob, QByteArray("\x01", 1), "HEXTORAW('01')"},
      {"PG", FieldType::Date, QStringLiteral("2024-02-29"), "'2024-02-29'"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(SqlLiteral(c.driver, Fld("f", c.type), c.value), c.literal) << c.driver << " " << c.literal;
}

TEST(ApplySql, SingleTableSelectsAreRecognised) {
  struct Case {
    const char *driver, *sql;
    bool ok;
    const char *schema, *table;
    bool star;
  } cases[] = {
      {"SQLite", "SELECT * FROM t", true, "", "t", true},
      {"PG", "-- note\nselect a, b + 1 as c from Public.MyTab x where a > 1 order by a", true, "public", "mytab", false},
      {"PG", "SELECT * FROM \"My Tab\" /* c */ LIMIT 10;", true, "", "My Tab", true},
      {"MSSQL", "SELECT TOP (10) * FROM [dbo].[T]", true, "dbo", "T", true},
      {"FB", "SELECT FIRST 5 * FROM Emp", true, "", "EMP", true},
      {"PG", "SELECT * FROM t WHERE id IN (SELECT id FROM u JOIN v ON u.x = v.x)", true, "", "t", true},
      {"PG", "SELECT * FROM a JOIN b ON a.id = b.id", false, "", "", false},
      {"PG", "SELECT * FROM a x, b y", false, "", "", false},
      {"PG", "SELECT * FROM (SELECT 1) s", false, "", "", false},
      {"PG", "SELECT a FROM t UNION SELECT a FROM u", false, "", "", false},
      {"PG", "SELECT a, count(*) FROM t GROUP BY a", false, "", "", false},
      {"PG", "SELECT DISTINCT a FROM t", false, "", "", false},
      {"PG", "WITH x AS (SELECT 1) SELECT * FROM x", false, "", "", false},
      {"PG", "SELECT 1", false, "", "", false},
      {"PG", "SELECT * FROM t; DELETE FROM t", false, "", "", false},
      {"PG", "SELECT * FROM t LEFT OUTER JOIN u ON true", false, "", "", false},
  };
  for (const Case &c : cases) {
    SingleTableSelect s;
    const bool ok = ParseSingleTableSelect(c.driver, QString::fromUtf8(c.sql), &s);
    EXPECT_EQ(ok, c.ok) << c.sql;
    if (!ok || !c.ok) continue;
    EXPECT_EQ(s.schema, c.schema) << c.sql;
    EXPECT_EQ(s.table, c.table) << c.sql;
    EXPECT_EQ(s.star, c.star) << c.sql;
  }
  SingleTableSelect s;
  ASSERT_TRUE(ParseSingleTableSelect("PG", "SELECT x.A, b + 1 AS c, \"D\" e FROM t x", &s));
  ASSERT_EQ(s.items.size(), 3);
  EXPECT_EQ(s.items[0].column, "a");
  EXPECT_TRUE(s.items[1].column.isEmpty());
  EXPECT_EQ(s.items[1].alias, "c");
  EXPECT_EQ(s.items[2].column, "D");
  EXPECT_EQ(s.items[2].alias, "e");
}

TEST(ApplySql, TableFromSelectTextAndStatementsOfEachChange) {
  auto rs = std::make_shared<RowSet>(FieldDefs{Fld("id", FieldType::Integer), Fld("name", FieldType::WideString),
                                               Fld("c", FieldType::Largeint), Fld("pic", FieldType::Blob)});
  rs->appendInt(0, 1);
  rs->appendNull(1);
  rs->appendInt(2, 2);
  rs->appendBytes(3, "\x01", 1);
  rs->endRow();
  MemTable t(rs);
  QString err;
  ASSERT_TRUE(ResolveUpdateTable(t, "MySQL", "SELECT id, name, id + 1 AS c, pic FROM shop.items", &err))
      << err.toStdString();
  EXPECT_EQ(t.updateSchema(), "shop");
  EXPECT_EQ(t.updateTable(), "items");
  EXPECT_TRUE(t.fields()[2].readOnly);  // computed
  EXPECT_FALSE(t.fields()[1].readOnly);
  EXPECT_FALSE(t.setText(2, QStringLiteral("7")));

  ASSERT_TRUE(t.setText(1, QStringLiteral("it's")));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(BuildUpdateSql(t, "MySQL", 0),
            "UPDATE `shop`.`items` SET `name` = 'it''s' WHERE `id` = 1 AND `name` IS NULL AND `pic` = X'01'");
  EXPECT_EQ(BuildDeleteSql(t, "MSSQL", 0),
            "DELETE FROM [shop].[items] WHERE [id] = 1 AND [name] IS NULL");  // binary not compared there
  ASSERT_TRUE(t.append());
  ASSERT_TRUE(t.setValue(0, 2));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(BuildInsertSql(t, "PG", 1),
            "INSERT INTO \"shop\".\"items\" (\"id\", \"name\", \"pic\") VALUES (2, NULL, NULL)");

  MemTable none(std::make_shared<RowSet>(FieldDefs{Fld("x", FieldType::Integer)}));
  EXPECT_FALSE(ResolveUpdateTable(none, "PG", "SELECT 1 AS x", &err));
  EXPECT_TRUE(err.contains(QLatin1String("cannot be saved"))) << err.toStdString();
}

// ---- Against real databases ----

namespace {

struct DbCase {
  const char *name;
  const char *driver;
  // The edited result: its fifth column cannot be written back.
  const char *select;
};

class ApplyOnServer : public ::testing::TestWithParam<DbCase> {
 protected:
  ConnectionPtr Open() {
    const QString driver = QString::fromLatin1(GetParam().driver);
    DbError e;
    ConnectionPtr c = CreateDriverConnection(driver, &e);
    if (!c) {
      ADD_FAILURE() << e.message.toStdString();
      return nullptr;
    }
    if (driver == u"SQLite") {
      ConnParams p;
      p.set(QStringLiteral("Database"), dir_.filePath(QStringLiteral("apply.db")));
      return qrvtest::OpenOrFail(std::move(c), p, driver);
    }
    return qrvtest::OpenOrFail(std::move(c), qrvtest::PgParams(), QStringLiteral("PostgreSQL"));
  }
  void SetUp() override {
    conn_ = Open();
    other_ = Open();
    ASSERT_TRUE(conn_ && other_);
    qrvtest::ExecQuiet(*conn_, {"DROP TABLE qrv_apply_u", "DROP TABLE qrv_apply_t"});
    ASSERT_TRUE(qrvtest::ExecAll(
        *conn_, {"CREATE TABLE qrv_apply_t (id INTEGER PRIMARY KEY, name VARCHAR(40), note VARCHAR(40), "
                 "amount NUMERIC(10,2))",
                 "CREATE TABLE qrv_apply_u (id INTEGER, label VARCHAR(20))",
                 "INSERT INTO qrv_apply_t VALUES (1, 'one', NULL, 1.50), (2, 'two', 'x', 2.00), "
                 "(3, 'three', NULL, NULL), (4, 'four', 'y', 4.25)",
                 "INSERT INTO qrv_apply_u VALUES (1, 'L1'), (2, 'L2'), (3, 'L3'), (4, 'L4')"}));
  }
  void TearDown() override {
    if (conn_) qrvtest::ExecQuiet(*conn_, {"DROP TABLE qrv_apply_u", "DROP TABLE qrv_apply_t"});
  }
  RowSetPtr Query(Connection &c, const QString &sql) {
    DbError e;
    RowSetPtr r = qrvtest::QueryAll(c, sql, &e);
    EXPECT_TRUE(r) << sql.toStdString() << ": " << e.message.toStdString();
    return r;
  }
  QStringList Rows(const QString &sql) {
    RowSetPtr r = Query(*other_, sql);
    QStringList out;
    for (qsizetype i = 0; r && i < r->rowCount(); ++i) {
      QStringList cells;
      for (int c = 0; c < r->fieldCount(); ++c) cells << (r->isNull(i, c) ? QStringLiteral("<null>") : r->text(i, c));
      out << cells.join(u'|');
    }
    return out;
  }

  QTemporaryDir dir_;
  ConnectionPtr conn_, other_;
};

}  // namespace

TEST_P(ApplyOnServer, EditInsertDeleteWithAConflictAndAJoinedColumn) {
  const QString sql = QString::fromLatin1(GetParam().select);
  MemTable t(Query(*conn_, sql));
  ASSERT_TRUE(t.active());
  ASSERT_EQ(t.recordCount(), 4);
  QString err;
  ASSERT_TRUE(ResolveUpdateTable(t, *conn_, sql, &err)) << err.toStdString();
  EXPECT_EQ(t.updateTable(), "qrv_apply_t");
  EXPECT_TRUE(t.fields()[4].readOnly) << "the joined or computed column";
  EXPECT_FALSE(t.fields()[1].readOnly);
  EXPECT_FALSE(t.setText(4, QStringLiteral("nope"), &err));
  t.cancel();

  t.setRecNo(1);
  ASSERT_TRUE(t.setText(1, QStringLiteral("uno")));
  ASSERT_TRUE(t.setText(2, QString()));  // NULL cell left empty
  t.setRecNo(2);
  ASSERT_TRUE(t.setText(1, QStringLiteral("dos")));  // another session changes this row first
  t.setRecNo(3);
  ASSERT_TRUE(t.deleteRecord());
  t.setRecNo(4);
  ASSERT_TRUE(t.setText(3, QStringLiteral("0.1")));
  ASSERT_TRUE(t.append());
  ASSERT_TRUE(t.setValue(0, 5));
  ASSERT_TRUE(t.setText(1, QStringLiteral("fi've")));
  ASSERT_TRUE(t.setText(3, QStringLiteral("5.5")));
  ASSERT_TRUE(t.post());
  EXPECT_EQ(t.changeCount(), 5);

  ASSERT_TRUE(qrvtest::ExecAll(*other_, {"UPDATE qrv_apply_t SET name = 'changed' WHERE id = 2"}));

  const ApplyResult res = ApplyUpdates(t, *conn_);
  EXPECT_EQ(res.applied, 4);
  ASSERT_EQ(res.failed, 1);
  EXPECT_TRUE(res.errors[0].startsWith(QLatin1String("Record 2:"))) << res.errorText().toStdString();
  EXPECT_FALSE(t.updatesPending());

  // The table: applied changes stay, the deleted record is gone, the failed edit shows the stored value.
  ASSERT_EQ(t.recordCount(), 4);
  t.setRecNo(2);
  EXPECT_EQ(t.text(1), "two");
  EXPECT_EQ(t.updateStatus(), UpdateStatus::Unmodified);
  t.setRecNo(4);
  EXPECT_EQ(t.value(0).toLongLong(), 5);

  EXPECT_EQ(Rows("SELECT id, name, note FROM qrv_apply_t ORDER BY id"),
            (QStringList{"1|uno|<null>", "2|changed|x", "4|four|y", "5|fi've|<null>"}));
  EXPECT_EQ(Rows("SELECT count(*) FROM qrv_apply_t WHERE (id = 4 AND amount = 0.1) OR (id = 5 AND amount = 5.5)"),
            QStringList{"2"});
  EXPECT_EQ(Rows("SELECT count(*) FROM qrv_apply_u"), QStringList{"4"});

  // A second round starts from the applied values.
  t.setRecNo(1);
  ASSERT_TRUE(t.setText(1, QStringLiteral("one again")));
  const ApplyResult res2 = ApplyUpdates(t, *conn_);
  EXPECT_EQ(res2.applied, 1) << res2.errorText().toStdString();
  EXPECT_EQ(Rows("SELECT name FROM qrv_apply_t WHERE id = 1"), QStringList{"one again"});
}

TEST_P(ApplyOnServer, DuplicateRowsAreNotChangedTogether) {
  ASSERT_TRUE(qrvtest::ExecAll(*conn_, {"INSERT INTO qrv_apply_u VALUES (9, 'same'), (9, 'same')"}));
  const QString sql = QStringLiteral("SELECT * FROM qrv_apply_u WHERE id = 9");
  MemTable t(Query(*conn_, sql));
  ASSERT_EQ(t.recordCount(), 2);
  QString err;
  ASSERT_TRUE(ResolveUpdateTable(t, conn_->driverId(), sql, &err)) << err.toStdString();
  ASSERT_TRUE(t.setText(1, QStringLiteral("first only")));
  const ApplyResult res = ApplyUpdates(t, *conn_);
  EXPECT_EQ(res.failed, 1);
  EXPECT_TRUE(res.errorText().contains(QLatin1String("2 records"))) << res.errorText().toStdString();
  EXPECT_EQ(Rows("SELECT label FROM qrv_apply_u WHERE id = 9"), (QStringList{"same", "same"}));
  t.first();
  EXPECT_EQ(t.text(1), "same");
}

INSTANTIATE_TEST_SUITE_P(Databases, ApplyOnServer,
                         ::testing::Values(DbCase{"SQLite", "SQLite",
                                                  "SELECT t.id, t.name, t.note, t.amount, u.label FROM qrv_apply_t t "
                                                  "JOIN qrv_apply_u u ON u.id = t.id ORDER BY t.id"},
                                           DbCase{"PostgreSQL", "PG",
                                                  "SELECT t.id, t.name, t.note, t.amount, u.label FROM qrv_apply_t t "
                                                  "JOIN qrv_apply_u u ON u.id = t.id ORDER BY t.id"},
                                           DbCase{"PostgreSQL_computed", "PG",
                                                  "SELECT id, name, note, amount, upper(name) AS label "
                                                  "FROM qrv_apply_t ORDER BY id"}),
                         [](const auto &info) { return std::string(info.param.name); });
