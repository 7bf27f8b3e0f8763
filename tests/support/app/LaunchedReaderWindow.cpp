#include "app/LaunchedReaderWindow.h"

#include "desktop/KeyboardWalk.h"

#include "panel/ReadingWindow.h"
#include "ui/design/DropFonts.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace brindlewick {

namespace {

ReaderAppDelegate::Options windowOnly(const QString& applicationDefaultsFile) {
  ReaderAppDelegate::Options options;
  options.applicationDefaultsFile = applicationDefaultsFile;
  options.alert = [](const QString&, const QString&) {};
  options.openUrl = [](const QUrl&) {};
  options.statusItem = false;
  return options;
}

ReaderModel& openModel(ReaderModelFixture& fixture, bool signedIn,
                       const std::function<void(ReaderModelFixture&)>& prepare) {
  if (prepare)
    prepare(fixture);
  if (signedIn)
    fixture.signIn();
  return fixture.open();
}

} // namespace

LaunchedReaderWindow::LaunchedReaderWindow(const UiOverrides& overrides, bool signedIn,
                                           const std::function<void(ReaderModelFixture&)>& prepare)
    : model(openModel(fixture, signedIn, prepare)),
      delegate(&model, std::nullopt, windowOnly(fixture.applicationDefaultsFile())) {
  DropFonts::registerFonts();
  UiEnvironment::instance().setOverrides(overrides);
  delegate.launch();
}

LaunchedReaderWindow::~LaunchedReaderWindow() {
  UiEnvironment::instance().setOverrides({});
}

bool LaunchedReaderWindow::open(ReaderTab tab, const std::optional<DropSnapshot>& snapshot) {
  delegate.open(tab, snapshot);
  QApplication::processEvents();
  delegate.window()->activateWindow();
  return QTest::qWaitForWindowActive(delegate.window());
}

void LaunchedReaderWindow::show(ReaderTab tab, const std::optional<DropSnapshot>& snapshot) {
  ASSERT_TRUE(open(tab, snapshot));
}

void LaunchedReaderWindow::press(Qt::Key key, Qt::KeyboardModifiers modifiers) const {
  testing::pressIn(*delegate.window(), key, modifiers);
}

bool LaunchedReaderWindow::tabTo(const QString& name) const {
  return testing::tabToNamed(*delegate.window(), name);
}

} // namespace brindlewick
