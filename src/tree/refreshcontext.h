#pragma once
// What a tree refresh works with: the connection definitions, the one catalog connection (one server
// connection at a time), the tree store on the refresh's own connection to the local database, and
// the options that shape the refresh. A refresh runs on a worker thread and owns its context.
#include <QString>
#include <atomic>

#include "dal/connection.h"

namespace qrv {

namespace dal {
class ConnectionManager;
}
class TreeStore;

struct TreeRefreshContext {
  const dal::ConnectionManager *manager = nullptr;
  TreeStore *store = nullptr;
  dal::ConnectionPtr catalog;       // the catalog connection, reopened by ReConnect
  QString catalogConnName;          // definition the catalog connection is open on
  QString catalogDbName;            // database override it was opened with
  QString catalogDriver;            // base driver and parameters it was opened with
  dal::ConnParams catalogParams;
  QString settingsDir;              // replacement catalog query files ("db" + driver ID + ".sql")
  bool showSystemObjects = false;   // ShowSystemObjects
  const std::atomic<bool> *abort = nullptr;  // set by the window to stop between steps (optional)

  // Closes the catalog connection and opens it on a definition with the database rule. Returns the
  // error text ("Could not establish connection ..."), empty on success. A connection this refresh
  // opened with the very same parameters is kept: a level below asking for the database its parent
  // already opened (an SQLite file named by its path) would otherwise read the whole schema again.
  QString ReConnect(const QString &baseDriver, const QString &connName, const QString &dbName);
  // Executes SQL (one or several statements) on the local database; returns the error text.
  QString ExecIntQuery(const QString &sql);
  bool aborted() const { return abort && abort->load(); }
};

}  // namespace qrv
