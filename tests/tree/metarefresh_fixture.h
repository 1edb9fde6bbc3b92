#pragma once
// A settings directory of its own for tree refresh tests: Connections.ini, a file qrv.db with the Tree
// tables, the connection manager over the definitions and a refresh context on them.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QDir>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "dal/conn_manager.h"
#include "dal/dalutil.h"
#include "testsupport.h"
#include "tree/refreshcontext.h"
#include "tree/treestore.h"
#include "util/textfile.h"

namespace qrvtest {

// A tree row as the tests compare it.
struct TreeRow {
  QString name;
  int type = 0;
  int level = 0;
  QString info;
  int visible = 0;
  int expanded = 0;
};

inline QString RequiredEnv(const char *key) {
  const QString v = ServerEnv(key);
  EXPECT_FALSE(v.isEmpty()) << key << " is not set: start the test servers (bash scripts/test-servers.sh start)";
  return v;
}

class RefreshFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp.isValid());
    dir = tmp.path() + "/";
    dbPath = dir + "qrv.db";
    ASSERT_EQ(sqlite3_open(dbPath.toUtf8().constData(), &db), SQLITE_OK);
    store = std::make_unique<qrv::TreeStore>(db);
    ASSERT_EQ(store->ensureTables(), QString());
    ctx.store = store.get();
    ctx.manager = &manager;
    ctx.settingsDir = dir;
  }
  void TearDown() override {
    ctx.catalog.reset();
    store.reset();
    sqlite3_close(db);
  }

  // Writes Connections.ini (and an empty Drivers.ini) and loads them.
  void defineConnections(const QString &ini) {
    ASSERT_TRUE(qrv::WriteTextFileAtomic(dir + "Connections.ini", ini));
    ASSERT_TRUE(qrv::WriteTextFileAtomic(dir + "Drivers.ini", QString()));
    manager.loadDriverDefs(dir + "Drivers.ini");
    manager.loadConnectionDefs(dir + "Connections.ini");
  }

  // Runs statements on a definition's server connection (a failure fails the test).
  void serverExec(const QString &conn, const QString &database, const QStringList &sql, bool quiet = false) {
    qrv::dal::DbError err;
    qrv::dal::ConnectionPtr c = manager.openConnection(conn, database, &err);
    ASSERT_TRUE(c) << conn.toStdString() << ": " << err.message.toStdString();
    for (const QString &s : sql) {
      const bool ok = qrv::dal::ExecAll(*c, s, &err);
      if (!quiet) {
        ASSERT_TRUE(ok) << err.message.toStdString() << "\n" << s.toStdString();
      }
    }
  }

  // The rows whose full name starts with prefix (ignoring case), by full name (exact duplicates, as of
  // overloaded routines, count once).
  QMap<QString, TreeRow> rows(const QString &prefix = QString()) {
    QMap<QString, TreeRow> out;
    sqlite3_stmt *st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db,
                                 "SELECT Name, FullName, Type, Level, Info, Visible, Expanded FROM Tree "
                                 "WHERE SUBSTR(FullName, 1, LENGTH(?1)) = ?1 COLLATE NOCASE",
                                 -1, &st, nullptr),
              SQLITE_OK);
    const QByteArray p = prefix.toUtf8();
    sqlite3_bind_text(st, 1, p.constData(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(st) == SQLITE_ROW) {
      auto text = [&](int i) { return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, i))); };
      out[text(1)] = TreeRow{text(0), sqlite3_column_int(st, 2), sqlite3_column_int(st, 3), text(4),
                             sqlite3_column_int(st, 5), sqlite3_column_int(st, 6)};
    }
    sqlite3_finalize(st);
    return out;
  }

  // Checks one row: kind, level and info (info "*" is not compared).
  void expectRow(const QString &fullName, int type, const QString &info = QString()) {
    const QMap<QString, TreeRow> r = rows(fullName);
    ASSERT_TRUE(r.contains(fullName)) << "no row " << fullName.toStdString();
    const TreeRow &row = r[fullName];
    EXPECT_EQ(row.name, fullName.section(QStringLiteral(" > "), -1)) << fullName.toStdString();
    EXPECT_EQ(row.type, type) << fullName.toStdString();
    EXPECT_EQ(row.level, qrv::TreeLevelOf(fullName)) << fullName.toStdString();
    if (info != QLatin1String("*")) {
      EXPECT_EQ(row.info, info) << fullName.toStdString();
    }
  }

  QTemporaryDir tmp;
  QString dir;
  QString dbPath;
  sqlite3 *db = nullptr;
  std::unique_ptr<qrv::TreeStore> store;
  qrv::dal::ConnectionManager manager;
  qrv::TreeRefreshContext ctx;
};

}  // namespace qrvtest
