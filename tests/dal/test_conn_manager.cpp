// Connection definitions, the driver table and its mappings, the driver factory and the small helpers
// around them.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "dal/drivers.h"
#include "dal/drivertable.h"
#include "util/textfile.h"

using namespace qrv::dal;

namespace {

// A settings folder with the two definition files. Connection "Local" is an SQLite file relative to
// the folder; "Other" an absolute SQLite file; "Virt" uses a virtual driver.
class ConnManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    drivers_ = dir_.filePath(QStringLiteral("Drivers.ini"));
    conns_ = dir_.filePath(QStringLiteral("Connections.ini"));
    ASSERT_TRUE(qrv::WriteTextFileAtomic(drivers_,
                                         QStringLiteral("[MyPG]\r\nBaseDriverID=PG\r\nPort=6543\r\n"
                                                        "Server=virt-host\r\nsslmode=disable\r\n"
                                                        "[LiteV]\r\nBaseDriverID=SQLite\r\n")));
    other_ = dir_.filePath(QStringLiteral("sub/other.db"));
    QDir(dir_.path()).mkpath(QStringLiteral("sub"));
    ASSERT_TRUE(qrv::WriteTextFileAtomic(
        conns_, QStringLiteral("[Local]\r\nDriverID=SQLite\r\nDatabase=local.db\r\n"
                               "[Other]\r\nDriverID=sqlite\r\nDatabase=%1\r\n"
                               "[Virt]\r\nDriverID=MyPG\r\nServer=own-host\r\nDatabase=shop\r\n"
                               "[Pg Direct]\r\nDriverID=PG\r\nDatabase=main\r\n"
                               "[Strange]\r\nDriverID=NoSuchDriver\r\n"
                               "[Viaodbc]\r\nDriverID=LiteV\r\nDatabase=viav.db\r\n")
                    .arg(other_)));
    ASSERT_TRUE(mgr_.loadDriverDefs(drivers_));
    ASSERT_TRUE(mgr_.loadConnectionDefs(conns_));
  }

  // The name of the main database file of an open SQLite connection.
  static QString SqliteFile(Connection &c) {
    DbError e;
    RowSetPtr rs = QueryRows(c, QStringLiteral("SELECT file FROM pragma_database_list WHERE name='main'"), &e);
    EXPECT_TRUE(rs) << e.message.toStdString();
    return rs && rs->rowCount() == 1 ? QFileInfo(rs->text(0, 0)).canonicalFilePath() : QString();
  }

  QTemporaryDir dir_;
  QString drivers_, conns_, other_;
  ConnectionManager mgr_;
};

TEST_F(ConnManagerTest, DefinitionsAreFoundIgnoringCaseAndVirtualDriversMergeUnderTheirConnections) {
  EXPECT_TRUE(mgr_.hasDefinition(QStringLiteral("virt")));
  EXPECT_TRUE(mgr_.hasDefinition(QStringLiteral("PG DIRECT")));
  EXPECT_FALSE(mgr_.hasDefinition(QStringLiteral("Missing")));
  EXPECT_FALSE(mgr_.hasDefinition(QString()));
  EXPECT_EQ(mgr_.definitionNames(),
            (QStringList{"Local", "Other", "Virt", "Pg Direct", "Strange", "Viaodbc"}));

  const ConnParams p = mgr_.definitionParams(QStringLiteral("VIRT"));
  EXPECT_EQ(p.value(QStringLiteral("server")), QStringLiteral("own-host"));  // the connection wins
  EXPECT_EQ(p.value(QStringLiteral("Port")), QStringLiteral("6543"));        // from the virtual driver
  EXPECT_EQ(p.value(QStringLiteral("sslmode")), QStringLiteral("disable"));
  EXPECT_FALSE(p.contains(QStringLiteral("BaseDriverID")));
  EXPECT_EQ(p.value(QStringLiteral("DriverID")), QStringLiteral("MyPG"));

  struct {
    const char *name;
    const char *base;
  } cases[] = {{"Virt", "PG"},         {"Pg Direct", "PG"}, {"Local", "SQLite"}, {"viaODBC", "SQLite"},
               {"Strange", "NoSuchDriver"}, {"Missing", ""}};
  for (const auto &c : cases)
    EXPECT_EQ(mgr_.baseDriverId(QString::fromLatin1(c.name)), QString::fromLatin1(c.base)) << c.name;
  EXPECT_EQ(mgr_.virtualBaseDriver(QStringLiteral("mypg")), QStringLiteral("PG"));
  EXPECT_EQ(mgr_.virtualBaseDriver(QStringLiteral("PG")), QString());
}

