#include "dal/conn_manager.h"

#include <QDir>
#include <QFileInfo>
#include <mutex>

#include "dal/dalutil.h"
#include "dal/drivers.h"
#include "dal/drivertable.h"

namespace qrv::dal {

namespace {
const QString kBaseDriverId = QStringLiteral("BaseDriverID");
const QString kDriverId = QStringLiteral("DriverID");
const QString kDatabase = QStringLiteral("Database");
const QString kNoDbName = QStringLiteral("NO_DB_NAME");

QString ConnectFailedHead(const QString &defName) {
  return QStringLiteral("%1 \"%2\":%3").arg(QStringLiteral("Could not establish connection"), defName,
                                             QStringLiteral("\r\n"));
}
}  // namespace

bool DatabaseOverrideApplies(const QString &baseDriverId, const QString &dbName) {
  return !dbName.isEmpty() && dbName != kNoDbName &&
         baseDriverId.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0;
}

QString ReConnectErrorText(const QString &defName, const QString &message) {
  return ConnectFailedHead(defName) + NormalizeErrorText(message);
}

QString CreateConnectionErrorText(const QString &defName, const QString &message) {
  return ConnectFailedHead(defName) + message + AddErrorCode(ErrCodeConnectionFailed);
}

bool ConnectionManager::loadDriverDefs(const QString &path) {
  std::unique_lock lk(mx_);
  drivers_ = IniFile(path);
  return QFileInfo::exists(path);
}

bool ConnectionManager::loadConnectionDefs(const QString &path) {
  std::unique_lock lk(mx_);
  connections_ = IniFile(path);
  return QFileInfo::exists(path);
}

void ConnectionManager::reload() {
  std::unique_lock lk(mx_);
  if (!drivers_.fileName().isEmpty()) drivers_.reload();
  if (!connections_.fileName().isEmpty()) connections_.reload();
}

QString ConnectionManager::driverDefsPath() const {
  std::shared_lock lk(mx_);
  return drivers_.fileName();
}

QString ConnectionManager::connectionDefsPath() const {
  std::shared_lock lk(mx_);
  return connections_.fileName();
}

QString ConnectionManager::definitionsDir() const {
  std::shared_lock lk(mx_);
  return connections_.fileName().isEmpty() ? QString() : QFileInfo(connections_.fileName()).absolutePath();
}

QStringList ConnectionManager::definitionNames() const {
  std::shared_lock lk(mx_);
  return connections_.sections();
}

bool ConnectionManager::hasDefinition(const QString &name) const {
  std::shared_lock lk(mx_);
  return !name.isEmpty() && connections_.sectionExists(name);
}

ConnParams ConnectionManager::paramsLocked(const QString &name) const {
  ConnParams p;
  if (name.isEmpty() || !connections_.sectionExists(name)) return p;
  const QString driver = connections_.readString(name, kDriverId).trimmed();
  if (!driver.isEmpty() && drivers_.sectionExists(driver)) {
    for (const QString &k : drivers_.sectionKeys(driver))
      if (k.compare(kBaseDriverId, Qt::CaseInsensitive) != 0) p.set(k, drivers_.readString(driver, k));
  }
  for (const QString &k : connections_.sectionKeys(name)) p.set(k, connections_.readString(name, k));
  return p;
}

QString ConnectionManager::baseDriverLocked(const QString &name) const {
  if (name.isEmpty() || !connections_.sectionExists(name)) return QString();
  const QString driver = connections_.readString(name, kDriverId).trimmed();
  if (!driver.isEmpty() && drivers_.sectionExists(driver))
    return drivers_.readString(driver, kBaseDriverId).trimmed();
  return driver;
}

ConnParams ConnectionManager::definitionParams(const QString &name) const {
  std::shared_lock lk(mx_);
  return paramsLocked(name);
}

QString ConnectionManager::baseDriverId(const QString &name) const {
  std::shared_lock lk(mx_);
  return baseDriverLocked(name);
}

QString ConnectionManager::virtualBaseDriver(const QString &driverId) const {
  std::shared_lock lk(mx_);
  if (driverId.isEmpty() || !drivers_.sectionExists(driverId)) return QString();
  return drivers_.readString(driverId, kBaseDriverId).trimmed();
}

ConnParams ConnectionManager::connectParams(const QString &name, const QString &dbOverride) const {
  std::shared_lock lk(mx_);
  ConnParams p = paramsLocked(name);
  const QString base = baseDriverLocked(name);
  if (DatabaseOverrideApplies(base, dbOverride)) p.set(kDatabase, dbOverride);
  if (base.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0) {
    const QString db = p.value(kDatabase).trimmed();
    const bool special = db.isEmpty() || db == QLatin1String(":memory:") ||
                         db.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
    if (!special && QDir::isRelativePath(db) && !connections_.fileName().isEmpty())
      p.set(kDatabase, QDir::cleanPath(QFileInfo(connections_.fileName()).absoluteDir().absoluteFilePath(db)));
  }
  if (!base.isEmpty()) p.set(kDriverId, base);
  return p;
}

ConnectionPtr ConnectionManager::open(const QString &baseDriver, const QString &name, const QString &dbName,
                                      DbError *err) const {
  if (!hasDefinition(name)) {
    SetError(err, QStringLiteral("Connection definition \"%1\" not found").arg(name), ErrObjectNotFound,
             QString(), DbErrorKind::ObjectNotFound);
    return nullptr;
  }
  const QString base = baseDriver.isEmpty() ? baseDriverId(name) : baseDriver;
  ConnectionPtr c = CreateDriverConnection(base, err);
  if (!c) return nullptr;
  if (!c->open(openParams(base, name, dbName), err)) return nullptr;
  return c;
}

ConnParams ConnectionManager::openParams(const QString &baseDriver, const QString &name, const QString &dbName) const {
  const QString base = baseDriver.isEmpty() ? baseDriverId(name) : baseDriver;
  ConnParams p = connectParams(name, QString());
  // The rule is applied with the base driver the caller names, so that it decides as the caller expects.
  if (DatabaseOverrideApplies(base, dbName)) p.set(kDatabase, dbName);
  return p;
}

ConnectionPtr ConnectionManager::openConnection(const QString &name, const QString &dbOverride,
                                                DbError *err) const {
  return open(QString(), name, dbOverride, err);
}

QString ConnectionManager::reConnect(ConnectionPtr &conn, const QString &baseDriver, const QString &name,
                                     const QString &dbName) const {
  if (conn) conn->close();
  DbError e;
  ConnectionPtr c = open(baseDriver, name, dbName, &e);
  if (!c) return ReConnectErrorText(name, e.message);
  conn = std::move(c);
  return QString();
}

ConnectionPtr ConnectionManager::createConnection(const QString &baseDriver, const QString &name,
                                                  const QString &dbName, QString *errorText) const {
  DbError e;
  ConnectionPtr c = open(baseDriver, name, dbName, &e);
  if (errorText) *errorText = c ? QString() : CreateConnectionErrorText(name, e.message);
  return c;
}

}  // namespace qrv::dal
