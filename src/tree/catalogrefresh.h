#pragma once
// Refresh of one database of MS SQL Server, PostgreSQL, MySQL or Oracle by one catalog query: the rows
// are staged in tree_tmp, given their category rows and levels with SQL, and swapped into Tree.
#include <QString>
#include <QStringList>

#include "tree/refreshcontext.h"

namespace qrv {

// Whether the driver reads its databases with a catalog query (MSSQL, PG, MySQL, Ora; ignoring case).
bool IsCatalogDriver(const QString &driverId);

// The built-in catalog query of a catalog driver; empty for any other driver.
QString BuiltInCatalogQuery(const QString &driverId);

// The query text of a driver: the replacement file "db" + lower-case driver ID + ".sql" of the settings
// directory when it exists, else the built-in text. exists is set when the replacement file was used.
QString CatalogQueryText(const QString &driverId, const QString &settingsDir, bool *fromFile = nullptr);

// Fills the "%s" placeholders of a text in order with the given values (a text of other "%" signs is
// left alone).
QString FillPlaceholders(const QString &text, const QStringList &values);

// The multi-row INSERT statements that stage rows of (Name, FullName, Type, Info) in tree_tmp, at most
// 500 rows a statement.
struct StagedRow {
  QString name;
  QString fullName;
  int type = 0;
  QString info;
};
QStringList BuildStagingInserts(const QList<StagedRow> &rows);

// The SQL that derives parent paths, category rows and levels in tree_tmp and drops the rows without a
// path.
QString TreeTmpDerivationSql();

// The generic refresh of one database (FillTree_DB), used when the catalog query text is empty; tests
// may replace it.
using GenericDbRefreshFn = QString (*)(TreeRefreshContext &ctx, const QString &parents, const QString &database,
                                       bool deleteOld, bool visible, bool expanded);
extern GenericDbRefreshFn GenericDbRefresh;

// Refreshes one database (parents: the connection's path followed by " > "). Returns the error text,
// empty on success or when nothing had to change. A failure leaves the old subtree in place.
QString FillTree_DB_Native(TreeRefreshContext &ctx, const QString &parents, const QString &database, bool deleteOld,
                           bool visible, bool expanded);

}  // namespace qrv
