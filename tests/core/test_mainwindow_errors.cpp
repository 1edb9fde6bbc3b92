// Exceptions that escape event handlers reach the application-wide handler, and the program keeps running.
// This program runs on the program's own application object, so it has a main of its own.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "core/application.h"
#include "core/mainwindow.h"
#include "support/testsupport.h"
#include "util/inifile.h"
#include "util/regex.h"

using namespace qrv;

namespace {

class ErrorHandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QDir().mkpath(home.settingsDir());
    iniPath = home.settingsDir() + QStringLiteral("Settings.ini");
    SetExceptionDisplayHook([this](const QString &t) { shown << t; });
  }
  void TearDown() override {
    SetExceptionDisplayHook(nullptr);
    SetApplicationExceptionHandler(nullptr);
  }

  // Lets the event loop run until the handler has shown n messages.
  bool waitForShown(int n) {
    return QTest::qWaitFor([&] { return shown.size() >= n; }, 5000);
  }

  qrvtest::TempConfigHome home;
  QString iniPath;
  QStringList shown;
};

bool matches(const QString &pattern, const QString &text) { return Regex(pattern, ReDotAll).matches(text); }

}  // namespace

TEST_F(ErrorHandlerTest, ExceptionFromACommandIsReportedTheSettingsSavedAndTheWindowLivesOn) {
  IniFile ini(iniPath);
  TfrmQRV w(&ini);
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  int autoSaves = 0;
  w.FHooks.saveAutomaticFiles = [&] { ++autoSaves; };
  w.AL->SetExecute(w.AL->acNewGUID, [] { throw EAppError(QStringLiteral("[FireDAC][Phys]Boom in GUID")); });
  w.SetTreePanelWidth(222);

  // A real click on the menu item: the exception travels up through the event dispatch.
  w.ToggleMainMenu();
  auto *item = w.pnMM->findChild<QAbstractButton *>(QStringLiteral("miNewGUID"));
  ASSERT_NE(item, nullptr);
  ASSERT_TRUE(item->isEnabled());
  QTest::mouseClick(item, Qt::LeftButton);

  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(matches(QStringLiteral("^Boom in GUID\nClass Name: qrv::EAppError\nAddress: \\$[0-9A-F]+$"), shown[0]))
      << shown[0].toStdString();
  EXPECT_FALSE(shown[0].endsWith(QStringLiteral("$0")));
  EXPECT_EQ(autoSaves, 1);
  EXPECT_EQ(IniFile(iniPath).readInteger(QStringLiteral("Options"), QStringLiteral("TreeWidth")), 222);

  // Still alive: timers fire, commands run, and a second failure is handled the same way.
  bool timerRan = false;
  QTimer::singleShot(0, &w, [&] { timerRan = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return timerRan; }, 5000));
  w.AL->acZenMode->trigger();
  EXPECT_TRUE(w.ZenMode());
  QTimer::singleShot(0, &w, [] { throw std::runtime_error("second failure"); });
  ASSERT_TRUE(waitForShown(2));
  EXPECT_EQ(shown[1].section(QLatin1Char('\n'), 0, 1), QStringLiteral("second failure\nClass Name: std::runtime_error"));
  EXPECT_TRUE(w.isVisible());
}

TEST_F(ErrorHandlerTest, ClassNameAndMessageOfEveryKindOfException) {
  struct Case {
    std::function<void()> raise;
    const char *pattern;
  };
  const Case cases[] = {
      {[] { throw std::out_of_range("index 7"); }, "^index 7\nClass Name: std::out_of_range\nAddress: \\$[0-9A-F]+$"},
      {[] { throw 42; }, "^Unknown error\nClass Name: int\nAddress: \\$0$"},
      {[] { throw QStringLiteral("plain text"); }, "^plain text\nClass Name: QString\nAddress: \\$[0-9A-F]+$"},
  };
  // Without a window the default handler reports the failure.
  int n = 0;
  for (const Case &c : cases) {
    QTimer::singleShot(0, c.raise);
    ASSERT_TRUE(waitForShown(++n));
    EXPECT_TRUE(matches(QString::fromLatin1(c.pattern), shown.last())) << shown.last().toStdString();
  }
}

TEST_F(ErrorHandlerTest, AFailingHandlerDoesNotTakeTheProgramDown) {
  int calls = 0;
  SetApplicationExceptionHandler([&](const TExceptionInfo &) {
    ++calls;
    throw std::runtime_error("handler broke");
  });
  QTimer::singleShot(0, [] { throw std::runtime_error("first"); });
  EXPECT_TRUE(QTest::qWaitFor([&] { return calls == 1; }, 5000));
  bool later = false;
  QTimer::singleShot(0, [&] { later = true; });
  EXPECT_TRUE(QTest::qWaitFor([&] { return later; }, 5000));
}

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QrvApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
