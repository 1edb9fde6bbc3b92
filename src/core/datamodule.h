#pragma once
// The data module: owner, from start to end, of the local database, the INI files, the connection
// definitions and the driver table. Every window reaches them through DM().
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>

#include "dal/conn_manager.h"
#include "util/inifile.h"

struct sqlite3;

namespace qrv {

class TreeStore;

class TDM : public QObject {
  Q_OBJECT
 public:
  explicit TDM(QObject *parent = nullptr);
  ~TDM() override;

  // Runs the start-up steps. False when the program has to end (the reason was already shown to the
  // user through the platform's message box and is also returned in failure).
  bool DataModuleCreate(QString *failure = nullptr);
  void DataModuleDestroy();

  // Executes SQL (one or several statements) on the local database; returns the error text, empty on success.
  QString ExecIntQuery(const QString &sql);

  ::sqlite3 *fdcIntDB = nullptr;
  // The connection and driver definitions (Connections.ini, Drivers.ini).
  dal::ConnectionManager FDManager;
  // The tree table of the local database.
  std::unique_ptr<TreeStore> FTreeStore;
  std::unique_ptr<IniFile> FSettingsINI;
  std::unique_ptr<IniFile> FDriversINI;
  std::unique_ptr<IniFile> FConnDefsINI;
  QStringList slDrivers, slConns, slDB, slSchemas, slTables, slFields;
  QList<QPair<QString, QString>> FAllDrivers;

 private:
  bool openLocalDatabase(QString *failure);
  void loadConnectionDefinitions();
  void clearTextLists();
  void syncTree();
};

// The one data module of the windowed program (null before it is created and in the console run).
TDM *DM();

}  // namespace qrv
