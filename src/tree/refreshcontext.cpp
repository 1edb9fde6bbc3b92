#include "tree/refreshcontext.h"

#include "dal/conn_manager.h"
#include "dal/localsql.h"
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
  return dal::ExecSql(store->db(), sql);
}

}  // namespace qrv
