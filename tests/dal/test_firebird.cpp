#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>

#include "dal/driver_firebird.h"
#include "meta_fixtures.h"
#include "support/testsupport.h"

using namespace qrv::dal;
using qrvtest::ExecAll;
using qrvtest::ExecQuiet;
using qrvtest::QueryAll;

namespace {

class FirebirdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = qrvtest::OpenOrFail(CreateFirebirdConnection("FB"), qrvtest::FirebirdParams(), "Firebird");
    ASSERT_TRUE(conn_);
  }
  ConnectionPtr conn_;
};

TEST_F(FirebirdTest, ValuesOfEveryTypeArriveAsTheServerHoldsThem) {
  ExecQuiet(*conn_, {"DROP TABLE FBT_TYPES"});
  ASSERT_TRUE(ExecAll(*conn_, {
      "CREATE TABLE FBT_TYPES (ID INTEGER NOT NULL, S SMALLINT, B BIGINT, N NUMERIC(10,2), "
      "N18 NUMERIC(18,4), D DOUBLE PRECISION, F FLOAT, DT DATE, TM TIME, TS TIMESTAMP, C CHAR(5), "
      "V VARCHAR(100), M BLOB SUB_TYPE TEXT, BIN BLOB SUB_TYPE BINARY, OK BOOLEAN, O CHAR(4) CHARACTER SET OCTETS)",
      "INSERT INTO FBT_TYPES VALUES (1, -7, 9000000000123, -12345678.05, -0.0001, 2.5, 0.5, '2024-02-29', "
      "'13:14:15.1230', '2024-02-29 23:59:58.5', 'äb', 'Grüße, 世界', 'long ' || 'text ä', "
      "x'00FF10', TRUE, x'41420043')",
      "INSERT INTO FBT_TYPES (ID) VALUES (2)"}));
  DbError err;
  auto rs = QueryAll(*conn_, "SELECT * FROM FBT_TYPES ORDER BY ID;", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  ASSERT_EQ(rs->rowCount(), 2);

  struct Expect {
    const char *column;
    FieldType type;
    const char *text;
  };
  const Expect cases[] = {
      {"S", FieldType::Smallint, "-7"},
      {"B", FieldType::Largeint, "9000000000123"},
      {"N", FieldType::FMTBcd, "-12345678.05"},
      {"N18", FieldType::FMTBcd, "-0.0001"},
      {"D", FieldType::Float, "2.5"},
      {"F", FieldType::Single, "0.5"},
      {"DT", FieldType::Date, "2024-02-29"},
      {"TM", FieldType::Time, "13:14:15.123"},
      {"TS", FieldType::DateTime, "2024-02-29 23:59:58.5"},
      {"C", FieldType::FixedWideChar, "äb   "},
      {"V", FieldType::WideString, "Grüße, 世界"},
      {"M", FieldType::WideMemo, "long text ä"},
      {"BIN", FieldType::Blob, "00ff10"},
      {"OK", FieldType::Boolean, "true"},
      {"O", FieldType::Bytes, "41420043"},
  };
  for (const Expect &e : cases) {
    SCOPED_TRACE(e.column);
    const int col = rs->fieldIndex(e.column);
    ASSERT_GE(col, 0);
    EXPECT_EQ(rs->fields()[col].type, e.type) << FieldTypeName(rs->fields()[col].type).toStdString();
    EXPECT_EQ(rs->text(0, col).toLower(), QString::fromUtf8(e.text).toLower());
    EXPECT_TRUE(rs->isNull(1, col));
  }
  const FieldDef &n = rs->fields()[rs->fieldIndex("N")];
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(rs->fields()[rs->fieldIndex("V")].size, 100);
  EXPECT_FALSE(rs->fields()[rs->fieldIndex("ID")].nullable);
  EXPECT_EQ(rs->fields()[rs->fieldIndex("V")].originTable, "FBT_TYPES");
  ExecQuiet(*conn_, {"DROP TABLE FBT_TYPES"});
}

TEST_F(FirebirdTest, ChangesReportAffectedRowsAndFailedStatementsLeaveNothingBehind) {
  ExecQuiet(*conn_, {"DROP TABLE FBT_DML"});
  ASSERT_TRUE(ExecAll(*conn_, {"CREATE TABLE FBT_DML (ID INTEGER NOT NULL PRIMARY KEY, V VARCHAR(10))"}));
  struct Step {
    const char *sql;
    qint64 affected;
  };
  const Step steps[] = {
      {"INSERT INTO FBT_DML VALUES (1, 'a')", 1},
      {"INSERT INTO FBT_DML SELECT 2, 'b' FROM RDB$DATABASE UNION ALL SELECT 3, 'c' FROM RDB$DATABASE", 2},
      {"UPDATE FBT_DML SET V = 'x' WHERE ID >= 2", 2},
      {"UPDATE FBT_DML SET V = 'y' WHERE ID = 99", 0},
      {"DELETE FROM FBT_DML WHERE ID = 3", 1},
  };
  for (const Step &s : steps) {
    DbError err;
    auto cur = conn_->execute(s.sql, &err);
    ASSERT_TRUE(cur) << s.sql << ": " << err.message.toStdString();
    EXPECT_FALSE(cur->hasRows());
    EXPECT_EQ(cur->rowsAffected(), s.affected) << s.sql;
  }
  // A duplicate key fails with the server's message and code; the row count stays.
  DbError err;
  EXPECT_FALSE(conn_->execute("INSERT INTO FBT_DML VALUES (1, 'dup')", &err));
  EXPECT_TRUE(err.message.contains("PRIMARY", Qt::CaseInsensitive) ||
              err.message.contains("unique", Qt::CaseInsensitive))
      << err.message.toStdString();
  EXPECT_EQ(err.sqlState, "23000");
  EXPECT_NE(err.code, 0);
  // Transaction statements are harmless: every statement commits by itself.
  ASSERT_TRUE(ExecAll(*conn_, {"COMMIT"}));
  auto rs = QueryAll(*conn_, "SELECT ID, V FROM FBT_DML ORDER BY ID");
  ASSERT_TRUE(rs);
  EXPECT_EQ(qrvtest::RowTexts(*rs, {"ID", "V"}), QStringList({"1|a", "2|x"}));

  // A second connection sees the committed rows.
  auto other = qrvtest::OpenOrFail(CreateFirebirdConnection("FB"), qrvtest::FirebirdParams(), "Firebird");
  ASSERT_TRUE(other);
  rs = QueryAll(*other, "SELECT COUNT(*) FROM FBT_DML");
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->text(0, 0), "2");
  other.reset();
  ExecQuiet(*conn_, {"DROP TABLE FBT_DML"});
}

