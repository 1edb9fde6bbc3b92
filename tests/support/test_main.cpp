// Test programs run with a QApplication (offscreen unless told otherwise), so widget tests drive real
// widgets and headless tests can use Qt's event loop.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char **argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
