#include "tree/treerefresh.h"

#include <QtConcurrent/QtConcurrentRun>
#include <sqlite3.h>

#include "dal/drivertable.h"
#include "tree/catalogrefresh.h"
#include "tree/metarefresh.h"
#include "tree/treestore.h"

namespace qrv {

namespace {

QString levelOf(const QString &path, int n) {
  const QStringList parts = path.split(QString(kTreeSeparator));
  return n < parts.size() ? parts[n] : QString();
}

}  // namespace

QString RefreshTreeItem(TreeRefreshContext &ctx, const QString &fullName) {
  const QString sep(kTreeSeparator);
  const int level = TreeLevelOf(fullName);
  const QString name = levelOf(fullName, level);
  const QString driverId = RDBMSNameToDriverID(levelOf(fullName, TreeLevel::Rdbms));
  auto parentsOf = [&](int lvl) { return CutIdToLevel(fullName, lvl, sep) + sep; };

  if (level == TreeLevel::Rdbms) return FillTree_BaseDriver(ctx, name, true);
  if (level == TreeLevel::Connection) return FillTree_Conn(ctx, parentsOf(TreeLevel::Rdbms), name, true, true, true);

  const QString database = levelOf(fullName, TreeLevel::Database);
  const QString dbParents = parentsOf(TreeLevel::Connection);
  if (level == TreeLevel::Database || IsCatalogDriver(driverId)) {
    if (IsCatalogDriver(driverId)) return FillTree_DB_Native(ctx, dbParents, database, true, true, false);
    return FillTree_DB(ctx, dbParents, database, true, true, false);
  }

  const QString err = ctx.ReConnect(driverId, levelOf(fullName, TreeLevel::Connection), database);
  if (!err.isEmpty()) return err;
  if (level <= TreeLevel::SchemaCategory)
    return FillTree_Schema(ctx, parentsOf(TreeLevel::Database), levelOf(fullName, TreeLevel::Schema), true, true,
                           false);

  // An object: a procedure is read with its parameters; a generator has nothing below it; everything
  // else is read as a table.
  const QString category = levelOf(fullName, TreeLevel::SchemaCategory);
  const QString object = levelOf(fullName, TreeLevel::Object);
  const QString objParents = parentsOf(TreeLevel::SchemaCategory);
  if (category == TreeCategory::ProceduresFunctions)
    return FillTree_Proc(ctx, objParents, object, TreeKind::Routine, true, true, false);
  if (category == TreeCategory::GeneratorsSequences) return QString();
  return FillTree_Table(ctx, objParents, object, TreeKind::Table, true, true, false);
}

sqlite3 *OpenLocalDbForRefresh(const QString &path, QString *error) {
  sqlite3 *db = nullptr;
  const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto fail = [&](const QString &what) {
    if (error) *error = what;
    sqlite3_close(db);
    return nullptr;
  };
  if (rc != SQLITE_OK) return fail(db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("Out of memory"));
  // Other connections (the window's) may hold the database for a moment: wait instead of failing.
  sqlite3_busy_timeout(db, 10000);
  char *msg = nullptr;
  // A new file gets the page size of the delivered one before WAL mode fixes it (no effect on a file
  // that has pages already).
  if (sqlite3_exec(db, "PRAGMA page_size=8192; PRAGMA journal_mode=WAL;", nullptr, nullptr, &msg) != SQLITE_OK) {
    const QString text = QString::fromUtf8(msg ? msg : sqlite3_errmsg(db));
    sqlite3_free(msg);
    return fail(text);
  }
  // The tree is a copy of what the servers hold: after a crash it is refreshed again, so a commit need
  // not wait for the disk (WAL keeps the file consistent either way).
  sqlite3_exec(db, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
  return db;
}

TreeRefreshJob::TreeRefreshJob(QObject *parent) : QObject(parent) {
  connect(&watcher_, &QFutureWatcher<QString>::finished, this, &TreeRefreshJob::onDone);
}

TreeRefreshJob::~TreeRefreshJob() {
  abort();
  watcher_.disconnect(this);
  watcher_.waitForFinished();
}

bool TreeRefreshJob::start(const Options &options, const QString &fullName) {
  if (isRunning()) return false;
  abort_ = std::make_shared<std::atomic<bool>>(false);
  running_ = true;
  fullName_ = fullName;
  timer_.start();
  auto abortFlag = abort_;
  watcher_.setFuture(QtConcurrent::run([options, fullName, abortFlag]() -> QString {
    QString err;
    sqlite3 *db = OpenLocalDbForRefresh(options.localDbPath, &err);
    if (!db) return QStringLiteral("Could not open the local database: ") + err;
    QString result;
    {
      TreeStore store(db);
      TreeRefreshContext ctx;
      ctx.manager = options.manager;
      ctx.store = &store;
      ctx.settingsDir = options.settingsDir;
      ctx.showSystemObjects = options.showSystemObjects;
      ctx.abort = abortFlag.get();
      result = store.ensureTables();
      if (result.isEmpty()) result = RefreshTreeItem(ctx, fullName);
      ctx.catalog.reset();  // the worker's own server connection ends with the refresh
    }
    sqlite3_close(db);
    return NormalizeErrorText(result);
  }));
  return true;
}

bool TreeRefreshJob::isRunning() const { return running_; }

void TreeRefreshJob::abort() {
  if (abort_) abort_->store(true);
}

void TreeRefreshJob::waitForFinished() { watcher_.waitForFinished(); }

void TreeRefreshJob::onDone() {
  const QString err = watcher_.future().resultCount() > 0 ? watcher_.result() : QString();
  running_ = false;
  emit finished(fullName_, err, timer_.elapsed());
}

}  // namespace qrv
