#include "tree/refreshcontext.h"

#include <sqlite3.h>

#include "dal/conn_manager.h"
#include "tree/treestore.h"

namespace qrv {

QString TreeRefreshContext::ReConnect(const QString &baseDriver, const QString &connName, const QString &dbName) {
  if (!manager) return dal::ReConnectErrorText(connName, QStringLiteral("No connection definitions are loaded"));
  catalogConnName = connName;
  catalogDbName = dbName;
  return manager->reConnect(catalog, baseDriver, connName, dbName);
}

QString TreeRefreshContext::ExecIntQuery(const QString &sql) {
  if (!store || !store->db()) return QStringLiteral("The local database is not open");
  char *err = nullptr;
  if (sqlite3_exec(store->db(), sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
    const QString msg = QString::fromUtf8(err ? err : sqlite3_errmsg(store->db()));
    sqlite3_free(err);
    return msg;
  }
  return QString();
}

}  // namespace qrv
