#pragma once
// The Refresh command of the tree: re-reads the subtree of one tree item from its server, by the item's
// level, and a job that does it on a worker thread with connections of its own.
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

#include "tree/refreshcontext.h"

struct sqlite3;

namespace qrv {

namespace dal {
class ConnectionManager;
}

// Refreshes the item with this full name and everything below it; returns the error text, empty on
// success.
//   level 0  the RDBMS: every connection under it
//   level 1  the connection and its databases
//   level 2  the database
//   3 and 4  the schema (for MS SQL Server, PostgreSQL, MySQL and Oracle: the whole database)
//   5 to 7   the object: a table or view, or a procedure under "Procedures / Functions" (catalog
//            drivers: the whole database)
QString RefreshTreeItem(TreeRefreshContext &ctx, const QString &fullName);

// Opens (or creates) the local database for a refresh on its own connection, in WAL mode so that the
// window's connection keeps reading while the refresh writes. nullptr with *error set on failure.
::sqlite3 *OpenLocalDbForRefresh(const QString &path, QString *error);

// Runs RefreshTreeItem on a worker thread of the shared pool, with its own server connection and its
// own connection to the local database. One refresh at a time; finished() comes on the thread that owns
// the job (the window thread).
class TreeRefreshJob : public QObject {
  Q_OBJECT
 public:
  struct Options {
    const dal::ConnectionManager *manager = nullptr;
    QString localDbPath;    // qrv.db
    QString settingsDir;    // with a trailing separator; replacement catalog query files
    bool showSystemObjects = false;
  };

  explicit TreeRefreshJob(QObject *parent = nullptr);
  // Stops the walk between two steps and waits for it.
  ~TreeRefreshJob() override;

  // Starts the refresh of an item; false when a refresh is still running.
  bool start(const Options &options, const QString &fullName);
  bool isRunning() const;
  // Asks the running walk to stop after its current step (the rows written so far stay).
  void abort();
  // Blocks until the running refresh has ended (finished() is still delivered through the event loop).
  void waitForFinished();

 signals:
  // The refreshed item, the error text (empty on success) and the time the refresh took.
  void finished(const QString &fullName, const QString &errorText, qint64 elapsedMs);

 private:
  void onDone();

  QFutureWatcher<QString> watcher_;
  bool running_ = false;  // from start() until finished() was emitted
  std::shared_ptr<std::atomic<bool>> abort_;
  QString fullName_;
  QElapsedTimer timer_;
};

}  // namespace qrv
