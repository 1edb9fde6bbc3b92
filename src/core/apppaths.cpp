#include "core/apppaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QApplication>
#include <QMessageBox>

namespace qrv {

namespace {
QString g_settingsDir;
QString g_errorLogPath;
QString g_programFolder;
PlatformErrorHook g_errorHook;
}  // namespace

QString BitnessSuffix(const QString &exeFileName) {
  QString name = exeFileName;
  if (name.isEmpty() && QCoreApplication::instance())
    name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  return name.contains(QStringLiteral("32")) ? QStringLiteral(" 32bit") : QStringLiteral(" 64bit");
}

QString ApplicationTitle() { return QString::fromLatin1(kProductName) + QStringLiteral(" 64bit"); }

QString VersionText() { return QStringLiteral("1.0.0.%1").arg(kBuildNumber); }

QString ProductWebAddress() { return QStringLiteral("https://www.quorvane.com"); }

QString GetSettingsDir(const QString &folderName) {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
  if (!base.endsWith(u'/')) base += u'/';
  const QString dir = base + folderName + u'/';
  if (!QDir().mkpath(dir)) throw SettingsDirError(QStringLiteral("Could not create settings directory \"%1\"").arg(dir));
  return dir;
}

void InitAppPaths() {
  g_settingsDir = GetSettingsDir(QString::fromLatin1(kProductName) + QStringLiteral(" 64bit"));
  g_errorLogPath = g_settingsDir + QStringLiteral("qrv_error.log");
  if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    QGuiApplication::setApplicationDisplayName(ApplicationTitle());
  QCoreApplication::setApplicationName(QString::fromLatin1(kProductName));
}

const QString &SettingsDir() { return g_settingsDir; }
const QString &ErrorLogPath() { return g_errorLogPath; }

QString ProgramFolder() {
  if (!g_programFolder.isEmpty()) return g_programFolder;
  return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() + u'/' : QString();
}

void SetProgramFolderForTesting(const QString &folder) {
  g_programFolder = folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
}

void SetPlatformErrorHook(PlatformErrorHook hook) { g_errorHook = std::move(hook); }

void ShowPlatformError(const QString &text) {
  if (g_errorHook) {
    g_errorHook(text);
    return;
  }
  if (qobject_cast<QApplication *>(QCoreApplication::instance()) &&
      QGuiApplication::platformName() != QLatin1String("offscreen")) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok);
    box.exec();
  } else {
    fprintf(stderr, "%s\n", qPrintable(text));
  }
}

bool EnsureUserFile(const QString &targetPath, const QString &sourcePath, const QString &message, bool createEmpty) {
  if (QFileInfo::exists(targetPath)) return true;
  if (QFileInfo::exists(sourcePath)) {
    // A rename fails across file systems and in a folder without write access: copy then, and remove
    // the source only where that is allowed.
    if (QFile::rename(sourcePath, targetPath)) return true;
    if (QFile::copy(sourcePath, targetPath)) {
      QFile::setPermissions(targetPath, QFile::permissions(targetPath) | QFileDevice::WriteOwner | QFileDevice::ReadOwner);
      QFile::remove(sourcePath);
      return true;
    }
  }
  if (!message.isEmpty()) ShowPlatformError(message);
  if (createEmpty) {
    QFile f(targetPath);
    if (f.open(QIODevice::WriteOnly)) f.close();
  }
  return false;
}

void AddToErrorLogDebug(const QString &text) { Q_UNUSED(text); }

}  // namespace qrv
