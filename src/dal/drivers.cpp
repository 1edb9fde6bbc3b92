#include "dal/drivers.h"

#include "dal/driver_firebird.h"
#include "dal/driver_mysql.h"
#include "dal/driver_odbc.h"
#include "dal/driver_pg.h"
#include "dal/driver_sqlite.h"
#include "dal/drivertable.h"

namespace qrv::dal {

namespace {

enum class Family { None, Sqlite, Pg, MySql, Firebird, Odbc };

Family FamilyOf(const QString &id) {
  static const struct {
    const char *id;
    Family family;
  } kMap[] = {
      {"SQLite", Family::Sqlite}, {"PG", Family::Pg},         {"MySQL", Family::MySql},
      {"FB", Family::Firebird},   {"IB", Family::Firebird},   {"IBLite", Family::Firebird},
      {"ODBC", Family::Odbc},     {"MSSQL", Family::Odbc},    {"DB2", Family::Odbc},
      {"Infx", Family::Odbc},     {"TData", Family::Odbc},    {"ASA", Family::Odbc},
      {"ADS", Family::Odbc},      {"MSAcc", Family::Odbc},    {"Ora", Family::Odbc},
      {"Nexus", Family::Odbc},
  };
  for (const auto &m : kMap)
    if (id.compare(QLatin1String(m.id), Qt::CaseInsensitive) == 0) return m.family;
  return Family::None;
}

// The ID as the driver table writes it, when it is one of the table.
QString CanonicalId(const QString &id) {
  for (const auto &d : AllDrivers())
    if (d.first.compare(id, Qt::CaseInsensitive) == 0) return d.first;
  return id;
}

ConnectionPtr Create(Family f, const QString &id) {
  switch (f) {
    case Family::Sqlite: return CreateSqliteConnection();
    case Family::Pg: return CreatePgConnection();
    case Family::MySql: return CreateMySqlConnection();
    case Family::Firebird: return CreateFirebirdConnection(id);
    case Family::Odbc: return CreateOdbcConnection(id);
    case Family::None: break;
  }
  return nullptr;
}

}  // namespace

ConnectionPtr CreateDriverConnection(const QString &baseDriverId, DbError *err) {
  const QString id = CanonicalId(baseDriverId.trimmed());
  ConnectionPtr c = Create(FamilyOf(id), id);
  if (!c && err) {
    const QString shown = id.isEmpty() ? QStringLiteral("(none)") : id;
    const QString rdbms = DriverIDToRDBMSName(id);
    if (rdbms.isEmpty())
      err->message = QStringLiteral("Driver \"%1\" is unknown and is not supported in this build").arg(shown);
    else
      err->message = QStringLiteral("Driver \"%1\" (%2) is not supported in this build").arg(shown, rdbms);
    err->code = 0;
    err->nativeCode = 0;
    err->sqlState.clear();
    err->kind = DbErrorKind::NotSupported;
  }
  return c;
}

bool IsDriverAvailable(const QString &baseDriverId) {
  DbError e;
  return bool(CreateDriverConnection(baseDriverId, &e));
}

}  // namespace qrv::dal
