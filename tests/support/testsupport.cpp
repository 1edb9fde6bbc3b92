#include "testsupport.h"

#include <QFile>
#include <QHash>
#include <QTextStream>
#include <cstdlib>

namespace qrvtest {

QString ServerEnv(const char *key) {
  const QByteArray v = qgetenv(key);
  if (!v.isEmpty()) return QString::fromUtf8(v);
  static const QHash<QString, QString> file = [] {
    QHash<QString, QString> h;
    QByteArray dir = qgetenv("QRV_TEST_RUNDIR");
    if (dir.isEmpty()) dir = "/tmp/qrv-test-servers";
    QFile f(QString::fromUtf8(dir) + QStringLiteral("/servers.env"));
    if (f.open(QIODevice::ReadOnly)) {
      QTextStream in(&f);
      while (!in.atEnd()) {
        const QString line = in.readLine();
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0) h.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
      }
    }
    return h;
  }();
  return file.value(QString::fromLatin1(key));
}

static QString envOr(const char *key, const char *def) {
  const QByteArray v = qgetenv(key);
  return v.isEmpty() ? QString::fromLatin1(def) : QString::fromUtf8(v);
}

QString BinDir() { return envOr("QRV_BIN_DIR", "bin"); }
QString SourceDir() { return envOr("QRV_SOURCE_DIR", "."); }
QString BuildDir() { return envOr("QRV_BUILD_DIR", "."); }

TempConfigHome::TempConfigHome() {
  hadOld_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
  old_ = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
}

TempConfigHome::~TempConfigHome() {
  if (hadOld_)
    qputenv("XDG_CONFIG_HOME", old_);
  else
    qunsetenv("XDG_CONFIG_HOME");
}

QString TempConfigHome::settingsDir() const { return dir_.path() + QStringLiteral("/Quorvane 64bit/"); }

}  // namespace qrvtest
