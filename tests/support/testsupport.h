#pragma once
#include <QString>
#include <QTemporaryDir>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace qrvtest {

// A test database server setting, e.g. ServerEnv("QRV_PG_PORT"): the environment first, then the
// servers.env file that the test-servers script writes. Empty when neither has it.
QString ServerEnv(const char *key);

// Folders given to the tests by the build.
QString BinDir();     // the program folder
QString SourceDir();
QString BuildDir();

// A temporary settings root: sets XDG_CONFIG_HOME for its lifetime (restored afterwards).
class TempConfigHome {
 public:
  TempConfigHome();
  ~TempConfigHome();
  QString root() const { return dir_.path(); }
  // root + "/Quorvane 64bit/"
  QString settingsDir() const;

 private:
  QTemporaryDir dir_;
  QByteArray old_;
  bool hadOld_ = false;
};

}  // namespace qrvtest
