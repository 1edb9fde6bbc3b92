#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <thread>

#include "dal/driver_odbc.h"
#include "meta_fixtures.h"
#include "support/testsupport.h"

using namespace qrv::dal;
using qrvtest::ExecAll;
using qrvtest::ExecQuiet;
using qrvtest::QueryAll;
using qrvtest::RowTexts;

namespace {

// ----------------------------------------------------------------------------- connection strings

ConnParams Params(std::initializer_list<std::pair<const char *, const char *>> kv) {
  ConnParams p;
  for (const auto &[k, v] : kv) p.set(k, QString::fromUtf8(v));
  return p;
}

TEST(OdbcConnectionString, KeysDefaultsAndQuoting) {
  struct Case {
    const char *id;
    ConnParams params;
    const char *expected;
  };
  const Case cases[] = {
      {"ODBC", Params({{"DataSource", "mydsn"}, {"User_Name", "u"}, {"Password", "p"}}), "DSN=mydsn;UID=u;PWD=p"},
      {"ODBC",
       Params({{"ODBCDriver", "PostgreSQL Unicode"}, {"Server", "h"}, {"Port", "5"}, {"Database", "d"},
               {"ODBCAdvanced", "SSLMode=disable"}}),
       "DRIVER={PostgreSQL Unicode};SERVER=h;PORT=5;DATABASE=d;SSLMode=disable"},
      // A value with a separator cannot add keys of its own.
      {"ODBC", Params({{"DataSource", "d"}, {"Password", "a;DRIVER=x"}}), "DSN=d;PWD={a;DRIVER=x}"},
      {"ODBC", Params({{"DataSource", "d"}, {"Password", "b}c"}}), "DSN=d;PWD={b}}c}"},
      {"MSSQL", Params({{"Server", "db1"}, {"Port", "1433"}, {"Database", "sales"}}),
       "DRIVER={FreeTDS};SERVER=db1;PORT=1433;DATABASE=sales;TDS_Version=7.4"},
      {"MSSQL", Params({{"Server", "db1"}, {"ODBCAdvanced", "tds_version=7.2"}}),
       "DRIVER={FreeTDS};SERVER=db1;tds_version=7.2"},
      {"MSSQL", Params({{"ODBCDriver", "ODBC Driver 18 for SQL Server"}, {"Server", "db1"}}),
       "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db1;TDS_Version=7.4"},
      {"MSAcc", Params({{"Database", "/data/x.mdb"}, {"Server", "ignored"}}), "DRIVER={MDBTools};DBQ=/data/x.mdb"},
      {"ASA", Params({{"Server", "h"}, {"Port", "2638"}, {"Database", "demo"}}),
       "DRIVER={SQL Anywhere};Host=h:2638;DatabaseName=demo"},
  };
  for (const Case &c : cases) {
    DbError err;
    EXPECT_EQ(BuildOdbcConnectionString(c.id, c.params, &err), QString::fromUtf8(c.expected)) << c.id;
    EXPECT_FALSE(err) << err.message.toStdString();
  }
  // Plain ODBC needs a data source or a driver.
  DbError err;
  EXPECT_TRUE(BuildOdbcConnectionString("ODBC", Params({{"Server", "h"}}), &err).isEmpty());
  EXPECT_TRUE(err.message.contains("DataSource") && err.message.contains("ODBCDriver")) << err.message.toStdString();
}

TEST(OdbcOpen, MissingDriversAndClosedPortsGiveCleanErrors) {
  // A port nobody listens on: bind one, then close it.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len), 0);
  ::close(fd);
  const QString closedPort = QString::number(ntohs(addr.sin_port));

  struct Case {
    const char *name;
    const char *driverId;
    ConnParams params;
    QStringList needles;
  };
  const Case cases[] = {
      {"unknown ODBC driver", "ODBC", Params({{"ODBCDriver", "No Such Driver 9"}, {"Database", "x"}}),
       {"No Such Driver 9", "not installed", "ODBCDriver"}},
      {"default Oracle driver not installed", "Ora", Params({{"Server", "h"}, {"Database", "x"}}),
       {"\"Oracle", "ODBCDriver"}},
      {"no data source", "ODBC", Params({{"Server", "h"}}), {"DataSource", "ODBCDriver"}},
      {"unknown DSN", "ODBC", Params({{"DataSource", "qrv_no_such_dsn"}}), {"qrv_no_such_dsn"}},
      {"MSSQL through FreeTDS on a closed port", "MSSQL",
       Params({{"Server", "127.0.0.1"}, {"Port", closedPort.toUtf8().constData()}, {"Database", "master"},
               {"User_Name", "sa"}, {"Password", "x"}, {"LoginTimeout", "5"}}),
       {"connect"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto conn = CreateOdbcConnection(c.driverId);
    DbError err;
    EXPECT_FALSE(conn->open(c.params, &err));
    EXPECT_FALSE(conn->isOpen());
    EXPECT_TRUE(err.isError());
    EXPECT_EQ(err.kind, DbErrorKind::ConnectFailed);
    for (const QString &n : c.needles)
      EXPECT_TRUE(err.message.contains(n, Qt::CaseInsensitive)) << err.message.toStdString();
    EXPECT_FALSE(conn->execute("SELECT 1", &err));
    EXPECT_TRUE(err.message.contains("not open")) << err.message.toStdString();
  }
}

// ------------------------------------------------------------------------------- real connections

struct Target {
  const char *name;
  std::function<ConnParams(const QString &dir)> params;
  const char *bigText;  // a varchar(max)-like type
  const char *numeric;  // -1234.5 as the server gives back a NUMERIC(10,2)
};

class OdbcServerTest : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    conn_ = qrvtest::OpenOrFail(CreateOdbcConnection("ODBC"), GetParam().params(dir_.path()),
                                QString("ODBC ") + GetParam().name);
    ASSERT_TRUE(conn_);
  }
  QTemporaryDir dir_;
  ConnectionPtr conn_;
};

TEST_P(OdbcServerTest, ValuesChangesAndErrors) {
  ExecQuiet(*conn_, {"DROP TABLE odbct_values"});
  ASSERT_TRUE(ExecAll(*conn_, {
      QString("CREATE TABLE odbct_values (id INTEGER NOT NULL PRIMARY KEY, n NUMERIC(10,2), v VARCHAR(100), "
              "big %1, f DOUBLE PRECISION, d DATE)")
          .arg(GetParam().bigText)}));
  struct Step {
    const char *sql;
    qint64 affected;
  };
  const Step steps[] = {
      {"INSERT INTO odbct_values VALUES (1, -1234.5, 'Grüße 世界', 'long text', 0.25, '2024-02-29')", 1},
      {"INSERT INTO odbct_values (id) VALUES (2)", 1},
      {"INSERT INTO odbct_values (id, v) VALUES (3, 'x')", 1},
      {"UPDATE odbct_values SET v = 'y' WHERE id >= 2", 2},
      {"UPDATE odbct_values SET v = 'z' WHERE id = 99", 0},
      {"DELETE FROM odbct_values WHERE id = 3", 1},
  };
  for (const Step &s : steps) {
    DbError err;
    auto cur = conn_->execute(s.sql, &err);
    ASSERT_TRUE(cur) << s.sql << ": " << err.message.toStdString();
    EXPECT_FALSE(cur->hasRows()) << s.sql;
    EXPECT_EQ(cur->rowsAffected(), s.affected) << s.sql;
  }
  DbError err;
  auto rs = QueryAll(*conn_, "SELECT id, n, v, big, f, d FROM odbct_values ORDER BY id", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(RowTexts(*rs, {"id", "n", "v", "big", "f", "d"}),
            QStringList({QString("1|%1|Grüße 世界|long text|0.25|2024-02-29").arg(GetParam().numeric), "2||y|||"}));
  EXPECT_TRUE(rs->isNull(1, rs->fieldIndex("n")));
  EXPECT_EQ(rs->fields()[rs->fieldIndex("id")].type, FieldType::Integer);
  EXPECT_EQ(rs->fields()[rs->fieldIndex("f")].type, FieldType::Float);
  EXPECT_EQ(rs->fields()[rs->fieldIndex("v")].size, 100);

  // A long value arrives whole (read in pieces).
  const QString longText = QString("äbc").repeated(20000);
  ASSERT_TRUE(ExecAll(*conn_, {QString("UPDATE odbct_values SET big = '%1' WHERE id = 2").arg(longText)}));
  rs = QueryAll(*conn_, "SELECT big FROM odbct_values WHERE id = 2", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(rs->text(0, 0), longText);

  // A failing statement gives the server's message and state; the connection stays usable.
  EXPECT_FALSE(conn_->execute("SELEKT 1", &err));
  EXPECT_FALSE(err.message.isEmpty());
  EXPECT_EQ(err.sqlState.size(), 5);
  EXPECT_FALSE(conn_->execute("INSERT INTO odbct_values (id) VALUES (1)", &err));
  EXPECT_TRUE(err.sqlState.startsWith("23") || err.sqlState.startsWith("HY")) << err.sqlState.toStdString();
  rs = QueryAll(*conn_, "SELECT COUNT(*) FROM odbct_values", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(rs->text(0, 0), "2");
  EXPECT_FALSE(conn_->serverVersion().isEmpty());
  EXPECT_TRUE(conn_->clientVersion().startsWith("unixODBC"));
  ExecQuiet(*conn_, {"DROP TABLE odbct_values"});
}

const Target kTargets[] = {
    {"PostgreSQL", [](const QString &) { return qrvtest::OdbcPgParams(); }, "TEXT", "-1234.50"},
    {"MariaDB", [](const QString &) { return qrvtest::OdbcMyParams(); }, "LONGTEXT", "-1234.50"},
    {"SQLite", [](const QString &dir) { return qrvtest::OdbcSqliteParams(dir + "/odbc.db"); }, "TEXT", "-1234.5"},  // numeric affinity
};
INSTANTIATE_TEST_SUITE_P(Servers, OdbcServerTest, ::testing::ValuesIn(kTargets),
                         [](const auto &info) { return std::string(info.param.name); });

// ------------------------------------------------------------------------- PostgreSQL specifics

class OdbcPgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    conn_ = qrvtest::OpenOrFail(CreateOdbcConnection("ODBC"), qrvtest::OdbcPgParams(), "ODBC PostgreSQL");
    ASSERT_TRUE(conn_);
  }
  ConnectionPtr conn_;
};

TEST_F(OdbcPgTest, SeveralResultsAndServerMessages) {
  DbError err;
  auto cur = conn_->execute("SELECT 1 AS a UNION ALL SELECT 2; SELECT 'x' AS b; CREATE TEMP TABLE odbct_t (i int)",
                            &err);
  ASSERT_TRUE(cur) << err.message.toStdString();
  QStringList seen;
  do {
    if (cur->hasRows()) {
      RowSet rs(cur->fields());
      ASSERT_GE(cur->fetch(rs, -1, &err), 0) << err.message.toStdString();
      seen << rs.fields()[0].name + "=" + RowTexts(rs, {rs.fields()[0].name}).join(",");
    } else {
      seen << "no rows";
    }
  } while (cur->nextResult(&err));
  EXPECT_FALSE(err) << err.message.toStdString();
  EXPECT_EQ(seen, QStringList({"a=1,2", "b=x", "no rows"}));

  cur = conn_->execute("DO $$ BEGIN RAISE NOTICE 'hello from the server'; END $$", &err);
  ASSERT_TRUE(cur) << err.message.toStdString();
  const QStringList msgs = conn_->takeMessages();
  EXPECT_TRUE(msgs.join("\n").contains("hello from the server")) << msgs.join("\n").toStdString();
  EXPECT_TRUE(conn_->takeMessages().isEmpty());
}

TEST_F(OdbcPgTest, CursorsOutliveTheirConnectionSafely) {
  DbError err;
  auto cur = conn_->execute("SELECT generate_series(1, 10) AS n", &err);
  ASSERT_TRUE(cur) << err.message.toStdString();
  RowSet rs(cur->fields());
  EXPECT_EQ(cur->fetch(rs, 3, &err), 3);
  conn_.reset();  // closes the connection first
  EXPECT_EQ(cur->fetch(rs, -1, &err), 0);
  EXPECT_FALSE(cur->nextResult(&err));
  cur.reset();
  EXPECT_EQ(RowTexts(rs, {"n"}), QStringList({"1", "2", "3"}));
}

TEST_F(OdbcPgTest, CancelAndTimeoutStopTheCommand) {
  DbError err;
  std::atomic<bool> done{false};
  std::thread runner([&] {
    auto cur = conn_->execute("SELECT pg_sleep(60)", &err);
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
  EXPECT_TRUE(err.isError());
  EXPECT_TRUE(err.message.contains("cancel", Qt::CaseInsensitive)) << err.message.toStdString();

  conn_->setCommandTimeout(1000);
  auto rs = QueryAll(*conn_, "SELECT pg_sleep(30)", &err);
  EXPECT_FALSE(rs);
  EXPECT_TRUE(err.isError());
  conn_->setCommandTimeout(0);
  rs = QueryAll(*conn_, "SELECT 7", &err);
  ASSERT_TRUE(rs) << err.message.toStdString();
  EXPECT_EQ(rs->text(0, 0), "7");
}

}  // namespace