TEST_F(ConnManagerTest, DatabaseRuleDecidesWhichDatabaseIsOpened) {
  struct {
    const char *base;
    const char *db;
    bool applies;
  } rule[] = {{"PG", "sales", true},        {"PG", "", false},           {"PG", "NO_DB_NAME", false},
              {"PG", "no_db_name", true},   {"SQLite", "x.db", false},   {"sqlite", "x.db", false},
              {"MySQL", " ", true},         {"FB", "NO_DB_NAME ", true}};
  for (const auto &r : rule)
    EXPECT_EQ(DatabaseOverrideApplies(QString::fromLatin1(r.base), QString::fromLatin1(r.db)), r.applies)
        << r.base << " / '" << r.db << "'";

  EXPECT_EQ(mgr_.connectParams(QStringLiteral("Virt"), QStringLiteral("other")).value(QStringLiteral("Database")),
            QStringLiteral("other"));
  EXPECT_EQ(mgr_.connectParams(QStringLiteral("Virt"), QStringLiteral("NO_DB_NAME")).value(QStringLiteral("Database")),
            QStringLiteral("shop"));
  EXPECT_EQ(mgr_.connectParams(QStringLiteral("Virt"), QString()).value(QStringLiteral("DriverID")),
            QStringLiteral("PG"));
}

TEST_F(ConnManagerTest, SqliteOpensItsDefinitionFileRelativeToTheSettingsFolderWhateverTheOverride) {
  DbError e;
  // A relative file lies in the folder of Connections.ini, not in the working directory.
  ConnectionPtr c = mgr_.openConnection(QStringLiteral("local"), QStringLiteral("elsewhere.db"), &e);
  ASSERT_TRUE(c) << e.message.toStdString();
  EXPECT_EQ(c->driverId(), QStringLiteral("SQLite"));
  EXPECT_EQ(SqliteFile(*c), QFileInfo(dir_.filePath(QStringLiteral("local.db"))).canonicalFilePath());
  EXPECT_FALSE(QFile::exists(dir_.filePath(QStringLiteral("elsewhere.db"))));

  // A virtual driver based on SQLite follows the same rule.
  ConnectionPtr v = mgr_.createConnection(QString(), QStringLiteral("Viaodbc"), QStringLiteral("zzz.db"), nullptr);
  ASSERT_TRUE(v);
  EXPECT_EQ(SqliteFile(*v), QFileInfo(dir_.filePath(QStringLiteral("viav.db"))).canonicalFilePath());

  QString text = QStringLiteral("stale");
  ConnectionPtr o = mgr_.createConnection(QStringLiteral("SQLite"), QStringLiteral("Other"), QStringLiteral("NO_DB_NAME"), &text);
  ASSERT_TRUE(o);
  EXPECT_TRUE(text.isEmpty());
  EXPECT_EQ(SqliteFile(*o), QFileInfo(other_).canonicalFilePath());
}

