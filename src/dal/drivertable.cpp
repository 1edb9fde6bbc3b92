#include "dal/drivertable.h"

namespace qrv {

const QList<QPair<QString, QString>> &AllDrivers() {
  static const QList<QPair<QString, QString>> drivers = {
      {QStringLiteral("Ora"), QStringLiteral("Oracle")},
      {QStringLiteral("MySQL"), QStringLiteral("MySQL")},
      {QStringLiteral("MSSQL"), QStringLiteral("MS SQL Server")},
      {QStringLiteral("PG"), QStringLiteral("PostgreSQL")},
      {QStringLiteral("Mongo"), QStringLiteral("MongoDB")},
      {QStringLiteral("SQLite"), QStringLiteral("SQLite")},
      {QStringLiteral("DB2"), QStringLiteral("IBM DB2")},
      {QStringLiteral("Infx"), QStringLiteral("IBM Informix")},
      {QStringLiteral("MSAcc"), QStringLiteral("MS Access")},
      {QStringLiteral("TData"), QStringLiteral("Teradata")},
      {QStringLiteral("ADS"), QStringLiteral("SAP Advantage DB Server")},
      {QStringLiteral("ASA"), QStringLiteral("SAP SQL Anywhere")},
      {QStringLiteral("FB"), QStringLiteral("Firebird")},
      {QStringLiteral("IB"), QStringLiteral("InterBase")},
      {QStringLiteral("IBLite"), QStringLiteral("IBLite")},
      {QStringLiteral("Nexus"), QStringLiteral("NexusDB")},
      {QStringLiteral("DS"), QStringLiteral("DataSnap")},
      {QStringLiteral("TDBX"), QStringLiteral("TDBX")},
      {QStringLiteral("ODBC"), QStringLiteral("ODBC")},
  };
  return drivers;
}

QString RDBMSNameToDriverID(const QString &name) {
  for (const auto &d : AllDrivers())
    if (d.second.compare(name, Qt::CaseInsensitive) == 0) return d.first;
  qsizetype b = 0, e = name.size();
  while (b < e && name.at(b) == u'[') ++b;
  while (e > b && name.at(e - 1) == u']') --e;
  return name.mid(b, e - b);
}

QString DriverIDToRDBMSName(const QString &driverId) {
  for (const auto &d : AllDrivers())
    if (d.first.compare(driverId, Qt::CaseInsensitive) == 0) return d.second;
  return QString();
}

QString NormalizeErrorText(const QString &text) {
  QString s = text;
  s.remove(QStringLiteral("[FireDAC]"), Qt::CaseInsensitive);
  s.remove(QStringLiteral("[Phys]"), Qt::CaseInsensitive);
  return s;
}

QString AddErrorCode(int code) { return QStringLiteral("\r\n[Error Code: %1]").arg(code); }

QString BuildFirstRowsSelect(const QString &driverId, const QString &table, int count) {
  auto is = [&](const char *id) { return driverId.compare(QLatin1String(id), Qt::CaseInsensitive) == 0; };
  // One arg() call each, so a "%1" inside the table name stays as written.
  const QString n = QString::number(count);
  if (is("MSSQL") || is("MSAcc")) return QStringLiteral("SELECT TOP %1 * FROM %2").arg(n, table);
  if (is("FB")) return QStringLiteral("SELECT FIRST %1 * FROM %2").arg(n, table);
  if (is("Ora")) return QStringLiteral("SELECT * FROM %1 WHERE ROWNUM <= %2;").arg(table, n);
  return QStringLiteral("SELECT * FROM %1 LIMIT %2").arg(table, n);
}

}  // namespace qrv
