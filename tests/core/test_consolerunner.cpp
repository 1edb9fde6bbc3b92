// The console run as a user meets it: the real program started as a child process with a settings
// directory of its own.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <vector>

#include "core/consolerunner.h"
#include "dal/drivers.h"
#include "testsupport.h"

namespace {

QString Q(const char *s) { return QString::fromUtf8(s); }

struct RunResult {
  int exitCode = -1;
  QString out;
  QString err;
  bool finished = false;
};

class ConsoleRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    settings = dir.path() + Q("/Quorvane 64bit/");
    ASSERT_TRUE(QDir().mkpath(settings));
    // The second database holds a table the first one does not have.
    qrv::dal::DbError err;
    auto c = qrv::dal::CreateDriverConnection(Q("SQLite"), &err);
    ASSERT_TRUE(c);
    qrv::dal::ConnParams p;
    p.set(Q("Database"), dir.path() + Q("/two.db"));
    ASSERT_TRUE(c->open(p, &err)) << err.message.toStdString();
    for (const char *sql : {"CREATE TABLE marker (name TEXT)", "INSERT INTO marker VALUES ('in two')"})
      ASSERT_TRUE(c->execute(Q(sql), &err)) << err.message.toStdString();
    c->close();

    using qrvtest::ServerEnv;
    const QString ini = QStringLiteral(
                            "[local]\nDriverID=SQLite\nDatabase=%1/one.db\n\n"
                            "[second]\nDriverID=SQLite\nDatabase=%1/two.db\n\n"
                            "[pg]\nDriverID=PG\nServer=%2\nPort=%3\nDatabase=postgres\nUser_Name=%4\nPassword=%5\n")
                            .arg(dir.path(), ServerEnv("QRV_PG_HOST"), ServerEnv("QRV_PG_PORT"),
                                 ServerEnv("QRV_PG_USER"), ServerEnv("QRV_PG_PASSWORD"));
    QFile f(settings + Q("Connections.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(ini.toUtf8());
  }

  QString writeScript(const QString &text) {
    const QString path = dir.path() + QStringLiteral("/script%1.sql").arg(++scripts);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
    return path;
  }

  // Runs the program with the arguments after its path, standard input closed. With keepStdinOpen, standard
  // input is a pipe that is never written or closed, so a run that waited for a line would never end.
  RunResult run(const QStringList &args, bool keepStdinOpen = false) {
    RunResult r;
    const QString exe = qrvtest::BinDir() + Q("/quorvane");
    EXPECT_TRUE(QFileInfo(exe).isExecutable()) << exe.toStdString();
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(Q("XDG_CONFIG_HOME"), dir.path());
    env.remove(Q("DISPLAY"));
    env.remove(Q("WAYLAND_DISPLAY"));
    p.setProcessEnvironment(env);
    p.start(exe, args);
    EXPECT_TRUE(p.waitForStarted()) << p.errorString().toStdString();
    if (!keepStdinOpen) p.closeWriteChannel();
    r.finished = p.waitForFinished(120000);  // a guard against a hang, not a measure of speed
    if (!r.finished) {
      p.kill();
      p.waitForFinished();
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
  }

  RunResult runScript(const QString &script, const QString &target = Q("SQLite > local > main"),
                      bool keepStdinOpen = false) {
    return run({Q("-scriptfile"), writeScript(script), target}, keepStdinOpen);
  }

  QTemporaryDir dir;
  QString settings;
  int scripts = 0;
};

#define EXPECT_RUN(r, code)                                                                                  \
  do {                                                                                                      \
    ASSERT_TRUE((r).finished) << "the run did not end";                                                     \
    EXPECT_EQ((r).exitCode, code) << "stdout:\n" << (r).out.toStdString() << "\nstderr:\n" << (r).err.toStdString(); \
    EXPECT_FALSE((r).out.contains(Q("Press Enter to continue")));                                           \
  } while (0)

TEST_F(ConsoleRunTest, RunsStatementsWithoutWindowLocalFilesOrWaiting) {
  const RunResult r = runScript(Q("-- a table\r\nCREATE TABLE t (id INTEGER, name TEXT);\r\n"
                                  "INSERT INTO t VALUES (1, 'one; -- not a comment');\r\n"
                                  "SELECT id, name FROM t;\r\n"),
                                Q("SQLite > local > main"), /*keepStdinOpen=*/true);
  EXPECT_RUN(r, 0);
  EXPECT_TRUE(r.out.contains(Q("id | name"))) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(Q(" 1 | one; -- not a comment"))) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(Q("1 rows selected.")));
  EXPECT_TRUE(r.err.trimmed().isEmpty()) << r.err.toStdString();
  // Only the definitions file the test wrote: no local database and no settings file.
  EXPECT_EQ(QDir(settings).entryList(QDir::Files), QStringList{Q("Connections.ini")});
}

