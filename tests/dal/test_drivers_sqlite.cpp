// The SQLite driver on files of a temporary folder.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <thread>

#include "dal/dalutil.h"
#include "dal/driver_sqlite.h"

using namespace qrv::dal;

namespace {

class SqliteDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    conn_ = open(dir_.filePath(QStringLiteral("t.db")));
    ASSERT_TRUE(conn_);
  }
  ConnectionPtr open(const QString &file, DbError *err = nullptr) {
    ConnectionPtr c = CreateSqliteConnection();
    ConnParams p;
    p.set(QStringLiteral("Database"), file);
    DbError e;
    if (!c->open(p, &e)) {
      if (err) *err = e;
      return nullptr;
    }
    return c;
  }
  void exec(const QString &sql) {
    DbError e;
    ASSERT_TRUE(ExecAll(*conn_, sql, &e)) << e.message.toStdString();
  }
  RowSetPtr query(const QString &sql) {
    DbError e;
    RowSetPtr rs = QueryRows(*conn_, sql, &e);
    EXPECT_TRUE(rs) << e.message.toStdString();
    return rs;
  }

  QTemporaryDir dir_;
  ConnectionPtr conn_;
};

TEST_F(SqliteDriverTest, DeclaredTypesBecomeFieldTypesAndValuesKeepTheirForm) {
  exec(QStringLiteral(
      "CREATE TABLE t (id INTEGER PRIMARY KEY, i INT NOT NULL, s SMALLINT, b BOOLEAN, r REAL, "
      "n NUMERIC(12,2), v VARCHAR(20), tx TEXT, bl BLOB, d DATE, ts TIMESTAMP, g GUID, \"ünï\" VARCHAR(5));"
      "INSERT INTO t VALUES (1, -5, 7, 1, 2.5, 1234.5, 'grüße', 'long', x'00ff0a', '2024-02-29', "
      "'2024-02-29 10:11:12', '{A}', 'ü');"
      "INSERT INTO t (id, i) VALUES (2, 0);"));
  RowSetPtr rs = query(QStringLiteral("SELECT t.*, i * 2 AS twice FROM t ORDER BY id"));
  ASSERT_TRUE(rs);
  struct {
    const char *name;
    FieldType type;
    int size, precision, scale;
    const char *first;  // text of row 1
  } cols[] = {
      {"id", FieldType::Largeint, 0, 0, 0, "1"},        {"i", FieldType::Integer, 0, 0, 0, "-5"},
      {"s", FieldType::Smallint, 0, 0, 0, "7"},         {"b", FieldType::Boolean, 0, 0, 0, "True"},
      {"r", FieldType::Float, 0, 0, 0, "2.5"},          {"n", FieldType::FMTBcd, 0, 12, 2, "1234.5"},
      {"v", FieldType::WideString, 20, 0, 0, "grüße"},  {"tx", FieldType::WideMemo, 0, 0, 0, "long"},
      {"bl", FieldType::Blob, 0, 0, 0, "00FF0A"},       {"d", FieldType::Date, 0, 0, 0, "2024-02-29"},
      {"ts", FieldType::TimeStamp, 0, 0, 0, "2024-02-29 10:11:12"},
      {"g", FieldType::Guid, 38, 0, 0, "{A}"},          {"ünï", FieldType::WideString, 5, 0, 0, "ü"},
      {"twice", FieldType::Largeint, 0, 0, 0, "-10"},
  };
  ASSERT_EQ(rs->fieldCount(), int(std::size(cols)));
  ASSERT_EQ(rs->rowCount(), 2);
  for (int i = 0; i < rs->fieldCount(); ++i) {
    const FieldDef &f = rs->fields()[i];
    SCOPED_TRACE(cols[i].name);
    EXPECT_EQ(f.name, QString::fromUtf8(cols[i].name));
    EXPECT_EQ(FieldTypeName(f.type), FieldTypeName(cols[i].type));
    EXPECT_EQ(f.size, cols[i].size);
    EXPECT_EQ(f.precision, cols[i].precision);
    EXPECT_EQ(f.scale, cols[i].scale);
    EXPECT_EQ(rs->text(0, i), QString::fromUtf8(cols[i].first));
    // Row 2 holds NULL in every column but the keys.
    if (i >= 2 && i < rs->fieldCount() - 1) {
      EXPECT_TRUE(rs->isNull(1, i));
    }
  }
  EXPECT_EQ(rs->bytes(0, 8).toByteArray(), QByteArray("\x00\xff\x0a", 3));
  EXPECT_FALSE(rs->fields()[1].nullable);
  EXPECT_EQ(rs->fields()[1].originTable, QStringLiteral("t"));
  EXPECT_TRUE(rs->fields()[13].readOnly);
  EXPECT_FALSE(rs->fields()[1].readOnly);
}

