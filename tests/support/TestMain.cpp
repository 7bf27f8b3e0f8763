#ifdef BRINDLEWICK_TEST_GUI
#include <QApplication>
#else
#include <QCoreApplication>
#endif

#include <gtest/gtest.h>

#include <cstdlib>

// The main() of every test program. Tests of the GUI-free core get a plain QCoreApplication,
// so that nothing they exercise can lean on a GUI; the others run headless unless the caller
// chose a platform (the X11 tests run under Xvfb).
int main(int argc, char** argv) {
#ifdef BRINDLEWICK_TEST_GUI
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
#else
  QCoreApplication application(argc, argv);
#endif
  QCoreApplication::setApplicationName(QStringLiteral("brindlewick-tests"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
