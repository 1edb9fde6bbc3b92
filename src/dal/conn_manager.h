#pragma once
// Named connection definitions (Connections.ini) and virtual drivers (Drivers.ini), and the opening of
// connections by definition name.
#include <QString>
#include <QStringList>
#include <shared_mutex>

#include "dal/connection.h"
#include "util/inifile.h"

namespace qrv::dal {

// The database rule: a database name given by the caller replaces the definition's own `Database` only
// when it is not empty, is not exactly "NO_DB_NAME" and the base driver is not SQLite (ignoring case).
bool DatabaseOverrideApplies(const QString &baseDriverId, const QString &dbName);

// "Could not establish connection \"<name>\":" + CR LF + the normalised message (ReConnect's text).
QString ReConnectErrorText(const QString &defName, const QString &message);
// "Could not establish connection \"<name>\":" + CR LF + the message as given + AddErrorCode(1002)
// (CreateConnection's text).
QString CreateConnectionErrorText(const QString &defName, const QString &message);

class ConnectionManager {
 public:
  // Reading is safe from several threads; loading and reloading take a writer's lock.
  // A missing file loads as empty; the result says whether the file exists.
  bool loadDriverDefs(const QString &path);
  bool loadConnectionDefs(const QString &path);
  // Reads both files again (after the connection editor saved them).
  void reload();

  QString driverDefsPath() const;
  QString connectionDefsPath() const;
  // The folder of Connections.ini: relative SQLite database paths are taken from there.
  QString definitionsDir() const;

  // Definition names in file order, as written in the file.
  QStringList definitionNames() const;
  bool hasDefinition(const QString &name) const;
  // The keys of a definition. With a virtual driver, the keys of its Drivers.ini section other than
  // BaseDriverID are merged under the definition's own (the definition wins). Empty for an unknown name.
  ConnParams definitionParams(const QString &name) const;
  // The definition's DriverID, or the BaseDriverID of the virtual driver it names. Empty when the
  // definition does not exist or has no DriverID.
  QString baseDriverId(const QString &name) const;
  // The BaseDriverID of a virtual driver of Drivers.ini; empty when there is no such section.
  QString virtualBaseDriver(const QString &driverId) const;

  // The parameters that open the definition: the database rule applied and a relative SQLite database
  // made absolute. DriverID is set to the base driver.
  ConnParams connectParams(const QString &name, const QString &dbOverride) const;

  // The parameters a connection opened by reConnect / createConnection gets: connectParams with the
  // database rule applied for the base driver the caller names (the definition's when empty).
  ConnParams openParams(const QString &baseDriver, const QString &name, const QString &dbName) const;

  // A new open connection on a definition; nullptr with err set when the definition does not exist,
  // its driver is not available or opening fails.
  ConnectionPtr openConnection(const QString &name, const QString &dbOverride, DbError *err) const;

  // ReConnect: closes conn and opens it again on the definition (a new object when the driver differs).
  // Empty text on success, else ReConnectErrorText. baseDriver may be empty (taken from the definition).
  QString reConnect(ConnectionPtr &conn, const QString &baseDriver, const QString &name,
                    const QString &dbName) const;
  // CreateConnection: a new open connection; nullptr and *errorText = CreateConnectionErrorText on
  // failure.
  ConnectionPtr createConnection(const QString &baseDriver, const QString &name, const QString &dbName,
                                 QString *errorText) const;

 private:
  ConnParams paramsLocked(const QString &name) const;
  QString baseDriverLocked(const QString &name) const;
  ConnectionPtr open(const QString &baseDriver, const QString &name, const QString &dbName, DbError *err) const;

  mutable std::shared_mutex mx_;
  IniFile drivers_;
  IniFile connections_;
};

}  // namespace qrv::dal
