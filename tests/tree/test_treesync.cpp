// The tree rows of the connection definitions at start-up.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "testsupport.h"
#include "tree/treestore.h"
#include "treestore_fixture.h"
#include "util/inifile.h"

using qrvtest::TreeDb;

namespace {

// Written with CR LF line ends, as the definition files usually are.
void writeFile(const QString &path, const QString &text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  QString crlf = text;
  crlf.replace("\n", "\r\n");
  f.write(crlf.toUtf8());
}

const char *kDrivers =
    "[PG_Local]\n"
    "VendorLib=/opt/pg/libpq.so\n"
    "BaseDriverID=PG\n"
    "\n"
    "[Broken_Virtual]\n"
    "BaseDriverID=NoSuchBase\n";

// A virtual-driver connection, an unknown driver, a section without DriverID followed by a valid one,
// two connections of one RDBMS (the driver ID written in another case), a virtual driver whose base is
// unknown, and a name with an apostrophe.
const char *kConnections =
    "[Local PG]\n"
    "DriverID=PG_Local\n"
    "Database=qrv_test\n"
    "\n"
    "[Mystery]\n"
    "DriverID=NoSuchDriver\n"
    "\n"
    "[No Driver]\n"
    "Server=somewhere\n"
    "\n"
    "[Maria One]\n"
    "Server=127.0.0.1\n"
    "DriverID=MySQL\n"
    "\n"
    "[Maria Two]\n"
    "DriverID= mysql \n"
    "\n"
    "[Half Made]\n"
    "DriverID=Broken_Virtual\n"
    "\n"
    "[O'Reilly's]\n"
    "DriverID=SQLite\n"
    "Database=/tmp/x.db\n";

const QStringList kExpectedRows = {
    "MySQL|MySQL|1|0|0|1|",
    "Maria One|MySQL > Maria One|1|1|1|1|",
    "Maria Two|MySQL > Maria Two|1|1|1|1|",
    "PostgreSQL|PostgreSQL|1|0|0|1|",
    "Local PG|PostgreSQL > Local PG|1|1|1|1|",
    "SQLite|SQLite|1|0|0|1|",
    "O'Reilly's|SQLite > O'Reilly's|1|1|1|1|",
};

const QString kAllRows =
    "SELECT Name, FullName, Visible, Type, Level, Expanded, Info FROM Tree ORDER BY FullName COLLATE NOCASE";

}  // namespace

// Each section gets the rows of its own driver; sections without a known driver get none and take
// nothing from their neighbours. A second run adds nothing.
TEST(TreeSync, RowsOfEveryDefinition) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  writeFile(dir.filePath("Drivers.ini"), kDrivers);
  writeFile(dir.filePath("Connections.ini"), kConnections);
  TreeDb t;
  qrv::SyncTreeWithConnectionDefs(t.store(), dir.filePath("Drivers.ini"), dir.filePath("Connections.ini"));
  EXPECT_EQ(t.rows(kAllRows), kExpectedRows);

  qrv::SyncTreeWithConnectionDefs(t.store(), dir.filePath("Drivers.ini"), dir.filePath("Connections.ini"));
  EXPECT_EQ(t.rows(kAllRows), kExpectedRows);
}

// Rows already in the tree (written in another case, or of connections no longer defined) stay as they
// are and are not added twice; an empty or missing file adds nothing.
TEST(TreeSync, ExistingRowsAreKept) {
  TreeDb t;
  t.store().AppendRecordToTree("mysql", "mysql", false, 0, 0, false, "old");
  t.store().AppendRecordToTree("maria one", "mysql > maria one", false, 1, 1, false, "old");
  t.store().AppendRecordToTree("Gone", "Oracle > Gone", false, 1, 1, false, QString());
  qrv::IniFile drivers, connections;
  drivers.setText(kDrivers);
  connections.setText(kConnections);
  qrv::SyncTreeWithConnectionDefs(t.store(), drivers, connections);
  EXPECT_EQ(t.rows("SELECT FullName || '|' || Info FROM Tree WHERE FullName LIKE 'mysql%' OR FullName LIKE "
                   "'Oracle%' ORDER BY FullName COLLATE NOCASE"),
            (QStringList{"mysql|old", "mysql > maria one|old", "MySQL > Maria Two|", "Oracle > Gone|"}));

  TreeDb empty;
  qrv::SyncTreeWithConnectionDefs(empty.store(), "/nonexistent/Drivers.ini", "/nonexistent/Connections.ini");
  EXPECT_EQ(empty.rows("SELECT count(*) FROM Tree"), QStringList{"0"});
}

// Start-up on a tree that already holds refreshed objects: the definitions' rows are added and the view
// then shows RDBMS, connection and database rows only.
TEST(TreeSync, StartUpShowsTopLevels) {
  TreeDb t;
  t.add("PostgreSQL", 0);
  t.add("PostgreSQL > Local PG", 1);
  t.add("PostgreSQL > Local PG > qrv_test", 2);
  t.add("PostgreSQL > Local PG > qrv_test > public", 3);
  t.add("PostgreSQL > Local PG > qrv_test > public > Tables", -1);
  t.add("PostgreSQL > Local PG > qrv_test > public > Tables > city", 4);
  t.exec("UPDATE Tree SET Visible = 1, Expanded = 1");
  qrv::IniFile drivers, connections;
  drivers.setText(kDrivers);
  connections.setText(kConnections);
  EXPECT_EQ(qrv::PrepareTreeAtStart(t.store(), drivers, connections), QString());
  EXPECT_EQ(t.rows("SELECT DISTINCT FullName, Visible, Expanded FROM Tree WHERE Visible = True ORDER BY FullName"),
            (QStringList{"MySQL|1|1", "MySQL > Maria One|1|1", "MySQL > Maria Two|1|1", "PostgreSQL|1|1",
                         "PostgreSQL > Local PG|1|1", "PostgreSQL > Local PG > qrv_test|1|0", "SQLite|1|1",
                         "SQLite > O'Reilly's|1|1"}));
  EXPECT_EQ(t.rows("SELECT count(*) FROM Tree WHERE Visible = 0 AND Expanded = 0"), QStringList{"3"});
}
