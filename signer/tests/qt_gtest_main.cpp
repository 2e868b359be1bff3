// GoogleTest for tests that run Signer's windows: a QApplication lives around all tests. The
// windows are drawn offscreen unless QT_QPA_PLATFORM names a platform (also when CTest lists the
// tests).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
