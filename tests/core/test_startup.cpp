#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <sqlite3.h>

#include "core/apppaths.h"
#include "core/datamodule.h"
#include "core/programbody.h"
#include "tree/treestore.h"
#include "testsupport.h"

using namespace qrv;

namespace {

const QStringList kDelivered = {"qrv.db", "Keywords.ini", "Functions.ini", "Drivers.ini", "Connections.ini",
                                "QuorvaneDemo.db"};

// A copy of the program folder's delivered files in a folder of the test's own.
class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(prog.isValid());
    for (const QString &f : kDelivered)
      ASSERT_TRUE(QFile::copy(qrvtest::BinDir() + "/" + f, prog.filePath(f))) << f.toStdString();
    SetProgramFolderForTesting(prog.path());
    SetPlatformErrorHook([this](const QString &m) { messages.append(m); });
  }
  void TearDown() override {
    SetPlatformErrorHook(nullptr);
    SetProgramFolderForTesting(QString());
  }
  bool start(QString *failure = nullptr) {
    TDM dm;
    return dm.DataModuleCreate(failure);
  }
  qrvtest::TempConfigHome home;
  QTemporaryDir prog;
  QStringList messages;
};

}  // namespace

TEST_F(StartupTest, FirstStartMovesDeliveredFilesAndSecondStartFindsThemInPlace) {
  ASSERT_TRUE(start());
  for (const QString &f : kDelivered) {
    EXPECT_TRUE(QFile::exists(home.settingsDir() + f)) << f.toStdString();
    EXPECT_FALSE(QFile::exists(prog.filePath(f))) << f.toStdString() << " still in the program folder";
  }
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
  ASSERT_TRUE(start());
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_EQ(SettingsDir(), home.settingsDir());
  EXPECT_EQ(ErrorLogPath(), home.settingsDir() + "qrv_error.log");
}

TEST_F(StartupTest, DeletedKeywordsIsReportedOnceAndRecreatedEmpty) {
  ASSERT_TRUE(start());
  ASSERT_TRUE(QFile::remove(home.settingsDir() + "Keywords.ini"));
  ASSERT_TRUE(start());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString("File \"%1\" not found. Syntax highlight will not be supported.")
                             .arg(home.settingsDir() + "Keywords.ini"));
  EXPECT_EQ(QFileInfo(home.settingsDir() + "Keywords.ini").size(), 0);
  ASSERT_TRUE(start());
  EXPECT_EQ(messages.size(), 1);
}

TEST_F(StartupTest, MissingDefinitionFilesAreCreatedSilently) {
  QFile::remove(prog.filePath("Drivers.ini"));
  QFile::remove(prog.filePath("Connections.ini"));
  ASSERT_TRUE(start());
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(QFile::exists(home.settingsDir() + "Drivers.ini"));
  EXPECT_TRUE(QFile::exists(home.settingsDir() + "Connections.ini"));
}

TEST_F(StartupTest, MissingLocalDatabaseEndsTheStart) {
  QFile::remove(prog.filePath("qrv.db"));
  QString failure;
  EXPECT_FALSE(start(&failure));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString("File \"%1\" not found. Please reinstall the application.").arg(home.settingsDir() + "qrv.db"));
  EXPECT_FALSE(QFile::exists(home.settingsDir() + "qrv.db")) << "no empty database may be created";
}

