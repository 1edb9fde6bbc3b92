#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "util/inifile.h"
#include "util/textfile.h"

using qrv::IniFile;

namespace {
QString writeBytes(const QTemporaryDir &d, const char *name, const QByteArray &bytes) {
  const QString p = d.filePath(QString::fromLatin1(name));
  QFile f(p);
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
  return p;
}
}  // namespace

TEST(IniFile, SectionsAndKeysIgnoreCaseAndKeepOrder) {
  IniFile ini;
  ini.setText(QStringLiteral("; head\r\n[Options]\r\nTreeWidth=250\r\nDarkTheme=0\r\n[Second]\r\nb=2\r\na=1\r\n"));
  EXPECT_EQ(ini.readInteger(QStringLiteral("OPTIONS"), QStringLiteral("treewidth"), 300), 250);
  EXPECT_FALSE(ini.readBool(QStringLiteral("options"), QStringLiteral("DARKTHEME"), true));
  EXPECT_EQ(ini.sectionKeys(QStringLiteral("second")), (QStringList{"b", "a"}));
  ini.writeString(QStringLiteral("SECOND"), QStringLiteral("B"), QStringLiteral("22"));
  ini.writeString(QStringLiteral("second"), QStringLiteral("c"), QStringLiteral("3"));
  EXPECT_EQ(ini.sectionValues(QStringLiteral("Second")), (QStringList{"b=22", "a=1", "c=3"}));
  EXPECT_EQ(ini.sections(), (QStringList{"Options", "Second"}));
  EXPECT_TRUE(ini.text().startsWith(QStringLiteral("; head\r\n[Options]")));
}

struct ValueCase {
  const char *text;
  int intDefault;
  int intExpected;
  bool boolExpected;  // with default true
};

class IniValues : public ::testing::TestWithParam<ValueCase> {};

TEST_P(IniValues, ParseOrDefault) {
  const ValueCase &c = GetParam();
  IniFile ini;
  ini.setText(QStringLiteral("[S]\nk=") + QString::fromUtf8(c.text) + u'\n');
  EXPECT_EQ(ini.readInteger(QStringLiteral("S"), QStringLiteral("k"), c.intDefault), c.intExpected);
  EXPECT_EQ(ini.readBool(QStringLiteral("S"), QStringLiteral("k"), true), c.boolExpected);
}

INSTANTIATE_TEST_SUITE_P(Values, IniValues,
                         ::testing::Values(ValueCase{"0", 7, 0, false}, ValueCase{"1", 7, 1, true},
                                           ValueCase{"-5", 7, -5, true}, ValueCase{" 12 ", 7, 12, true},
                                           ValueCase{"abc", 7, 7, true}, ValueCase{"", 7, 7, true},
                                           ValueCase{"99999999999", 7, 7, true}, ValueCase{"1.5", 7, 7, true}));

TEST(IniFile, BinaryAsUpperCaseHex) {
  IniFile ini;
  const QByteArray b = QByteArray::fromHex("0a000000ff7f0000");
  ini.writeBinary(QStringLiteral("Options"), QStringLiteral("BoundsRect"), b);
  EXPECT_EQ(ini.readString(QStringLiteral("Options"), QStringLiteral("BoundsRect")), QStringLiteral("0A000000FF7F0000"));
  EXPECT_EQ(ini.readBinary(QStringLiteral("Options"), QStringLiteral("BoundsRect")), b);
  ini.writeString(QStringLiteral("Options"), QStringLiteral("Bad"), QStringLiteral("0G"));
  EXPECT_EQ(ini.readBinary(QStringLiteral("Options"), QStringLiteral("Bad"), "d"), QByteArray("d"));
}

TEST(IniFile, LinesWithoutEqualsAreKeptWhole) {
  IniFile ini;
  ini.setText(QStringLiteral("[OpenedFiles]\n1=/a.sql\n/b c.sql\n\n[X]\n"));
  EXPECT_EQ(ini.sectionValues(QStringLiteral("OpenedFiles")), (QStringList{"1=/a.sql", "/b c.sql"}));
  ini.eraseSection(QStringLiteral("openedfiles"));
  EXPECT_FALSE(ini.sectionExists(QStringLiteral("OpenedFiles")));
  EXPECT_TRUE(ini.sectionExists(QStringLiteral("x")));
}

TEST(IniFile, EncodingsAreRecognised) {
  QTemporaryDir d;
  const QString u8bom = writeBytes(d, "a.ini", QByteArray("\xEF\xBB\xBF[S]\nk=Gr\xC3\xBC\xC3\x9F\n"));
  QByteArray u16("\xFF\xFE");
  u16 += QByteArray(reinterpret_cast<const char *>(u"[S]\nk=Grüß\n"), 11 * 2);
  const QString u16le = writeBytes(d, "b.ini", u16);
  const QString plain8 = writeBytes(d, "c.ini", QByteArray("[S]\nk=Gr\xC3\xBC\xC3\x9F\n"));
  const QString cp1252 = writeBytes(d, "d.ini", QByteArray("[S]\nk=Gr\xFC\xDF \x80\n"));
  for (const QString &p : {u8bom, u16le, plain8})
    EXPECT_EQ(IniFile(p).readString(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("Grüß")) << p.toStdString();
  EXPECT_EQ(IniFile(cp1252).readString(QStringLiteral("S"), QStringLiteral("k")), QStringLiteral("Grüß €"));
}

TEST(IniFile, MissingFileReadsEmptyAndWritesUtf8WithoutBom) {
  QTemporaryDir d;
  const QString p = d.filePath(QStringLiteral("Settings.ini"));
  IniFile ini(p);
  EXPECT_TRUE(ini.sections().isEmpty());
  EXPECT_EQ(ini.readInteger(QStringLiteral("Options"), QStringLiteral("TreeWidth"), 300), 300);
  ini.writeString(QStringLiteral("Options"), QStringLiteral("Name"), QStringLiteral("Grüß"));
  ASSERT_TRUE(ini.updateFile());
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray bytes = f.readAll();
  EXPECT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
  EXPECT_TRUE(bytes.contains("Name=Gr\xC3\xBC\xC3\x9F"));
  EXPECT_EQ(IniFile(p).readString(QStringLiteral("options"), QStringLiteral("name")), QStringLiteral("Grüß"));
}

TEST(IniFile, WriteToUnwritablePlaceFailsCleanly) {
  IniFile ini(QStringLiteral("/nonexistent-dir/x/Settings.ini"));
  ini.writeBool(QStringLiteral("Options"), QStringLiteral("DarkTheme"), true);
  QString err;
  EXPECT_FALSE(ini.updateFile(&err));
  EXPECT_FALSE(err.isEmpty());
}

TEST(TextFile, LinesJoinedWithCrLf) {
  QTemporaryDir d;
  const QString p = writeBytes(d, "s.sql", QByteArray("select 1;\nselect 2;\r\nselect 3;\rend"));
  bool ok = false;
  EXPECT_EQ(qrv::ReadTextFileCrLf(p, &ok), QStringLiteral("select 1;\r\nselect 2;\r\nselect 3;\r\nend"));
  EXPECT_TRUE(ok);
  qrv::ReadTextFileCrLf(d.filePath(QStringLiteral("missing.sql")), &ok);
  EXPECT_FALSE(ok);
}