TEST_F(SqliteDriverTest, ValuesThatDoNotFitTheDeclaredTypeAreKeptAsText) {
  exec(QStringLiteral("CREATE TABLE m (a INTEGER, f REAL); INSERT INTO m VALUES (1, 1.5), (2, 'n/a'), "
                      "('abc', 2), (3.25, x'41');"));
  RowSetPtr rs = query(QStringLiteral("SELECT a, f FROM m ORDER BY rowid"));
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->rowCount(), 4);
  EXPECT_EQ(rs->fields()[0].type, FieldType::WideMemo);
  EXPECT_EQ(rs->fields()[1].type, FieldType::WideMemo);
  const QStringList a = {rs->text(0, 0), rs->text(1, 0), rs->text(2, 0), rs->text(3, 0)};
  const QStringList f = {rs->text(0, 1), rs->text(1, 1), rs->text(2, 1), rs->text(3, 1)};
  EXPECT_EQ(a, (QStringList{"1", "2", "abc", "3.25"}));
  // REAL affinity made the 2 a real number.
  EXPECT_EQ(f, (QStringList{"1.5", "n/a", "2.0", "A"}));
}

TEST_F(SqliteDriverTest, EveryStatementOfATextIsOneResult) {
  DbError e;
  auto c = conn_->execute(QStringLiteral(
                              "CREATE TABLE k (x INT); INSERT INTO k VALUES (1),(2),(3); -- comment\n"
                              "UPDATE k SET x = x + 1 WHERE x > 1; SELECT x FROM k ORDER BY x; DELETE FROM k;  "),
                          &e);
  ASSERT_TRUE(c) << e.message.toStdString();
  struct {
    bool rows;
    qint64 affected;
  } expected[] = {{false, 0}, {false, 3}, {false, 2}, {true, -1}, {false, 3}};
  int n = 0;
  do {
    ASSERT_LT(n, 5);
    EXPECT_EQ(c->hasRows(), expected[n].rows) << n;
    if (c->hasRows()) {
      RowSetPtr rs = FetchAll(*c, &e);
      ASSERT_TRUE(rs);
      EXPECT_EQ(rs->rowCount(), 3);
      EXPECT_EQ(rs->intValue(2, 0), 4);  // 1, 3, 4 after the update
    } else {
      EXPECT_EQ(c->rowsAffected(), expected[n].affected) << n;
    }
    ++n;
  } while (c->nextResult(&e));
  EXPECT_FALSE(e.isError()) << e.message.toStdString();
  EXPECT_EQ(n, 5);

  // A query with no rows is still a result with rows (none of them).
  RowSetPtr none = query(QStringLiteral("SELECT x FROM k"));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->rowCount(), 0);
  EXPECT_EQ(none->fieldCount(), 1);
}

TEST_F(SqliteDriverTest, ErrorsCarryMessageCodeAndObjectNotFound) {
  DbError e;
  EXPECT_FALSE(conn_->execute(QStringLiteral("SELECT * FROM nowhere"), &e));
  EXPECT_EQ(e.kind, DbErrorKind::ObjectNotFound);
  EXPECT_EQ(e.code, ErrObjectNotFound);
  EXPECT_TRUE(e.message.contains(QStringLiteral("no such table: nowhere"))) << e.message.toStdString();

  e.clear();
  EXPECT_FALSE(conn_->execute(QStringLiteral("SELEC 1"), &e));
  EXPECT_EQ(e.kind, DbErrorKind::Other);
  EXPECT_EQ(e.nativeCode, 1);
  EXPECT_TRUE(e.message.contains(QStringLiteral("syntax error")));

  // A failing second statement ends the walk with its error; the first result stays valid.
  e.clear();
  auto c = conn_->execute(QStringLiteral("SELECT 1; SELECT * FROM nowhere; SELECT 2"), &e);
  ASSERT_TRUE(c);
  EXPECT_TRUE(c->hasRows());
  EXPECT_FALSE(c->nextResult(&e));
  EXPECT_EQ(e.kind, DbErrorKind::ObjectNotFound);
  c.reset();
  // The connection goes on working.
  EXPECT_EQ(QueryValue(*conn_, QStringLiteral("SELECT 41 + 1"), nullptr).toInt(), 42);
}