TEST_F(StartupTest, CorruptLocalDatabaseEndsTheStartWithTheMessage) {
  QFile f(prog.filePath("qrv.db"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(QByteArray(4096, 'x'));
  f.close();
  EXPECT_FALSE(start());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith(QString("Could not connect to the internal database \"%1\".\n").arg(home.settingsDir() + "qrv.db")))
      << messages[0].toStdString();
  EXPECT_TRUE(messages[0].endsWith("\nPlease reinstall the application"));
}

TEST_F(StartupTest, TreeVisibilityIsResetToTheStartState) {
  ASSERT_TRUE(start());
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open((home.settingsDir() + "qrv.db").toUtf8().constData(), &db), SQLITE_OK);
  const char *rows =
      "INSERT INTO Tree VALUES ('SQLite','SQLite',0,0,0,0,''),('c','SQLite > c',0,1,1,0,''),"
      "('d','SQLite > c > d',0,2,2,1,''),('s','SQLite > c > d > s',1,3,3,1,'');";
  ASSERT_EQ(sqlite3_exec(db, rows, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  ASSERT_TRUE(start());
  ASSERT_EQ(sqlite3_open((home.settingsDir() + "qrv.db").toUtf8().constData(), &db), SQLITE_OK);
  sqlite3_stmt *st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT Level, Visible, Expanded FROM Tree ORDER BY Level", -1, &st, nullptr), SQLITE_OK);
  const int expected[4][2] = {{1, 1}, {1, 1}, {1, 0}, {0, 0}};
  int n = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    const int level = sqlite3_column_int(st, 0);
    if (level > 3) continue;
    EXPECT_EQ(sqlite3_column_int(st, 1), expected[level][0]) << "level " << level;
    EXPECT_EQ(sqlite3_column_int(st, 2), expected[level][1]) << "level " << level;
    ++n;
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  EXPECT_GE(n, 4);
}

TEST_F(StartupTest, DefinedConnectionsGetTheirTreeRowsAndTheDemoDatabaseOpens) {
  ASSERT_TRUE(start());
  TDM dm;
  ASSERT_TRUE(dm.DataModuleCreate());
  ASSERT_TRUE(dm.FTreeStore);
  EXPECT_TRUE(dm.FTreeStore->FindTreeId("sqlite"));
  EXPECT_TRUE(dm.FTreeStore->FindTreeId("SQLite > Demo"));
  // The demo's relative database path is taken from the settings directory.
  qrv::dal::DbError err;
  auto conn = dm.FDManager.openConnection("Demo", QString(), &err);
  ASSERT_TRUE(conn) << err.message.toStdString();
  auto cur = conn->execute("SELECT COUNT(*) FROM order_totals", &err);
  ASSERT_TRUE(cur) << err.message.toStdString();
  qrv::dal::RowSet rows(cur->fields());
  ASSERT_EQ(cur->fetch(rows, -1, &err), 1);
  EXPECT_EQ(rows.intValue(0, 0), 2000);
}

TEST_F(StartupTest, ProgramFolderThatForbidsRemovalGetsCopies) {
  // An immutable folder keeps even root from moving files out of it.
  if (QProcess::execute("chattr", {"+i", prog.path()}) != 0) GTEST_SKIP() << "chattr +i is not available on this file system";
  const bool ok = start();
  QProcess::execute("chattr", {"-i", prog.path()});
  ASSERT_TRUE(ok);
  for (const QString &f : kDelivered) {
    EXPECT_TRUE(QFile::exists(home.settingsDir() + f)) << f.toStdString();
    EXPECT_TRUE(QFile::exists(prog.filePath(f))) << f.toStdString() << " left in place";
  }
  EXPECT_TRUE(messages.isEmpty());
}

TEST(SettingsDir, UnwritableRootRaisesTheError) {
  qputenv("XDG_CONFIG_HOME", "/proc/qrv-no-such-dir");
  try {
    GetSettingsDir("Quorvane 64bit");
    ADD_FAILURE() << "no error raised";
  } catch (const SettingsDirError &e) {
    EXPECT_EQ(e.message, "Could not create settings directory \"/proc/qrv-no-such-dir/Quorvane 64bit/\"");
  }
  qunsetenv("XDG_CONFIG_HOME");
}

struct ArgsCase {
  QStringList args;
  bool scriptMode;
  bool consoleRun;
  bool hasStartupFile;
};

TEST(ProgramBody, CommandLineForms) {
  QTemporaryDir d;
  const QString file = d.filePath("a.sql");
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  const ArgsCase cases[] = {
      {{"q"}, false, false, false},
      {{"q", file}, false, false, true},
      {{"q", "-scriptfile", "s.sql", "A > b > c"}, true, true, false},
      {{"q", "-SCRIPTFILE", "s.sql"}, true, false, false},
      {{"q", "/no/such/file.sql"}, false, false, false},
      {{"q", d.path()}, false, false, false},  // a folder is not a file
  };
  for (const ArgsCase &c : cases) {
    const StartupArgs a = ParseStartupArgs(c.args);
    EXPECT_EQ(a.scriptMode, c.scriptMode) << c.args.join(' ').toStdString();
    EXPECT_EQ(a.consoleRun, c.consoleRun) << c.args.join(' ').toStdString();
    EXPECT_EQ(!a.startupFile.isEmpty(), c.hasStartupFile) << c.args.join(' ').toStdString();
  }
}

TEST(ProgramBody, CorruptLocalDatabaseEndsTheProgramWithAnErrorCode) {
  qrvtest::TempConfigHome home;
  QDir().mkpath(home.settingsDir());
  QFile f(home.settingsDir() + "qrv.db");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(2048, 'z'));
  f.close();
  // A copy of the program, so that the delivered files of the build stay where they are.
  QTemporaryDir prog;
  ASSERT_TRUE(QFile::copy(qrvtest::BinDir() + "/quorvane", prog.filePath("quorvane")));
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_CONFIG_HOME", home.root());
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(prog.filePath("quorvane"), {});
  p.closeWriteChannel();
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_NE(p.exitCode(), 0);
  EXPECT_TRUE(p.readAllStandardError().contains("Could not connect to the internal database"));
}
