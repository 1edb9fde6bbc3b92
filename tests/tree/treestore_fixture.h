#pragma once
// A local database with the Tree tables in memory, and small helpers to read it back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QString>
#include <QStringList>
#include <memory>

#include "tree/treestore.h"

namespace qrvtest {

class TreeDb {
 public:
  TreeDb() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    store_ = std::make_unique<qrv::TreeStore>(db_);
    EXPECT_EQ(store_->ensureTables(), QString());
  }
  ~TreeDb() {
    store_.reset();
    sqlite3_close(db_);
  }
  sqlite3 *db() const { return db_; }
  qrv::TreeStore &store() { return *store_; }

  // Executes SQL; fails the test on an error.
  void exec(const QString &sql) {
    char *err = nullptr;
    const int rc = sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &err);
    EXPECT_EQ(rc, SQLITE_OK) << (err ? err : "") << " in " << sql.toStdString();
    sqlite3_free(err);
  }

  // Every row of a query, the columns joined by "|" (NULL as "<null>"), text parameters bound in order.
  QStringList rows(const QString &sql, const QStringList &params = {}) {
    QStringList out;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql.toStdString();
      return out;
    }
    for (int i = 0; i < params.size(); ++i)
      sqlite3_bind_text16(st, i + 1, params[i].utf16(), int(params[i].size() * 2), SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      QStringList cols;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const void *t = sqlite3_column_text16(st, c);
        cols << (t ? QString::fromUtf16(static_cast<const char16_t *>(t), sqlite3_column_bytes16(st, c) / 2)
                   : QStringLiteral("<null>"));
      }
      out << cols.join(u'|');
    }
    if (rc != SQLITE_DONE) ADD_FAILURE() << sqlite3_errmsg(db_) << " in " << sql.toStdString();
    sqlite3_finalize(st);
    return out;
  }

  // The full names in the tree, sorted (duplicates kept).
  QStringList fullNames(const char *table = "Tree") {
    return rows(QStringLiteral("SELECT FullName FROM %1 ORDER BY FullName, rowid").arg(QLatin1String(table)));
  }

  // Adds a row with the level taken from the full name.
  void add(const QString &fullName, int type = 4) {
    const QString name = fullName.section(QStringLiteral(" > "), -1);
    ASSERT_TRUE(store_->AppendRecordToTree(name, fullName, false, type, qrv::TreeLevelOf(fullName), false, QString()))
        << fullName.toStdString();
  }

 private:
  sqlite3 *db_ = nullptr;
  std::unique_ptr<qrv::TreeStore> store_;
};

}  // namespace qrvtest