TEST_F(SqliteDriverTest, FilesThatCannotBeOpenedFailCleanly) {
  QFile junk(dir_.filePath(QStringLiteral("junk.db")));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write(QByteArray(4096, 'x'));
  junk.close();
  for (const QString &file : {dir_.filePath(QStringLiteral("junk.db")), dir_.filePath(QStringLiteral("no/such/dir/x.db")),
                              dir_.path()}) {
    DbError e;
    EXPECT_FALSE(open(file, &e)) << file.toStdString();
    EXPECT_EQ(e.kind, DbErrorKind::ConnectFailed);
    EXPECT_FALSE(e.message.isEmpty());
  }
  // Empty means a private in-memory database.
  DbError e;
  ConnectionPtr mem = open(QString(), &e);
  ASSERT_TRUE(mem) << e.message.toStdString();
  EXPECT_TRUE(ExecAll(*mem, QStringLiteral("CREATE TABLE a(x)"), &e));
}

// A statement that runs until it is stopped.
const QString kEndless = QStringLiteral(
    "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c");

TEST_F(SqliteDriverTest, CancelFromAnotherThreadAndTimeOutStopTheStatement) {
  DbError e;
  std::atomic<bool> started{false}, done{false};
  std::thread runner([&] {
    started = true;
    auto c = conn_->execute(kEndless, &e);
    EXPECT_FALSE(c);
    done = true;
  });
  while (!started) std::this_thread::yield();
  // Cancel until the statement has stopped: a cancel before it began has nothing to stop.
  while (!done) {
    conn_->cancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  runner.join();
  EXPECT_EQ(e.kind, DbErrorKind::Cancelled);
  EXPECT_EQ(e.message, CancelledText());

  conn_->setCommandTimeout(200);
  e.clear();
  EXPECT_FALSE(conn_->execute(kEndless, &e));
  EXPECT_EQ(e.kind, DbErrorKind::TimedOut);
  EXPECT_EQ(e.message, TimedOutText(200));

  // The next command is not affected by the earlier stops.
  EXPECT_EQ(QueryValue(*conn_, QStringLiteral("SELECT count(*) FROM (SELECT 1 UNION SELECT 2)"), &e).toInt(), 2);
}

TEST_F(SqliteDriverTest, FetchInChunksAndAbandonACursor) {
  const QString series = QStringLiteral(
      "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000) SELECT x, 'v' || x FROM c");
  DbError e;
  auto c = conn_->execute(series, &e);
  ASSERT_TRUE(c);
  RowSet rs(c->fields());
  qint64 n, total = 0, calls = 0;
  while ((n = c->fetch(rs, 300, &e)) > 0) {
    total += n;
    ++calls;
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(rs.text(999, 1), QStringLiteral("v1000"));

  // A cursor left in the middle of its rows does not block the next command.
  auto half = conn_->execute(series, &e);
  ASSERT_TRUE(half);
  RowSet part(half->fields());
  EXPECT_EQ(half->fetch(part, 10, &e), 10);
  exec(QStringLiteral("CREATE TABLE after_abandon (x)"));
  EXPECT_EQ(half->fetch(part, 10, &e), 0);  // the abandoned cursor has nothing more
  half.reset();
  EXPECT_TRUE(query(QStringLiteral("SELECT * FROM after_abandon")));
}

TEST_F(SqliteDriverTest, LiteralsRoundTripAndCursorsOutliveTheirConnection) {
  const QList<QVariant> values = {QStringLiteral("O'Brien"), QStringLiteral("a\\b"), QString::fromUtf8("日本"),
                                  QStringLiteral(""), QVariant(qint64(-42)), QVariant(0.5)};
  for (const QVariant &v : values) {
    RowSetPtr rs = query(QStringLiteral("SELECT %1").arg(conn_->quoteLiteral(v)));
    ASSERT_TRUE(rs);
    EXPECT_EQ(rs->text(0, 0), v.toString());
  }
  RowSetPtr b = query(QStringLiteral("SELECT %1").arg(conn_->quoteLiteral(QByteArray("\x00\x01'", 3))));
  ASSERT_TRUE(b);
  EXPECT_EQ(b->bytes(0, 0).toByteArray(), QByteArray("\x00\x01'", 3));

  DbError e;
  auto c = conn_->execute(QStringLiteral("SELECT 1 UNION ALL SELECT 2; SELECT 3"), &e);
  ASSERT_TRUE(c);
  conn_.reset();
  RowSet rs(c->fields());
  EXPECT_EQ(c->fetch(rs, -1, &e), 0);
  EXPECT_FALSE(c->nextResult(&e));
}

}  // namespace
