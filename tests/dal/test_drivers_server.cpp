// The PostgreSQL and MySQL/MariaDB drivers against the test servers: one table of driver differences,
// the same tests for both.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "dal/driver_mysql.h"
#include "dal/driver_pg.h"
#include "dal/drivertable.h"
#include "meta_fixtures.h"
#include "support/testsupport.h"
#include "util/textfile.h"

using namespace qrv::dal;

namespace {

struct ColumnCase {
  const char *decl;      // column type in CREATE TABLE
  const char *literal;   // value inserted
  FieldType type;
  int size, precision, scale;
  const char *text;      // RowSet::text of the value read back
};

struct ServerCase {
  const char *id;
  ConnectionPtr (*create)();
  ConnParams (*params)();
  const char *envPrefix;
  const char *sleep30;       // runs 30 s unless stopped; carries the marker qrv_probe
  const char *probeRunning;  // count of other sessions running the marker
  const char *messageSql;    // a command that leaves a server message
  const char *messageText;   // part of that message
  const char *ownId;
  const char *killSession;   // %1 = the session to end
  const char *series1000;    // two columns, 1..1000 and 'v' || n
  const char *failsMidway;   // rows first, then a run-time error; null where the server has none
  const char *unicodeSelect; // one column named größe holding 日本語
  const char *binary256;     // one column holding the bytes 00..FF
  const char *hugeText;      // one column holding 'ab' x 500000
  const char *currentDb;
  const char *notFoundCode;  // SQLSTATE or error number in the message
  const char *wrongPassword; // part of the message
  const char *endless;       // a stream of rows that takes minutes to end
  std::vector<ColumnCase> columns;
};

void PrintTo(const ServerCase &c, std::ostream *os) { *os << c.id; }

QString Hex256() {
  QByteArray b;
  for (int i = 0; i < 256; ++i) b.append(char(i));
  return QString::fromLatin1(b.toHex());
}

const std::vector<ServerCase> &Cases() {
  static const std::vector<ServerCase> cases = {
      {"PG", &CreatePgConnection, &qrvtest::PgParams, "QRV_PG",
       "SELECT pg_sleep(30) AS qrv_probe",
       "SELECT count(*) FROM pg_stat_activity WHERE query LIKE '%pg_sleep(30) AS qrv_probe%' "
       "AND state = 'active' AND pid <> pg_backend_pid()",
       "DO $$BEGIN RAISE NOTICE 'hello from qrv'; END$$", "hello from qrv", "SELECT pg_backend_pid()",
       "SELECT pg_terminate_backend(%1)", "SELECT g, 'v' || g FROM generate_series(1, 1000) g",
       "SELECT 1 / (500 - g) FROM generate_series(1, 1000) g", "SELECT '日本語' AS \"größe\"",
       "SELECT decode('%HEX%', 'hex') AS b", "SELECT repeat('ab', 500000) AS t", "SELECT current_database()",
       "42P01", "password authentication failed", "SELECT generate_series(1, 500000000) AS g",
       {
           {"smallint", "-7", FieldType::Smallint, 0, 0, 0, "-7"},
           {"integer", "2147483647", FieldType::Integer, 0, 0, 0, "2147483647"},
           {"bigint", "9000000000123", FieldType::Largeint, 0, 0, 0, "9000000000123"},
           {"numeric(12,2)", "-1234.5", FieldType::FMTBcd, 0, 12, 2, "-1234.50"},
           {"varchar(20)", "'grüße'", FieldType::WideString, 20, 0, 0, "grüße"},
           {"char(3)", "'ab'", FieldType::FixedWideChar, 3, 0, 0, "ab "},
           {"text", "'long ä'", FieldType::WideMemo, 0, 0, 0, "long ä"},
           {"bytea", "'\\x00ff'", FieldType::Blob, 0, 0, 0, "00FF"},
           {"boolean", "true", FieldType::Boolean, 0, 0, 0, "True"},
           {"real", "2.5", FieldType::Single, 0, 0, 0, "2.5"},
           {"double precision", "-0.125", FieldType::Float, 0, 0, 0, "-0.125"},
           {"date", "'2024-02-29'", FieldType::Date, 0, 0, 0, "2024-02-29"},
           {"time", "'13:14:15'", FieldType::Time, 0, 0, 0, "13:14:15"},
           {"timestamp", "'2024-02-29 23:59:58.5'", FieldType::TimeStamp, 0, 0, 0, "2024-02-29 23:59:58.5"},
           {"uuid", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'", FieldType::Guid, 38, 0, 0,
            "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
           {"json", "'{\"a\": 1}'", FieldType::WideMemo, 0, 0, 0, "{\"a\": 1}"},
           {"double precision", "'NaN'", FieldType::Float, 0, 0, 0, "nan"},
       }},
      {"MySQL", &CreateMySqlConnection, &qrvtest::MyParams, "QRV_MY",
       "SELECT SLEEP(30) AS qrv_probe",
       "SELECT count(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE '%SLEEP(30) AS qrv_probe%' "
       "AND ID <> CONNECTION_ID()",
       "SELECT CAST('abc' AS SIGNED) AS v", "Truncated incorrect INTEGER value: 'abc'", "SELECT CONNECTION_ID()",
       "KILL CONNECTION %1",
       "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000) "
       "SELECT x, CONCAT('v', x) FROM c",
       nullptr, "SELECT '日本語' AS `größe`", "SELECT X'%HEX%' AS b", "SELECT REPEAT('ab', 500000) AS t",
       "SELECT DATABASE()", "1146", "Access denied", "SELECT seq FROM seq_1_to_500000000",
       {
           {"smallint", "-7", FieldType::Smallint, 0, 0, 0, "-7"},
           {"int", "2147483647", FieldType::Integer, 0, 0, 0, "2147483647"},
           {"bigint", "9000000000123", FieldType::Largeint, 0, 0, 0, "9000000000123"},
           {"bigint unsigned", "18446744073709551615", FieldType::FMTBcd, 0, 20, 0, "18446744073709551615"},
           {"decimal(12,2)", "-1234.5", FieldType::FMTBcd, 0, 12, 2, "-1234.50"},
           {"varchar(20)", "'grüße'", FieldType::WideString, 20, 0, 0, "grüße"},
           {"char(3)", "'ab'", FieldType::FixedWideChar, 3, 0, 0, "ab"},
           {"text", "'long ä'", FieldType::WideMemo, 0, 0, 0, "long ä"},
           {"blob", "X'00FF'", FieldType::Blob, 0, 0, 0, "00FF"},
           {"varbinary(10)", "X'0102'", FieldType::VarBytes, 10, 0, 0, "0102"},
           {"tinyint(1)", "1", FieldType::Boolean, 0, 0, 0, "True"},
           {"bit(8)", "b'101'", FieldType::Largeint, 0, 0, 0, "5"},
           {"float", "2.5", FieldType::Single, 0, 0, 0, "2.5"},
           {"double", "-0.125", FieldType::Float, 0, 0, 0, "-0.125"},
           {"date", "'2024-02-29'", FieldType::Date, 0, 0, 0, "2024-02-29"},
           {"time", "'13:14:15'", FieldType::Time, 0, 0, 0, "13:14:15"},
           {"datetime(1)", "'2024-02-29 23:59:58.5'", FieldType::DateTime, 0, 0, 0, "2024-02-29 23:59:58.5"},
           {"timestamp NULL", "'2024-02-29 23:59:58'", FieldType::TimeStamp, 0, 0, 0, "2024-02-29 23:59:58"},
       }},
  };
  return cases;
}

class ServerDriverTest : public ::testing::TestWithParam<ServerCase> {
 protected:
  void SetUp() override {
    conn_ = openNew();
    ASSERT_TRUE(conn_);
  }
  ConnectionPtr openNew() {
    const ServerCase &s = GetParam();
    return qrvtest::OpenOrFail(s.create(), s.params(), QString::fromLatin1(s.id));
  }
  RowSetPtr query(Connection &c, const QString &sql) {
    DbError e;
    RowSetPtr rs = QueryRows(c, sql, &e);
    EXPECT_TRUE(rs) << sql.toStdString() << ": " << e.message.toStdString();
    return rs;
  }
  void exec(Connection &c, const QString &sql) {
    DbError e;
    EXPECT_TRUE(ExecAll(c, sql, &e)) << sql.toStdString() << ": " << e.message.toStdString();
  }
  // Starts the 30-second statement on a thread, waits until the server runs it, and returns the thread.
  std::thread startSleep(std::atomic<bool> &done, DbError &err) {
    std::thread t([this, &done, &err] {
      auto c = conn_->execute(QString::fromLatin1(GetParam().sleep30), &err);
      if (c) {
        RowSet rs(c->fields());
        if (c->fetch(rs, -1, &err) >= 0) c->nextResult(&err);
      }
      done = true;
    });
    ConnectionPtr watcher = openNew();
    for (int i = 0; watcher && i < 400 && !done; ++i) {
      RowSetPtr rs = query(*watcher, QString::fromLatin1(GetParam().probeRunning));
      if (rs && rs->rowCount() == 1 && rs->intValue(0, 0) > 0) return t;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ADD_FAILURE() << "the server never showed the sleeping statement";
    return t;
  }

  ConnectionPtr conn_;
};

TEST_P(ServerDriverTest, SeveralResultSetsWithRowsAndAffectedCounts) {
  DbError e;
  auto c = conn_->execute(QStringLiteral(
                              "CREATE TEMPORARY TABLE qrv_multi (id int, v varchar(10));"
                              "INSERT INTO qrv_multi VALUES (1, 'a'), (2, 'b'), (3, 'c');"
                              "UPDATE qrv_multi SET v = 'z' WHERE id > 1;"
                              "SELECT id, v FROM qrv_multi ORDER BY id;"
                              "SELECT 'x' AS b, 2 AS c;"
                              "DELETE FROM qrv_multi"),
                          &e);
  ASSERT_TRUE(c) << e.message.toStdString();
  QStringList seen;
  do {
    if (!c->hasRows()) {
      seen << QString::number(c->rowsAffected());
      continue;
    }
    RowSetPtr rs = FetchAll(*c, &e);
    ASSERT_TRUE(rs) << e.message.toStdString();
    QStringList rows;
    for (qsizetype r = 0; r < rs->rowCount(); ++r) rows << rs->text(r, 0) + u':' + rs->text(r, 1);
    seen << rs->fields()[0].name + u'=' + rows.join(u',');
  } while (c->nextResult(&e));
  EXPECT_FALSE(e.isError()) << e.message.toStdString();
  ASSERT_EQ(seen.size(), 6);
  seen.removeFirst();  // CREATE: drivers differ (no count / 0)
  EXPECT_EQ(seen, (QStringList{"3", "2", "id=1:a,2:z,3:z", "b=x:2", "3"}));
}

TEST_P(ServerDriverTest, ServerMessagesOfTheLastCommand) {
  const ServerCase &s = GetParam();
  exec(*conn_, QString::fromLatin1(s.messageSql));
  const QStringList m = conn_->takeMessages();
  ASSERT_EQ(m.size(), 1) << m.join(u'\n').toStdString();
  EXPECT_TRUE(m[0].contains(QString::fromLatin1(s.messageText))) << m[0].toStdString();
  EXPECT_TRUE(conn_->takeMessages().isEmpty());
  exec(*conn_, QString::fromLatin1(s.messageSql));
  exec(*conn_, QStringLiteral("SELECT 1"));  // a new command starts with no messages
  EXPECT_TRUE(conn_->takeMessages().isEmpty());
}

TEST_P(ServerDriverTest, CancelFromAnotherThreadStopsTheServerStatement) {
  std::atomic<bool> done{false};
  DbError err;
  std::thread t = startSleep(done, err);
  conn_->cancel();
  t.join();
  EXPECT_EQ(err.kind, DbErrorKind::Cancelled) << err.message.toStdString();
  EXPECT_EQ(err.message, CancelledText());
  // The connection goes on, and a cancel with nothing running changes nothing.
  conn_->cancel();
  RowSetPtr rs = query(*conn_, QStringLiteral("SELECT 7"));
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->intValue(0, 0), 7);
}

TEST_P(ServerDriverTest, CommandTimeOutStopsTheStatement) {
  conn_->setCommandTimeout(300);
  DbError e;
  auto c = conn_->execute(QString::fromLatin1(GetParam().sleep30), &e);
  if (c) {  // the stop may come while the result is read
    RowSet rs(c->fields());
    EXPECT_LT(c->fetch(rs, -1, &e), 0);
  }
  EXPECT_EQ(e.kind, DbErrorKind::TimedOut) << e.message.toStdString();
  EXPECT_EQ(e.message, TimedOutText(300));
  c.reset();
  conn_->setCommandTimeout(0);
  EXPECT_TRUE(query(*conn_, QStringLiteral("SELECT 1")));
}

TEST_P(ServerDriverTest, TypesNullsAndValuesOfEveryColumnKind) {
  const ServerCase &s = GetParam();
  QStringList decl, lits;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    decl << QStringLiteral("c%1 %2").arg(i).arg(QString::fromUtf8(s.columns[i].decl));
    lits << QString::fromUtf8(s.columns[i].literal);
  }
  exec(*conn_, QStringLiteral("DROP TABLE IF EXISTS qrv_types"));
  exec(*conn_, QStringLiteral("CREATE TABLE qrv_types (id int NOT NULL, %1)").arg(decl.join(u',')));
  exec(*conn_, QStringLiteral("INSERT INTO qrv_types VALUES (1, %1)").arg(lits.join(u',')));
  exec(*conn_, QStringLiteral("INSERT INTO qrv_types (id) VALUES (2)"));
  RowSetPtr rs = query(*conn_, QStringLiteral("SELECT * FROM qrv_types ORDER BY id"));
  ASSERT_TRUE(rs);
  ASSERT_EQ(rs->rowCount(), 2);
  ASSERT_EQ(rs->fieldCount(), int(s.columns.size()) + 1);
  for (size_t i = 0; i < s.columns.size(); ++i) {
    const ColumnCase &cc = s.columns[i];
    const int col = int(i) + 1;
    const FieldDef &f = rs->fields()[col];
    SCOPED_TRACE(cc.decl);
    EXPECT_EQ(FieldTypeName(f.type), FieldTypeName(cc.type));
    EXPECT_EQ(f.size, cc.size);
    EXPECT_EQ(f.precision, cc.precision);
    EXPECT_EQ(f.scale, cc.scale);
    EXPECT_EQ(rs->text(0, col).toLower(), QString::fromUtf8(cc.text).toLower());
    EXPECT_TRUE(rs->isNull(1, col));
    EXPECT_FALSE(rs->isNull(0, col));
    EXPECT_FALSE(f.readOnly);
  }
  exec(*conn_, QStringLiteral("DROP TABLE qrv_types"));
}

TEST_P(ServerDriverTest, BinaryHugeAndNonAsciiValues) {
  const ServerCase &s = GetParam();
  RowSetPtr bin = query(*conn_, QString::fromLatin1(s.binary256).replace(QLatin1String("%HEX%"), Hex256()));
  ASSERT_TRUE(bin);
  EXPECT_TRUE(IsBinaryType(bin->fields()[0].type)) << FieldTypeName(bin->fields()[0].type).toStdString();
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(char(i));
  EXPECT_EQ(bin->bytes(0, 0).toByteArray(), all);

  RowSetPtr huge = query(*conn_, QString::fromLatin1(s.hugeText));
  ASSERT_TRUE(huge);
  const QString t = huge->text(0, 0);
  EXPECT_EQ(t.size(), 1000000);
  EXPECT_EQ(t.count(QStringLiteral("ab")), 500000);

  RowSetPtr uni = query(*conn_, QString::fromUtf8(s.unicodeSelect));
  ASSERT_TRUE(uni);
  EXPECT_EQ(uni->fields()[0].name, QString::fromUtf8("größe"));
  EXPECT_EQ(uni->text(0, 0), QString::fromUtf8("日本語"));
  EXPECT_TRUE(uni->fields()[0].readOnly);  // an expression
}

TEST_P(ServerDriverTest, ErrorsKeepTheServerCodeAndTheConnectionWorksOn) {
  const ServerCase &s = GetParam();
  DbError e;
  EXPECT_FALSE(QueryRows(*conn_, QStringLiteral("SELECT * FROM qrv_no_such_table"), &e));
  EXPECT_EQ(e.kind, DbErrorKind::ObjectNotFound);
  EXPECT_EQ(e.code, ErrObjectNotFound);
  EXPECT_TRUE(e.message.contains(QString::fromLatin1(s.notFoundCode))) << e.message.toStdString();
  EXPECT_TRUE(e.message.contains(QStringLiteral("qrv_no_such_table")));

  e.clear();
  EXPECT_FALSE(conn_->execute(QStringLiteral("SELEKT 1"), &e));
  EXPECT_EQ(e.kind, DbErrorKind::Other);
  EXPECT_FALSE(e.sqlState.isEmpty());

  if (s.failsMidway) {
    // Rows arrive before the error: the fetch reports it instead of a short result.
    e.clear();
    auto c = conn_->execute(QString::fromLatin1(s.failsMidway), &e);
    if (c) {
      RowSet rs(c->fields());
      EXPECT_LT(c->fetch(rs, -1, &e), 0);
    }
    EXPECT_TRUE(e.message.contains(QStringLiteral("division by zero"))) << e.message.toStdString();
  }
  EXPECT_TRUE(query(*conn_, QStringLiteral("SELECT 1")));
}

TEST_P(ServerDriverTest, ChunkedFetchAbandonedCursorsAndALostConnection) {
  const ServerCase &s = GetParam();
  DbError e;
  auto c = conn_->execute(QString::fromLatin1(s.series1000), &e);
  ASSERT_TRUE(c) << e.message.toStdString();
  RowSet rs(c->fields());
  qint64 n, total = 0;
  while ((n = c->fetch(rs, 300, &e)) > 0) total += n;
  EXPECT_EQ(n, 0) << e.message.toStdString();
  EXPECT_EQ(total, 1000);
  EXPECT_EQ(rs.text(999, 1), QStringLiteral("v1000"));
  EXPECT_FALSE(c->nextResult(&e));
  EXPECT_FALSE(e.isError());

  // Leave a cursor in the middle of its rows, then run the next command.
  auto half = conn_->execute(QString::fromLatin1(s.series1000), &e);
  ASSERT_TRUE(half);
  RowSet part(half->fields());
  EXPECT_EQ(half->fetch(part, 10, &e), 10);
  RowSetPtr after = query(*conn_, QStringLiteral("SELECT 5"));
  ASSERT_TRUE(after);
  EXPECT_EQ(after->intValue(0, 0), 5);
  half.reset();

  // A cursor whose connection is closed under it has nothing more to give.
  {
    ConnectionPtr other = openNew();
    ASSERT_TRUE(other);
    auto orphan = other->execute(QString::fromLatin1(s.series1000), &e);
    ASSERT_TRUE(orphan);
    other.reset();
    RowSet r(orphan->fields());
    EXPECT_EQ(orphan->fetch(r, -1, &e), 0);
    EXPECT_FALSE(orphan->nextResult(&e));
  }

  // The server ends the session in the middle of a result: the fetch fails instead of ending short.
  RowSetPtr id = query(*conn_, QString::fromLatin1(s.ownId));
  ASSERT_TRUE(id);
  ConnectionPtr killer = openNew();
  ASSERT_TRUE(killer);
  auto stream = conn_->execute(QString::fromLatin1(s.endless), &e);
  ASSERT_TRUE(stream) << e.message.toStdString();
  RowSet got(stream->fields());
  EXPECT_EQ(stream->fetch(got, 10, &e), 10);
  exec(*killer, QString::fromLatin1(s.killSession).arg(id->text(0, 0)));
  got.clear();
  EXPECT_EQ(stream->fetch(got, -1, &e), -1);
  EXPECT_EQ(e.kind, DbErrorKind::ConnectionLost) << e.message.toStdString();
  stream.reset();

  // The next command fails cleanly and the connection says it is closed.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  e.clear();
  auto dead = conn_->execute(QStringLiteral("SELECT 1"), &e);
  if (dead) {
    RowSet r(dead->fields());
    EXPECT_LT(dead->fetch(r, -1, &e), 0);
  }
  EXPECT_EQ(e.kind, DbErrorKind::ConnectionLost) << e.message.toStdString();
  dead.reset();
  EXPECT_FALSE(conn_->isOpen());
  EXPECT_FALSE(conn_->execute(QStringLiteral("SELECT 1"), &e));
}

// A loopback port where nothing listens.
int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

TEST_P(ServerDriverTest, DefinitionsOpenWithTheDatabaseRuleAndFailWithCleanTexts) {
  const ServerCase &s = GetParam();
  auto env = [&](const char *k) { return qrvtest::ServerEnv((QByteArray(s.envPrefix) + '_' + k).constData()); };
  QTemporaryDir dir;
  const QString section = QStringLiteral("DriverID=%1\r\nServer=%2\r\nUser_Name=%3\r\nLoginTimeout=5\r\n")
                              .arg(QString::fromLatin1(s.id), env("HOST"), env("USER"));
  const QString ini =
      QStringLiteral("[Good]\r\n%1Port=%2\r\nPassword=%3\r\nDatabase=%4\r\n"
                     "[BadPassword]\r\n%1Port=%2\r\nPassword=wrong-%3\r\n"
                     "[NoServer]\r\n%1Port=%5\r\nPassword=%3\r\n")
          .arg(section, env("PORT"), env("PASSWORD"), env("DB"))
          .arg(FreePort());
  ASSERT_TRUE(qrv::WriteTextFileAtomic(dir.filePath(QStringLiteral("Connections.ini")), ini));
  ConnectionManager mgr;
  mgr.loadConnectionDefs(dir.filePath(QStringLiteral("Connections.ini")));

  DbError e;
  ConnectionPtr c = mgr.openConnection(QStringLiteral("good"), QStringLiteral("NO_DB_NAME"), &e);
  ASSERT_TRUE(c) << e.message.toStdString();
  RowSetPtr db = query(*c, QString::fromLatin1(s.currentDb));
  ASSERT_TRUE(db);
  EXPECT_EQ(db->text(0, 0), env("DB"));

  // An override naming a database that does not exist is used, and fails.
  QString text;
  EXPECT_FALSE(mgr.createConnection(QString(), QStringLiteral("Good"), QStringLiteral("qrv_no_such_db"), &text));
  EXPECT_TRUE(text.contains(QStringLiteral("qrv_no_such_db"))) << text.toStdString();

  ConnectionPtr conn;
  text = mgr.reConnect(conn, QString::fromLatin1(s.id), QStringLiteral("BadPassword"), QString());
  EXPECT_TRUE(text.startsWith(QStringLiteral("Could not establish connection \"BadPassword\":\r\n")));
  EXPECT_TRUE(text.contains(QString::fromLatin1(s.wrongPassword))) << text.toStdString();
  EXPECT_FALSE(conn);

  text = mgr.reConnect(conn, QString(), QStringLiteral("NoServer"), QString());
  EXPECT_TRUE(text.startsWith(QStringLiteral("Could not establish connection \"NoServer\":\r\n")));
  EXPECT_GT(text.size(), 50) << text.toStdString();
  e.clear();
  EXPECT_FALSE(mgr.openConnection(QStringLiteral("NoServer"), QString(), &e));
  EXPECT_EQ(e.kind, DbErrorKind::ConnectFailed);
}

TEST_P(ServerDriverTest, LiteralsRoundTripWhateverTheyHold) {
  QByteArray all;
  for (int i = 0; i < 256; ++i) all.append(char(i));
  const QList<QVariant> values = {
      QStringLiteral("O'Brien"), QStringLiteral("back\\slash"), QStringLiteral("x\\'; SELECT 1; --"),
      QStringLiteral("\\"), QString::fromUtf8("日本語 ü"), QStringLiteral(""), QStringLiteral("%1 %2"),
      QVariant(qint64(-9000000000123)), QVariant(2.5), QVariant(all)};
  // MySQL escapes differently when the session does not read backslashes as escapes.
  const bool mysql = QString::fromLatin1(GetParam().id) == QLatin1String("MySQL");
  for (const char *mode : {"", "NO_BACKSLASH_ESCAPES"}) {
    if (*mode && !mysql) continue;
    if (mysql) exec(*conn_, QStringLiteral("SET SESSION sql_mode = '%1'").arg(QString::fromLatin1(mode)));
    for (const QVariant &v : values) {
      const QString lit = conn_->quoteLiteral(v);
      SCOPED_TRACE(lit.toStdString() + " " + mode);
      RowSetPtr rs = query(*conn_, QStringLiteral("SELECT %1 AS v").arg(lit));
      ASSERT_TRUE(rs);
      ASSERT_EQ(rs->rowCount(), 1);
      if (v.typeId() == QMetaType::QByteArray)
        EXPECT_EQ(rs->bytes(0, 0).toByteArray(), all);
      else
        EXPECT_EQ(rs->text(0, 0), v.toString());
    }
  }
  EXPECT_EQ(conn_->quoteLiteral(QVariant()), QStringLiteral("NULL"));
  const QString odd = QStringLiteral("we\"ird`name");
  RowSetPtr rs = query(*conn_, QStringLiteral("SELECT 1 AS %1").arg(conn_->quoteIdentifier(odd)));
  ASSERT_TRUE(rs);
  EXPECT_EQ(rs->fields()[0].name, odd);
}

TEST_P(ServerDriverTest, ParameterValuesTravelApartFromTheText) {
  const QString sql = QStringLiteral("SELECT $1 AS a, '$1' AS b, $2 AS c");
  auto run = [&](const QStringList &params, DbError *e) -> RowSetPtr {
    auto cur = conn_->executeParams(sql, params, e);
    if (!cur) return nullptr;
    auto rs = std::make_shared<RowSet>(cur->fields());
    return cur->fetch(*rs, -1, e) < 0 ? nullptr : rs;
  };
  // The same text again with other values: PostgreSQL runs the statement it prepared the first time.
  for (const QStringList &values : {QStringList{QStringLiteral("x\\'; SELECT 1; --"), QStringLiteral("O'Brien")},
                                    QStringList{QString::fromUtf8("日本語"), QStringLiteral("$1")}}) {
    DbError e;
    RowSetPtr rs = run(values, &e);
    ASSERT_TRUE(rs) << e.message.toStdString();
    ASSERT_EQ(rs->rowCount(), 1);
    EXPECT_EQ(rs->text(0, 0), values[0]);
    EXPECT_EQ(rs->text(0, 1), QStringLiteral("$1"));  // inside quotes it is text, not a parameter
    EXPECT_EQ(rs->text(0, 2), values[1]);
  }
  if (QString::fromLatin1(GetParam().id) != QLatin1String("PG")) return;
  // The session dropping its prepared statements: prepared again at once outside a transaction; in
  // one, the failure is reported (it aborted the transaction) and the next call after it works.
  exec(*conn_, QStringLiteral("DEALLOCATE ALL"));
  DbError e;
  EXPECT_TRUE(run({QStringLiteral("a"), QStringLiteral("b")}, &e)) << e.message.toStdString();
  // One statement dropped by name while another stays: the one prepared again gets a name of its own.
  const QString other = QStringLiteral("SELECT $1::int + 1");
  EXPECT_TRUE(conn_->executeParams(other, {QStringLiteral("1")}, &e)) << e.message.toStdString();
  RowSetPtr names = query(*conn_, QStringLiteral("SELECT name FROM pg_prepared_statements WHERE statement = '%1'")
                                      .arg(QString(sql).replace(u'\'', QStringLiteral("''"))));
  ASSERT_TRUE(names && names->rowCount() == 1);
  exec(*conn_, QStringLiteral("DEALLOCATE ") + names->text(0, 0));
  EXPECT_TRUE(run({QStringLiteral("a"), QStringLiteral("b")}, &e)) << e.message.toStdString();
  EXPECT_TRUE(conn_->executeParams(other, {QStringLiteral("2")}, &e)) << e.message.toStdString();
  exec(*conn_, QStringLiteral("BEGIN"));
  exec(*conn_, QStringLiteral("DEALLOCATE ALL"));
  EXPECT_FALSE(run({QStringLiteral("a"), QStringLiteral("b")}, &e));
  EXPECT_EQ(e.sqlState, QStringLiteral("26000"));
  exec(*conn_, QStringLiteral("ROLLBACK"));
  RowSetPtr rs = run({QStringLiteral("c"), QStringLiteral("d")}, &e);
  ASSERT_TRUE(rs) << e.message.toStdString();
  EXPECT_EQ(rs->text(0, 2), QStringLiteral("d"));
}

TEST_P(ServerDriverTest, OriginsOfResultColumnsForSavingEdits) {
  exec(*conn_, QStringLiteral("DROP TABLE IF EXISTS qrv_origin"));
  exec(*conn_, QStringLiteral("CREATE TABLE qrv_origin (id %1 PRIMARY KEY, name varchar(10) NOT NULL, n int)")
                   .arg(QString::fromLatin1(GetParam().id) == QLatin1String("PG") ? "serial" : "int AUTO_INCREMENT"));
  RowSetPtr rs = query(*conn_, QStringLiteral("SELECT o.id, o.name AS nm, o.n, o.n + 1 AS x FROM qrv_origin o"));
  ASSERT_TRUE(rs);
  FieldDefs f = rs->fields();
  DbError e;
  ASSERT_TRUE(conn_->resolveOrigins(f, &e)) << e.message.toStdString();
  ASSERT_TRUE(conn_->resolveOrigins(f, &e));  // a second call changes nothing
  const QStringList cols = {"id", "name", "n"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(f[i].originTable, QStringLiteral("qrv_origin"));
    EXPECT_EQ(f[i].originColumn, cols[i]);
    EXPECT_EQ(f[i].originCatalog.isEmpty() && f[i].originSchema.isEmpty(), false);
    EXPECT_FALSE(f[i].readOnly);
  }
  EXPECT_EQ(f[1].name, QStringLiteral("nm"));
  EXPECT_TRUE(f[0].autoInc);
  EXPECT_FALSE(f[1].nullable);
  EXPECT_TRUE(f[2].nullable);
  EXPECT_TRUE(f[3].readOnly);
  EXPECT_TRUE(f[3].originTable.isEmpty());
  exec(*conn_, QStringLiteral("DROP TABLE qrv_origin"));
}

TEST_P(ServerDriverTest, LoginTimeOutEndsAConnectToAServerThatNeverAnswers) {
  // A listening socket that is never served: the TCP connect succeeds, the greeting never comes.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
  ConnParams p = GetParam().params();
  p.set(QStringLiteral("Port"), QString::number(ntohs(a.sin_port)));
  p.set(QStringLiteral("LoginTimeout"), QStringLiteral("2"));
  ConnectionPtr c = GetParam().create();
  DbError e;
  EXPECT_FALSE(c->open(p, &e));
  EXPECT_EQ(e.kind, DbErrorKind::ConnectFailed);
  EXPECT_FALSE(e.message.isEmpty());
  EXPECT_FALSE(c->isOpen());
  ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerDriverTest, ::testing::ValuesIn(Cases()),
                         [](const auto &info) { return std::string(info.param.id); });

// MySQL only: a procedure's results arrive as several result sets.
TEST(MySqlDriver, CallReturnsEveryResultSetOfTheProcedure) {
  ConnectionPtr c = qrvtest::OpenOrFail(CreateMySqlConnection(), qrvtest::MyParams(), QStringLiteral("MySQL"));
  ASSERT_TRUE(c);
  DbError e;
  ASSERT_TRUE(ExecAll(*c, QStringLiteral("DROP PROCEDURE IF EXISTS qrv_two"), &e)) << e.message.toStdString();
  ASSERT_TRUE(ExecAll(*c, QStringLiteral("CREATE PROCEDURE qrv_two() BEGIN SELECT 1 AS a; SELECT 'b' AS b, 2 AS c; END"), &e))
      << e.message.toStdString();
  auto cur = c->execute(QStringLiteral("CALL qrv_two()"), &e);
  ASSERT_TRUE(cur) << e.message.toStdString();
  QStringList names;
  do {
    if (cur->hasRows()) {
      RowSetPtr rs = FetchAll(*cur, &e);
      ASSERT_TRUE(rs);
      names << rs->fields()[0].name + u'=' + rs->text(0, 0);
    }
  } while (cur->nextResult(&e));
  EXPECT_FALSE(e.isError()) << e.message.toStdString();
  EXPECT_EQ(names, (QStringList{"a=1", "b=b"}));
  cur.reset();
  EXPECT_TRUE(ExecAll(*c, QStringLiteral("DROP PROCEDURE qrv_two"), &e));
}

}  // namespace
