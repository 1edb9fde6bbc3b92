#include "tree/refreshcontext.h"

#include "dal/conn_manager.h"
#include "dal/localsql.h"
#include "tree/treestore.h"

namespace qrv {

QString TreeRefreshContext::ReConnect(const QString &baseDriver, const QString &connName, const QString &dbName) {
  if (!manager) return dal::ReConnectErrorText(connName, QStringLiteral("No connection definitions are loaded"));
  const dal::ConnParams params = manager->openParams(baseDriver, connName, dbName);
  const bool same = catalog && catalog->isOpen() && catalogConnName == connName &&
                    catalogDriver.compare(baseDriver, Qt::CaseInsensitive) == 0 &&
                    catalogParams.items() == params.items();
  catalogConnName = connName;
  catalogDbName = dbName;
  catalogDriver = baseDriver;
  if (same) return QString();
  const QString err = manager->reConnect(catalog, baseDriver, connName, dbName);
  catalogParams = err.isEmpty() ? params : dal::ConnParams();
  return err;
}

QString TreeRefreshContext::ExecIntQuery(const QString &sql) {
  if (!store || !store->db()) return QStringLiteral("The local database is not open");
  return dal::ExecSql(store->db(), sql);
}

}  // namespace qrv
