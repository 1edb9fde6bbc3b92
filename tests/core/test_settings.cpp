#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "core/settings.h"

using namespace qrv;

TEST(Settings, FirstStartDefaults) {
  IniFile ini;
  const AppSettings s = LoadSettings(ini, {2, 1080, true});
  EXPECT_TRUE(s.isMaximized);
  EXPECT_TRUE(s.boundsRect.isEmpty());
  EXPECT_TRUE(s.darkTheme);
  EXPECT_EQ(s.treeWidth, 300);
  EXPECT_EQ(s.tcrsHeight, 270);
  EXPECT_EQ(s.sqlFontSize, 14);
  EXPECT_EQ(s.sqlFontFamily, DefaultSqlFontFamily());
  EXPECT_EQ(s.connTO, 20);
  EXPECT_EQ(s.queryExecTO, 3600);
  EXPECT_TRUE(s.fsSkipAddInfo);
  EXPECT_TRUE(s.gridCopyWithHeaders);
  EXPECT_FALSE(s.gridCopyWithRowNum);
  EXPECT_EQ(s.completionListHeight, 200);
  EXPECT_EQ(s.completionListWidth, 360);
  EXPECT_TRUE(s.restoreConnsOnStart);
  EXPECT_FALSE(s.showSystemObjects);
  EXPECT_EQ(s.lastUpdateCheck, -1);
  EXPECT_TRUE(s.defaultDB.isEmpty());
}

TEST(Settings, RoundTripOfEveryKey) {
  QTemporaryDir d;
  QFile keep(d.filePath("kept.sql"));
  ASSERT_TRUE(keep.open(QIODevice::WriteOnly));
  keep.close();
  AppSettings s;
  s.boundsRect = EncodeBoundsRect(QRect(-8, 30, 1024, 700));
  s.isMaximized = false;
  s.defaultDB = "PostgreSQL > local > shop";
  s.treeWidth = 321;
  s.tcrsHeight = 222;
  s.fsSkipAddInfo = false;
  s.darkTheme = false;
  s.gridCopyWithHeaders = false;
  s.gridCopyWithRowNum = true;
  s.completionListHeight = 250;
  s.completionListWidth = 410;
  s.sqlFontFamily = "Noto Mono";
  s.sqlFontSize = 17;
  s.connTO = 1200;
  s.queryExecTO = 4294967;
  s.restoreConnsOnStart = false;
  s.showSystemObjects = true;
  s.recentFiles = {keep.fileName()};
  s.hiddenToolTips = {0, 1};
  IniFile ini(d.filePath("Settings.ini"));
  ASSERT_TRUE(SaveSettings(ini, s, {true}));

  const IniFile again(d.filePath("Settings.ini"));
  EXPECT_EQ(again.readString("Options", "BoundsRect"), "F8FFFFFF1E000000F8030000DA020000");
  const AppSettings r = LoadSettings(again, {2, 1080, true});
  EXPECT_EQ(DecodeBoundsRect(r.boundsRect), QRect(-8, 30, 1024, 700));
  EXPECT_EQ(r.isMaximized, s.isMaximized);
  EXPECT_EQ(r.defaultDB, s.defaultDB);
  EXPECT_EQ(r.treeWidth, s.treeWidth);
  EXPECT_EQ(r.tcrsHeight, s.tcrsHeight);
  EXPECT_EQ(r.fsSkipAddInfo, s.fsSkipAddInfo);
  EXPECT_EQ(r.darkTheme, s.darkTheme);
  EXPECT_EQ(r.gridCopyWithHeaders, s.gridCopyWithHeaders);
  EXPECT_EQ(r.gridCopyWithRowNum, s.gridCopyWithRowNum);
  EXPECT_EQ(r.completionListHeight, s.completionListHeight);
  EXPECT_EQ(r.completionListWidth, s.completionListWidth);
  EXPECT_EQ(r.sqlFontFamily, s.sqlFontFamily);
  EXPECT_EQ(r.sqlFontSize, s.sqlFontSize);
  EXPECT_EQ(r.connTO, s.connTO);
  EXPECT_EQ(r.queryExecTO, s.queryExecTO);
  EXPECT_EQ(r.restoreConnsOnStart, s.restoreConnsOnStart);
  EXPECT_EQ(r.showSystemObjects, s.showSystemObjects);
  EXPECT_EQ(r.recentFiles, s.recentFiles);
  EXPECT_EQ(r.hiddenToolTips, s.hiddenToolTips);
}

TEST(Settings, TcrsHeightIsWrittenOnlyWhenAsked) {
  IniFile ini;
  AppSettings s;
  s.tcrsHeight = 99;
  SaveSettings(ini, s, {false});
  EXPECT_FALSE(ini.valueExists("Options", "TCRSHeight"));
}

TEST(Settings, BadValuesYieldDefaults) {
  IniFile ini;
  ini.setText(
      "[Options]\nTreeWidth=wide\nDarkTheme=yes\nConnTO=\nBoundsRect=ABC\nSQLFontSize=12.5\n"
      "[HiddenToolTips]\n-1=\nabc=\n2=\n1=\n");
  const AppSettings s = LoadSettings(ini, {2, 800, true});
  EXPECT_EQ(s.treeWidth, 300);
  EXPECT_TRUE(s.darkTheme);
  EXPECT_EQ(s.connTO, 20);
  EXPECT_TRUE(s.boundsRect.isEmpty());
  EXPECT_EQ(s.sqlFontSize, 14);
  EXPECT_EQ(s.hiddenToolTips, QSet<int>{1});
}

TEST(Settings, RecentFilesSkipDuplicatesAndDeletedFilesWhichVanishOnSave) {
  QTemporaryDir d;
  const QString a = d.filePath("a.sql"), gone = d.filePath("gone.sql");
  QFile f(a);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  IniFile ini(d.filePath("Settings.ini"));
  ini.setText(QString("[RecentFiles]\n1=%1\n2=%2\n3=%1\n").arg(a, gone));
  const AppSettings s = LoadSettings(ini);
  EXPECT_EQ(s.recentFiles, QStringList{a});
  ASSERT_TRUE(SaveSettings(ini, s));
  EXPECT_EQ(IniFile(d.filePath("Settings.ini")).sectionValues("RecentFiles"), QStringList{"1=" + a});
}

TEST(Settings, SaveReportsAnUnwritableFile) {
  IniFile ini("/proc/qrv/none/Settings.ini");
  QString err;
  EXPECT_FALSE(SaveSettings(ini, AppSettings{}, {}, &err));
  EXPECT_FALSE(err.isEmpty());
}
