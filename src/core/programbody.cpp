#include "core/programbody.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <cstdio>
#include <memory>

#include "core/apppaths.h"
#include "core/datamodule.h"
#include "core/splash.h"

namespace qrv {

QString &StartupFile() {
  static QString file;
  return file;
}

StartupArgs ParseStartupArgs(const QStringList &args) {
  StartupArgs a;
  if (args.size() < 2) return a;
  const QString &first = args.at(1);
  if (!first.isEmpty() && QFileInfo(first).isFile()) {
    a.startupFile = first;
  } else if (first.compare(QStringLiteral("-scriptfile"), Qt::CaseInsensitive) == 0) {
    a.scriptMode = true;
    a.consoleRun = first.trimmed() == QStringLiteral("-scriptfile");
  }
  return a;
}

static int runConsole(const QStringList &args) {
  Q_UNUSED(args);
  std::fprintf(stderr, "Console script runs are not available in this build.\n");
  return 2;
}

int RunProgram(int argc, char **argv) {
  QStringList rawArgs;
  for (int i = 0; i < argc; ++i) rawArgs.append(QString::fromLocal8Bit(argv[i]));
  const StartupArgs sa = ParseStartupArgs(rawArgs);
  if (sa.consoleRun) return runConsole(rawArgs);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromLatin1(kProductName));
  QApplication::setApplicationDisplayName(ApplicationTitle());
  StartupFile() = sa.startupFile;

  std::unique_ptr<TfrmLogo> splash;
  if (!sa.scriptMode) {
    splash = std::make_unique<TfrmLogo>();
    SetSplash(splash.get());
    splash->show();
    app.processEvents();
  }

  auto dm = std::make_unique<TDM>();
  QString failure;
  if (!dm->DataModuleCreate(&failure)) {
    SetSplash(nullptr);
    return 1;
  }

  QMainWindow window;
  window.setWindowTitle(ApplicationTitle());
  window.resize(1200, 800);
  window.show();
  SetSplash(nullptr);
  splash.reset();
  const int rc = app.exec();
  dm.reset();
  return rc;
}

}  // namespace qrv
