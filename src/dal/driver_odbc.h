#pragma once
#include "dal/connection.h"

namespace qrv::dal {
// A connection through unixODBC for the driver ID ODBC and the systems reached by their ODBC drivers
// (MSSQL, DB2, Infx, TData, ASA, ADS, MSAcc, Ora, Nexus).
ConnectionPtr CreateOdbcConnection(const QString &driverId);

// The ODBC driver name used for a driver ID when the definition gives no ODBCDriver (empty for ODBC
// itself, which needs a DataSource or an ODBCDriver).
QString DefaultOdbcDriver(const QString &driverId);

// The ODBC drivers registered with the driver manager.
QStringList InstalledOdbcDrivers();

// The connection string of a definition: DataSource or driver, the usual keys, then ODBCAdvanced.
// Values that would break the string are enclosed in braces. Empty with err set when no driver can be
// named.
QString BuildOdbcConnectionString(const QString &driverId, const ConnParams &params, DbError *err);

// The ODBC catalog functions, for metadata of ODBC connections.
enum class OdbcCatalogCall {
  Catalogs,          // every catalog (SQLTables with SQL_ALL_CATALOGS)
  Schemas,           // every schema (SQLTables with SQL_ALL_SCHEMAS)
  Tables,            // catalog, schema, object = table (empty: all), extra = table types ("TABLE,VIEW")
  Columns,           // catalog, schema, object = table
  Statistics,        // catalog, schema, object = table (all indexes)
  PrimaryKeys,       // catalog, schema, object = table
  ForeignKeys,       // catalog, schema, object = foreign-key table
  Procedures,        // catalog, schema, object = procedure (empty: all)
  ProcedureColumns   // catalog, schema, object = procedure
};

// True when c is a connection of this driver.
bool IsOdbcConnection(const Connection &c);
// Runs a catalog function on an open ODBC connection. An empty catalog or schema is passed as "any"
// (a null argument); schema and object names are taken literally (pattern characters are escaped); an
// empty object of Tables and Procedures lists all. nullptr with err set on failure or when c is not an ODBC connection.
std::unique_ptr<Cursor> OdbcCatalog(Connection &c, OdbcCatalogCall call, const QString &catalog,
                                    const QString &schema, const QString &object, DbError *err,
                                    const QString &extra = QString());
// The current catalog (database) of an open ODBC connection; empty when the driver has none.
QString OdbcCurrentCatalog(Connection &c);
// The DBMS name the driver reports (SQL_DBMS_NAME), e.g. "PostgreSQL", "MySQL", "SQLite".
QString OdbcDbmsName(Connection &c);
}  // namespace qrv::dal
