#include "core/programbody.h"

#include <QApplication>
#include <QFileInfo>
#include <memory>

#include "core/application.h"
#include "core/apppaths.h"
#include "core/consolerunner.h"
#include "core/datamodule.h"
#include "core/mainwindow.h"
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

int RunProgram(int argc, char **argv) {
  QStringList rawArgs;
  for (int i = 0; i < argc; ++i) rawArgs.append(QString::fromLocal8Bit(argv[i]));
  const StartupArgs sa = ParseStartupArgs(rawArgs);
  if (sa.consoleRun) return RunConsoleScript(rawArgs);

  QrvApplication app(argc, argv);
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

  int rc = 0;
  {
    TfrmQRV window(dm->FSettingsINI.get());
    window.show();
    // The main window frees the splash at the end of its creation.
    SetSplash(nullptr);
    splash.reset();
    rc = app.exec();
  }
  dm.reset();
  return rc;
}

}  // namespace qrv
