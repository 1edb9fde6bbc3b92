#pragma once
// Where the program keeps its files, and how it prepares them on first start.
#include <QString>
#include <functional>
#include <stdexcept>

namespace qrv {

constexpr const char *kProductName = "Quorvane";
constexpr int kBuildNumber = 5;

// " 64bit" (or " 32bit" for a program file whose name contains "32").
QString BitnessSuffix(const QString &exeFileName = QString());
// The product name followed by the bitness suffix.
QString ApplicationTitle();
// "1.0.0.5": the release version text.
QString VersionText();
// Web address shown on the splash and the About box.
QString ProductWebAddress();

class SettingsDirError : public std::runtime_error {
 public:
  explicit SettingsDirError(const QString &msg) : std::runtime_error(msg.toStdString()), message(msg) {}
  QString message;
};

// $XDG_CONFIG_HOME (else ~/.config) + "/" + folderName + "/", created with all missing parents.
// Throws SettingsDirError "Could not create settings directory \"%s\"" when that fails.
QString GetSettingsDir(const QString &folderName);

// Sets the settings directory, the error-log path and the application title. Call once, first.
void InitAppPaths();
const QString &SettingsDir();
const QString &ErrorLogPath();

// The folder of the executable (the delivered files' first home); tests may point it elsewhere.
QString ProgramFolder();
void SetProgramFolderForTesting(const QString &folder);

// Shows an error in the platform's standard message box (or hands it to a test's hook).
void ShowPlatformError(const QString &text);
using PlatformErrorHook = std::function<void(const QString &)>;
void SetPlatformErrorHook(PlatformErrorHook hook);

// Makes sure the settings directory holds a user file: true when it is there or was moved there from the
// program folder; otherwise shows the message (when not empty), creates an empty file when asked and
// returns false. A program folder that does not allow removing the file gets a copy instead.
bool EnsureUserFile(const QString &targetPath, const QString &sourcePath, const QString &message, bool createEmpty);

// Accepts a text for the debug error log; this release writes nothing.
void AddToErrorLogDebug(const QString &text);

}  // namespace qrv
