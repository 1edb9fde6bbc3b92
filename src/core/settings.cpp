#include "core/settings.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QtEndian>

namespace qrv {

static const QString kOpt = QString::fromLatin1(kOptionsSection);

QString DefaultSqlFontFamily() { return QStringLiteral("DejaVu Sans Mono"); }

int PrimaryScreenHeight() {
  if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    if (QScreen *s = QGuiApplication::primaryScreen()) return s->geometry().height();
  return 1024;
}

QByteArray EncodeBoundsRect(const QRect &r) {
  QByteArray b(16, '\0');
  const qint32 v[4] = {qint32(r.left()), qint32(r.top()), qint32(r.x() + r.width()), qint32(r.y() + r.height())};
  for (int i = 0; i < 4; ++i) qToLittleEndian<qint32>(v[i], b.data() + 4 * i);
  return b;
}

QRect DecodeBoundsRect(const QByteArray &b) {
  if (b.size() < 16) return QRect();
  qint32 v[4];
  for (int i = 0; i < 4; ++i) v[i] = qFromLittleEndian<qint32>(b.constData() + 4 * i);
  return QRect(v[0], v[1], v[2] - v[0], v[3] - v[1]);
}

AppSettings LoadSettings(const IniFile &ini, const SettingsLoadOptions &opt) {
  AppSettings s;
  auto str = [&](const char *k, const QString &d) { return ini.readString(kOpt, QString::fromLatin1(k), d); };
  auto num = [&](const char *k, int d) { return ini.readInteger(kOpt, QString::fromLatin1(k), d); };
  auto flag = [&](const char *k, bool d) { return ini.readBool(kOpt, QString::fromLatin1(k), d); };

  s.boundsRect = ini.readBinary(kOpt, QStringLiteral("BoundsRect"));
  if (s.boundsRect.size() != 16) s.boundsRect.clear();
  s.isMaximized = flag("IsMaximized", true);
  s.defaultDB = str("DefaultDB", QString());
  s.treeWidth = num("TreeWidth", 300);
  const int screenH = opt.screenHeight >= 0 ? opt.screenHeight : PrimaryScreenHeight();
  s.tcrsHeight = num("TCRSHeight", screenH / 4);
  s.fsSkipAddInfo = flag("FSSkipAddInfo", true);
  s.darkTheme = flag("DarkTheme", true);
  s.gridCopyWithHeaders = flag("GridCopyWithHeaders", true);
  s.gridCopyWithRowNum = flag("GridCopyWithRowNum", false);
  s.completionListHeight = num("CompletionListHeight", 200);
  s.completionListWidth = num("CompletionListWidth", 360);
  s.sqlFontFamily = str("SQLFontFamily", DefaultSqlFontFamily());
  s.sqlFontSize = num("SQLFontSize", 14);
  s.connTO = num("ConnTO", 20);
  s.queryExecTO = num("QueryExecTO", 3600);
  s.restoreConnsOnStart = flag("RestoreConnsOnStart", true);
  s.showSystemObjects = flag("ShowSystemObjects", false);
  s.lastUpdateCheck = num("LastUpdateCheck", -1);

  for (const QString &line : ini.sectionValues(QString::fromLatin1(kRecentFilesSection))) {
    const qsizetype eq = line.indexOf(u'=');
    const QString path = eq >= 0 ? line.mid(eq + 1) : line;
    if (path.isEmpty() || s.recentFiles.contains(path)) continue;
    if (opt.dropMissingRecentFiles && !QFileInfo::exists(path)) continue;
    s.recentFiles.append(path);
  }
  for (const QString &key : ini.sectionKeys(QString::fromLatin1(kHiddenToolTipsSection))) {
    bool ok = false;
    const int i = key.trimmed().toInt(&ok);
    if (ok && i >= 0 && i < opt.toolTipCount) s.hiddenToolTips.insert(i);
  }
  return s;
}

static void writeSettingKeys(IniFile &ini, const AppSettings &s, const SettingsSaveOptions &opt);

bool SaveSettings(IniFile &ini, const AppSettings &s, const SettingsSaveOptions &opt, QString *error) {
  // The flush runs even when writing a key throws (for example out of memory).
  try {
    writeSettingKeys(ini, s, opt);
  } catch (...) {
    ini.updateFile(error);
    throw;
  }
  return ini.updateFile(error);
}

static void writeSettingKeys(IniFile &ini, const AppSettings &s, const SettingsSaveOptions &opt) {
  auto setStr = [&](const char *k, const QString &v) { ini.writeString(kOpt, QString::fromLatin1(k), v); };
  auto setNum = [&](const char *k, qint64 v) { ini.writeInteger(kOpt, QString::fromLatin1(k), v); };
  auto setFlag = [&](const char *k, bool v) { ini.writeBool(kOpt, QString::fromLatin1(k), v); };

  if (s.boundsRect.size() == 16) ini.writeBinary(kOpt, QStringLiteral("BoundsRect"), s.boundsRect);
  setFlag("IsMaximized", s.isMaximized);
  setStr("DefaultDB", s.defaultDB);
  setNum("TreeWidth", s.treeWidth);
  if (opt.writeTcrsHeight) setNum("TCRSHeight", s.tcrsHeight);
  setFlag("FSSkipAddInfo", s.fsSkipAddInfo);
  setFlag("DarkTheme", s.darkTheme);
  setFlag("GridCopyWithHeaders", s.gridCopyWithHeaders);
  setFlag("GridCopyWithRowNum", s.gridCopyWithRowNum);
  setNum("CompletionListHeight", s.completionListHeight);
  setNum("CompletionListWidth", s.completionListWidth);
  setStr("SQLFontFamily", s.sqlFontFamily.isEmpty() ? DefaultSqlFontFamily() : s.sqlFontFamily);
  setNum("SQLFontSize", s.sqlFontSize);
  setNum("ConnTO", s.connTO);
  setNum("QueryExecTO", s.queryExecTO);
  setFlag("RestoreConnsOnStart", s.restoreConnsOnStart);
  setFlag("ShowSystemObjects", s.showSystemObjects);

  ini.eraseSection(QString::fromLatin1(kRecentFilesSection));
  for (int i = 0; i < s.recentFiles.size(); ++i)
    ini.writeString(QString::fromLatin1(kRecentFilesSection), QString::number(i + 1), s.recentFiles[i]);
  ini.eraseSection(QString::fromLatin1(kHiddenToolTipsSection));
  QList<int> hidden(s.hiddenToolTips.begin(), s.hiddenToolTips.end());
  std::sort(hidden.begin(), hidden.end());
  for (int i : hidden) ini.writeString(QString::fromLatin1(kHiddenToolTipsSection), QString::number(i), QString());
}

}  // namespace qrv