TEST_F(ConnManagerTest, FailuresGiveTheConnectionTextsAndNeverAnObject) {
  // An unknown driver and a missing definition fail with a message naming them.
  QString text;
  EXPECT_FALSE(mgr_.createConnection(QString(), QStringLiteral("Strange"), QString(), &text));
  EXPECT_TRUE(text.startsWith(QStringLiteral("Could not establish connection \"Strange\":\r\n"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("NoSuchDriver")));
  EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n[Error Code: 1002]")));

  ConnectionPtr conn;
  const QString re = mgr_.reConnect(conn, QString(), QStringLiteral("Missing"), QString());
  EXPECT_TRUE(re.startsWith(QStringLiteral("Could not establish connection \"Missing\":\r\n")));
  EXPECT_FALSE(re.contains(QStringLiteral("[Error Code")));
  EXPECT_FALSE(conn);

  // ReConnect cleans the message; CreateConnection keeps it as given and adds the code.
  const QString raw = QStringLiteral("[FireDAC][Phys][PG]boom");
  EXPECT_EQ(ReConnectErrorText(QStringLiteral("C1"), raw), QStringLiteral("Could not establish connection \"C1\":\r\n[PG]boom"));
  EXPECT_EQ(CreateConnectionErrorText(QStringLiteral("C1"), raw),
            QStringLiteral("Could not establish connection \"C1\":\r\n[FireDAC][Phys][PG]boom\r\n[Error Code: 1002]"));

  // A successful ReConnect replaces the connection it was given.
  EXPECT_EQ(mgr_.reConnect(conn, QStringLiteral("SQLite"), QStringLiteral("Local"), QString()), QString());
  ASSERT_TRUE(conn);
  EXPECT_TRUE(conn->isOpen());
}

TEST_F(ConnManagerTest, ReloadSeesChangedFiles) {
  EXPECT_FALSE(mgr_.hasDefinition(QStringLiteral("Added")));
  ASSERT_TRUE(qrv::WriteTextFileAtomic(conns_, QStringLiteral("[Added]\r\nDriverID=MySQL\r\n")));
  ASSERT_TRUE(qrv::WriteTextFileAtomic(drivers_, QString()));
  mgr_.reload();
  EXPECT_TRUE(mgr_.hasDefinition(QStringLiteral("added")));
  EXPECT_FALSE(mgr_.hasDefinition(QStringLiteral("Local")));
  EXPECT_EQ(mgr_.baseDriverId(QStringLiteral("Added")), QStringLiteral("MySQL"));

  ConnectionManager empty;
  EXPECT_FALSE(empty.loadConnectionDefs(dir_.filePath(QStringLiteral("none.ini"))));
  EXPECT_TRUE(empty.definitionNames().isEmpty());
}

TEST(DriverTable, NineteenDriversInOrderAndBothMappings) {
  const QStringList ids = {"Ora", "MySQL", "MSSQL", "PG", "Mongo", "SQLite", "DB2", "Infx", "MSAcc", "TData",
                           "ADS", "ASA", "FB", "IB", "IBLite", "Nexus", "DS", "TDBX", "ODBC"};
  ASSERT_EQ(qrv::AllDrivers().size(), ids.size());
  for (int i = 0; i < ids.size(); ++i) {
    EXPECT_EQ(qrv::AllDrivers()[i].first, ids[i]);
    // Every display name maps back to its ID.
    EXPECT_EQ(qrv::RDBMSNameToDriverID(qrv::AllDrivers()[i].second), ids[i]);
    EXPECT_EQ(qrv::DriverIDToRDBMSName(ids[i].toLower()), qrv::AllDrivers()[i].second);
  }
  struct {
    const char *in, *out;
  } toId[] = {{"ms sql server", "MSSQL"},  {"[MS SQL Server]", "MS SQL Server"}, {"[[x]]", "x"},
              {"[Oracle", "Oracle"},       {"]a[", "]a["},                      {"", ""},
              {"SAP SQL ANYWHERE", "ASA"}, {"NoSuch", "NoSuch"}};
  for (const auto &c : toId)
    EXPECT_EQ(qrv::RDBMSNameToDriverID(QString::fromUtf8(c.in)), QString::fromUtf8(c.out)) << c.in;
  EXPECT_EQ(qrv::DriverIDToRDBMSName(QStringLiteral("iblite")), QStringLiteral("IBLite"));
  EXPECT_EQ(qrv::DriverIDToRDBMSName(QStringLiteral("Oracle")), QString());
  EXPECT_EQ(qrv::DriverIDToRDBMSName(QString()), QString());
}

TEST(DriverTable, ErrorTextHelpersAndFirstRowsSelect) {
  EXPECT_EQ(qrv::NormalizeErrorText(QStringLiteral("[FireDAC][Phys][fIREdac]x[PHYS]y[Phys")),
            QStringLiteral("xy[Phys"));
  EXPECT_EQ(qrv::AddErrorCode(1001), QStringLiteral("\r\n[Error Code: 1001]"));
  EXPECT_EQ(qrv::AddErrorCode(-5), QStringLiteral("\r\n[Error Code: -5]"));
  struct {
    const char *id, *sql;
  } sel[] = {{"MSSQL", "SELECT TOP 1000 * FROM t1"}, {"msacc", "SELECT TOP 1000 * FROM t1"},
             {"Fb", "SELECT FIRST 1000 * FROM t1"},  {"ORA", "SELECT * FROM t1 WHERE ROWNUM <= 1000;"},
             {"IB", "SELECT * FROM t1 LIMIT 1000"},  {"", "SELECT * FROM t1 LIMIT 1000"}};
  for (const auto &s : sel)
    EXPECT_EQ(qrv::BuildFirstRowsSelect(QString::fromLatin1(s.id), QStringLiteral("t1"), 1000),
              QString::fromLatin1(s.sql))
        << s.id;
  // A table name with a place marker in it stays as written.
  EXPECT_EQ(qrv::BuildFirstRowsSelect(QStringLiteral("Ora"), QStringLiteral("\"a%2\""), 10),
            QStringLiteral("SELECT * FROM \"a%2\" WHERE ROWNUM <= 10;"));
  EXPECT_EQ(qrv::BuildFirstRowsSelect(QStringLiteral("MSSQL"), QStringLiteral("[%1x]"), 5),
            QStringLiteral("SELECT TOP 5 * FROM [%1x]"));
}

TEST(DriverFactory, EveryIdGivesAConnectionOrAClearErrorNamingTheDriver) {
  QStringList ids;
  for (const auto &d : qrv::AllDrivers()) ids << d.first;
  ids << QStringLiteral("Bogus") << QString() << QStringLiteral("pg");
  for (const QString &id : ids) {
    DbError e;
    ConnectionPtr c = CreateDriverConnection(id, &e);
    if (c) {
      EXPECT_FALSE(e.isError()) << id.toStdString();
      EXPECT_FALSE(c->isOpen());
      EXPECT_EQ(IsDriverAvailable(id), true);
      continue;
    }
    EXPECT_TRUE(e.message.contains(QStringLiteral("is not supported in this build"))) << id.toStdString();
    if (!id.isEmpty()) {
      EXPECT_TRUE(e.message.contains(id, Qt::CaseInsensitive)) << e.message.toStdString();
    }
  }
  for (const char *id : {"SQLite", "PG", "MySQL", "sqlite", "Pg", "mysql"}) {
    DbError e;
    ConnectionPtr c = CreateDriverConnection(QString::fromLatin1(id), &e);
    ASSERT_TRUE(c) << id;
    EXPECT_EQ(c->driverId().toLower(), QString::fromLatin1(id).toLower());
  }
  for (const char *id : {"Mongo", "DS", "TDBX", "Bogus"}) {
    DbError e;
    EXPECT_FALSE(CreateDriverConnection(QString::fromLatin1(id), &e)) << id;
    EXPECT_EQ(e.kind, DbErrorKind::NotSupported) << id;
  }
}

// A table of one text column over the values given (null for a NULL).
MemTable TableOf(const QList<QString> &values) {
  FieldDef f;
  f.name = QStringLiteral("v");
  f.type = FieldType::WideString;
  auto rs = std::make_shared<RowSet>(FieldDefs{f});
  for (const QString &v : values) {
    if (v.isNull())
      rs->appendNull(0);
    else
      rs->appendText(0, v);
    rs->endRow();
  }
  return MemTable(rs);
}

TEST(FieldValuesToList, JoinsTheFieldFromTheCurrentRecordToTheEnd) {
  struct {
    QList<QString> values;
    int startRecNo;
    const char *sep;
    const char *quote;
    const char *expected;
  } cases[] = {
      {{}, 1, ", ", "", ""},
      {{"a", "b"}, 1, ", ", "", "a, b"},
      {{"a", "b", "c"}, 2, ", ", "", "b, c"},
      {{"a", "b", "c"}, 3, ";", "'", "'c'"},
      {{"a", QString(), "c"}, 1, "|", "\"", "\"a\"|\"\"|\"c\""},
      {{"x"}, 1, "", "", "x"},
      {{"", ""}, 1, ", ", "", ", "},  // two empty values keep the separator between them
  };
  for (const auto &c : cases) {
    MemTable t = TableOf(c.values);
    t.setRecNo(c.startRecNo);
    EXPECT_EQ(FieldValuesToList(t, QString::fromUtf8(c.sep), false, QString::fromUtf8(c.quote), 0),
              QString::fromUtf8(c.expected))
        << c.expected;
    EXPECT_TRUE(t.active());
  }
  // The walk leaves the table at its end: a second call finds no rows; the close flag closes it.
  MemTable t = TableOf({"a", "b"});
  EXPECT_EQ(FieldValuesToList(t, QStringLiteral(","), false, QString(), 0), QStringLiteral("a,b"));
  EXPECT_EQ(FieldValuesToList(t, QStringLiteral(","), true, QString(), 0), QString());
  EXPECT_FALSE(t.active());
}

}  // namespace