TEST_F(ConsoleRunTest, ConnectSwitchesToASecondDatabase) {
  const RunResult r = runScript(Q("SELECT 'first' AS f;\n{$CMD CONNECT \"SQLite > second > ignored\"}\n"
                                  "SELECT name FROM marker;\n"
                                  "{$CMD CONNECT \"PostgreSQL > pg > ") +
                                qrvtest::ServerEnv("QRV_PG_DB") +
                                Q("\"}\nSELECT current_database() AS db;"));
  EXPECT_RUN(r, 0);
  EXPECT_TRUE(r.out.contains(Q("Successfully connected to \"SQLite > second > ignored\""))) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(Q("in two"))) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains(Q("\n") + qrvtest::ServerEnv("QRV_PG_DB") + Q("\n")))
      << "the PostgreSQL test server must be reachable\n"
      << r.out.toStdString() << r.err.toStdString();
}

TEST_F(ConsoleRunTest, AFailedConnectIsReportedAndTheRunGoesOn) {
  const RunResult r = runScript(Q("{$CMD CONNECT \"SQLite > nosuch > x\"}\nSELECT 'lost' AS a;\n"
                                  "{$CMD CONNECT \"SQLite > local > x\"}\nSELECT 'back' AS b;"));
  EXPECT_RUN(r, 1);
  EXPECT_TRUE(r.err.contains(Q("nosuch"))) << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(Q("Not connected"))) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains(Q("back"))) << r.out.toStdString();
}

TEST_F(ConsoleRunTest, AFailedStatementIsReportedAndTheRunGoesOn) {
  const RunResult r = runScript(Q("SELECT * FROM missing_table;\nSELECT 'after' AS a;"));
  EXPECT_RUN(r, 1);
  EXPECT_TRUE(r.err.contains(Q("no such table"))) << r.err.toStdString();
  EXPECT_FALSE(r.out.contains(Q("no such table")));
  EXPECT_TRUE(r.out.contains(Q("after")));
}

// Runs that end early: the message goes to standard error and the exit code is 2.
TEST_F(ConsoleRunTest, RunsThatEndEarly) {
  const struct {
    const char *name;
    const char *script;  // nullptr: no script file argument
    const char *message;
  } cases[] = {
      {"disconnect", "SELECT 'before' AS a;\n{$CMD DISCONNECT}\nSELECT 'not reached' AS b;",
       "Unknow command: \"DISCONNECT\""},
      {"shellexec", "SELECT 'before' AS a;\n{$CMD SHELLEXEC /bin/true}\nSELECT 'not reached' AS b;",
       "Unknow command: \"SHELLEXEC\""},
      {"empty command", "SELECT 'before' AS a;\n{$CMD  }\nSELECT 'not reached' AS b;", "Empty command"},
      {"connect without parameter", "SELECT 'before' AS a;\n{$CMD CONNECT}\nSELECT 'not reached' AS b;",
       "No parameters supplied"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = runScript(Q(c.script));
    EXPECT_RUN(r, 2);
    EXPECT_TRUE(r.err.contains(Q(c.message))) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(Q("before"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(Q("not reached"))) << r.out.toStdString();
  }
}

TEST_F(ConsoleRunTest, RunsThatCannotStart) {
  const QString missing = dir.path() + Q("/nothing here.sql");
  const QString ok = writeScript(Q("SELECT 1;"));
  const struct {
    const char *name;
    QStringList args;
    QString message;
  } cases[] = {
      {"no file name", {Q("-scriptfile")}, Q("Empty file name is not allowed")},
      {"blank file name", {Q("-scriptfile"), Q("  "), Q("SQLite > local > main")}, Q("Empty file name is not allowed")},
      {"missing file", {Q("-scriptfile"), missing, Q("SQLite > local > main")},
       QStringLiteral("File \"%1\" not found").arg(missing)},
      {"unknown connection", {Q("-scriptfile"), ok, Q("SQLite > nosuch > main")}, Q("nosuch")},
      {"no target", {Q("-scriptfile"), ok}, Q("not found")},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    const RunResult r = run(c.args);
    EXPECT_RUN(r, 2);
    EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
  }
}

TEST_F(ConsoleRunTest, AFileOfCommentsOnlyIsAnEmptyScript) {
  const RunResult r = runScript(Q("-- nothing to do\r\n/* {$CMD CONNECT \"x > y > z\"}\r\n */\r\n"),
                                Q("SQLite > nosuch > main"));
  EXPECT_RUN(r, 0);
  EXPECT_TRUE(r.out.contains(Q("Empty SQL text"))) << r.out.toStdString();
}

}  // namespace
