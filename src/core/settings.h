#pragma once
// The user's settings (Settings.ini): one model that the windows bind to, loaded and saved through the
// data module's INI object.
#include <QByteArray>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>

#include "util/inifile.h"

namespace qrv {

constexpr const char *kOptionsSection = "Options";
constexpr const char *kRecentFilesSection = "RecentFiles";
constexpr const char *kOpenedFilesSection = "OpenedFiles";
constexpr const char *kHiddenToolTipsSection = "HiddenToolTips";

struct AppSettings {
  QByteArray boundsRect;          // BoundsRect: 16 bytes (four little-endian int32 L, T, R, B) or empty
  bool isMaximized = true;        // IsMaximized
  QString defaultDB;              // DefaultDB
  int treeWidth = 300;            // TreeWidth
  int tcrsHeight = 0;             // TCRSHeight (default: screen height / 4)
  bool fsSkipAddInfo = true;      // FSSkipAddInfo
  bool darkTheme = true;          // DarkTheme
  bool gridCopyWithHeaders = true;
  bool gridCopyWithRowNum = false;
  int completionListHeight = 200;
  int completionListWidth = 360;
  QString sqlFontFamily;          // SQLFontFamily (default DefaultSqlFontFamily())
  int sqlFontSize = 14;
  int connTO = 20;                // seconds, 1..1200
  int queryExecTO = 3600;         // seconds, 1..4294967
  bool restoreConnsOnStart = true;
  bool showSystemObjects = false;
  int lastUpdateCheck = -1;       // days since 30 December 1899
  QStringList recentFiles;        // RecentFiles, in order
  QSet<int> hiddenToolTips;       // HiddenToolTips: indexes of hidden status-bar tips
};

QString DefaultSqlFontFamily();
// Height of the primary screen, or 1024 when there is none.
int PrimaryScreenHeight();

// Bounds as the 16-byte BoundsRect record and back (an empty or short record gives a null rect).
QByteArray EncodeBoundsRect(const QRect &r);
QRect DecodeBoundsRect(const QByteArray &b);

struct SettingsLoadOptions {
  int toolTipCount = 2;                 // valid HiddenToolTips indexes are 0 .. toolTipCount - 1
  int screenHeight = -1;                // for the TCRSHeight default; -1: the primary screen's
  bool dropMissingRecentFiles = true;   // recent files that no longer exist are left out
};

// Reads every key; a missing key or a value that does not parse gives its default.
AppSettings LoadSettings(const IniFile &ini, const SettingsLoadOptions &opt = {});

struct SettingsSaveOptions {
  bool writeTcrsHeight = false;  // only when a query tab is current and its result panel is taller than 10
};

// Writes the keys in the saving order, replaces RecentFiles and HiddenToolTips, and flushes the file;
// the flush runs even when writing a key fails. Returns false when the file could not be written.
bool SaveSettings(IniFile &ini, const AppSettings &s, const SettingsSaveOptions &opt = {}, QString *error = nullptr);

}  // namespace qrv
