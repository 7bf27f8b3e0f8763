#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

// Tests run headless unless the caller chose a platform (the X11 tests run under Xvfb).
int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("brindlewick-tests"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