TEST_F(FirebirdTest, ProceduresAndGeneratorsReturnTheirRows) {
  ExecQuiet(*conn_, {"DROP PROCEDURE FBT_SEL", "DROP PROCEDURE FBT_EXE", "DROP SEQUENCE FBT_SEQ"});
  ASSERT_TRUE(ExecAll(*conn_, {
      "CREATE PROCEDURE FBT_EXE (A INTEGER, B VARCHAR(10)) RETURNS (TWICE INTEGER, TXT VARCHAR(20)) AS "
      "BEGIN TWICE = A * 2; TXT = B || '!'; END;",
      "CREATE PROCEDURE FBT_SEL (N INTEGER) RETURNS (I INTEGER) AS "
      "BEGIN I = 1; WHILE (I <= N) DO BEGIN SUSPEND; I = I + 1; END END",
      "CREATE SEQUENCE FBT_SEQ"}));
  struct Case {
    const char *sql;
    QStringList columns;
    QStringList rows;
  };
  const Case cases[] = {
      {"EXECUTE PROCEDURE FBT_EXE(21, 'hi')", {"TWICE", "TXT"}, {"42|hi!"}},
      {"SELECT I FROM FBT_SEL(3)", {"I"}, {"1", "2", "3"}},
      {"SELECT GEN_ID(FBT_SEQ, 5) AS G FROM RDB$DATABASE", {"G"}, {"5"}},
      {"SELECT NEXT VALUE FOR FBT_SEQ AS G FROM RDB$DATABASE", {"G"}, {"6"}},
  };
  for (const Case &c : cases) {
    DbError err;
    auto rs = QueryAll(*conn_, c.sql, &err);
    ASSERT_TRUE(rs) << c.sql << ": " << err.message.toStdString();
    EXPECT_EQ(qrvtest::RowTexts(*rs, c.columns), c.rows) << c.sql;
  }
  // Fetching in pieces gives the same rows.
  DbError err;
  auto cur = conn_->execute("SELECT I FROM FBT_SEL(5)", &err);
  ASSERT_TRUE(cur);
  RowSet rs(cur->fields());
  EXPECT_EQ(cur->fetch(rs, 2, &err), 2);
  EXPECT_EQ(cur->fetch(rs, 10, &err), 3);
  EXPECT_EQ(cur->fetch(rs, 10, &err), 0);
  EXPECT_FALSE(cur->nextResult(&err));
  EXPECT_FALSE(err);
  cur.reset();
  ExecQuiet(*conn_, {"DROP PROCEDURE FBT_SEL", "DROP PROCEDURE FBT_EXE", "DROP SEQUENCE FBT_SEQ"});
}

TEST_F(FirebirdTest, CursorsOutliveTheirConnectionSafely) {
  DbError err;
  auto cur = conn_->execute("SELECT RDB$RELATION_NAME FROM RDB$RELATIONS", &err);
  ASSERT_TRUE(cur) << err.message.toStdString();
  RowSet rs(cur->fields());
  EXPECT_EQ(cur->fetch(rs, 1, &err), 1);
  conn_->close();
  EXPECT_FALSE(conn_->isOpen());
  EXPECT_EQ(cur->fetch(rs, -1, &err), 0);
  conn_.reset();  // the connection goes first; the cursor must not touch it afterwards
  EXPECT_EQ(cur->fetch(rs, -1, &err), 0);
  cur.reset();
  EXPECT_EQ(rs.rowCount(), 1);
}

TEST_F(FirebirdTest, ErrorsAreCleanTexts) {
  DbError err;
  EXPECT_FALSE(conn_->execute("SELEKT 1 FROM RDB$DATABASE", &err));
  EXPECT_TRUE(err.message.contains("Token unknown", Qt::CaseInsensitive)) << err.message.toStdString();
  EXPECT_EQ(err.sqlState, "42000");
  // The connection stays usable after an error.
  auto rs = QueryAll(*conn_, "SELECT 1 FROM RDB$DATABASE", &err);
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->text(0, 0), "1");
  EXPECT_FALSE(conn_->serverVersion().isEmpty());
  EXPECT_FALSE(conn_->clientVersion().isEmpty());
}

TEST(FirebirdOpen, MissingFileAndBadLoginGiveCleanErrors) {
  QTemporaryDir dir;
  ConnParams missing = qrvtest::FirebirdParams();
  missing.set("Database", dir.path() + "/no_such_database.fdb");
  ConnParams badLogin = qrvtest::FirebirdParams();
  badLogin.set("Password", "wrong-password");
  ConnParams noDb = qrvtest::FirebirdParams();
  noDb.remove("Database");
  struct Case {
    const char *name;
    ConnParams params;
    const char *needle;
  };
  const Case cases[] = {
      {"missing file", missing, "no_such_database.fdb"},
      {"bad password", badLogin, "password"},
      {"no database", noDb, "Database"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto conn = CreateFirebirdConnection("IB");
    DbError err;
    EXPECT_FALSE(conn->open(c.params, &err));
    EXPECT_FALSE(conn->isOpen());
    EXPECT_EQ(err.kind, DbErrorKind::ConnectFailed);
    EXPECT_TRUE(err.message.contains(c.needle, Qt::CaseInsensitive)) << err.message.toStdString();
    EXPECT_FALSE(conn->execute("SELECT 1 FROM RDB$DATABASE", &err));
    EXPECT_TRUE(err.isError());
  }
  EXPECT_FALSE(QFile::exists(dir.path() + "/no_such_database.fdb"));
}

// A query long enough to be stopped: a cross join of system tables.
const char *kLongQuery =
    "SELECT COUNT(*) FROM RDB$FIELDS A, RDB$FIELDS B, RDB$FIELDS C, RDB$RELATION_FIELDS D";

TEST_F(FirebirdTest, CancelFromAnotherThreadStopsTheCommand) {
  std::atomic<bool> done{false};
  DbError err;
  std::unique_ptr<Cursor> cur;
  std::thread runner([&] {
    cur = conn_->execute(kLongQuery, &err);
    if (cur) {
      RowSet rs(cur->fields());
      cur->fetch(rs, -1, &err);
    }
    done = true;
  });
  while (!done) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    conn_->cancel();
  }
  runner.join();
  EXPECT_EQ(err.kind, DbErrorKind::Cancelled);
  EXPECT_TRUE(err.message.contains("cancel", Qt::CaseInsensitive)) << err.message.toStdString();
  cur.reset();
  // The connection still works afterwards.
  auto rs = QueryAll(*conn_, "SELECT 2 FROM RDB$DATABASE", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(rs->text(0, 0), "2");
}

TEST_F(FirebirdTest, CommandTimeoutCancelsALongCommand) {
  conn_->setCommandTimeout(300);
  DbError err;
  auto rs = QueryAll(*conn_, kLongQuery, &err);
  EXPECT_FALSE(rs);
  EXPECT_EQ(err.kind, DbErrorKind::TimedOut);
  EXPECT_TRUE(err.message.contains("time-out", Qt::CaseInsensitive)) << err.message.toStdString();
  rs = QueryAll(*conn_, "SELECT 3 FROM RDB$DATABASE", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(rs->text(0, 0), "3");
}

}  // namespace
