#pragma once

#include "AccountFixtures.h"
#include "desktop/KeyboardWalk.h"
#include "model/ReaderModelFixture.h"
#include "panel/ReadingWindow.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSearchField.h"
#include "ui/window/ReaderHome.h"
#include "ui/window/ReaderToolbar.h"

#include <QApplication>
#include <QLocale>
#include <QToolBar>
#include <gtest/gtest.h>

namespace brindlewick {

// Reaches the model's private setters, as the model's own tests do.
struct ReaderModelTestAccess {
  static void setMessage(ReaderModel& model, std::optional<QString> text) {
    model.setMessage(std::move(text));
  }
  static void setSyncIssue(ReaderModel& model, std::optional<QString> text) {
    model.setSyncIssue(std::move(text));
  }
  static void setBusy(ReaderModel& model, bool busy) { model.setBusy(busy); }
  static void setStorageHealthy(ReaderModel& model, bool healthy) { model.setStorageHealthy(healthy); }
};

// The reader window as the application builds it (a reading window, its toolbar, the root as
// its content) on the model's fixture, signed in or not, its content at `size`. Motion is
// off, so fades end at once.
struct ReaderWindowHarness {
  explicit ReaderWindowHarness(
      bool signedIn, QSize size = QSize(960, 640),
      const ReaderPreferences& preferences = ReaderModelFixture::readerPreferences()) {
    DropFonts::registerFonts();
    // Times read as "09:00".
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
    if (signedIn)
      fixture.signIn(preferences);
    model = &fixture.open();
    bar = new QToolBar(&window);
    window.addToolBar(Qt::TopToolBarArea, bar);
    home = new ReaderHome(*model);
    home->setToolBar(bar);
    window.setCentralWidget(home);
    window.show();
    resize(size);
  }
  ~ReaderWindowHarness() { UiEnvironment::instance().setOverrides({}); }

  void resize(QSize size) {
    // The chrome is known once the toolbar has its final height.
    for (int round = 0; round < 2; ++round) {
      window.resize(size + window.chrome());
      QApplication::processEvents();
    }
  }

  // A reader known to the service signs in through the browser flow.
  void signInThroughTheService(const QString& user, const QString& email) {
    ReadingService& service = fixture.harness().service();
    service.accounts().addReader({user, QStringLiteral("Reader"), email});
    service.accounts().setPreferences(user, ReaderModelFixture::readerPreferences());
    service.grants().setTiming(600, 5);
    model->beginAccountSignIn();
    ASSERT_TRUE(waitUntil([&] { return model->signInCode().has_value(); }));
    service.grants().approve(*model->signInCode(), user);
    fixture.advance(5);
    fixture.settle();
    ASSERT_TRUE(model->account().isSignedIn());
  }

  void signOut() {
    model->signOutAccount();
    fixture.settle();
    ASSERT_FALSE(model->account().hasStoredSession());
  }

  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    testing::pressIn(window, key, modifiers);
  }
  bool tabTo(const QWidget* target) {
    return testing::tabUntil(window, [target](const QWidget* focus) { return focus == target; });
  }

  DropSearchField& search() const { return *home->toolbar()->searchField(); }
  template <typename T = QWidget> T* find(const QString& name) const { return window.findChild<T*>(name); }
  // `widget`'s rectangle in the root's coordinates.
  QRect inHome(const QWidget* widget) const { return QRect(widget->mapTo(home, QPoint()), widget->size()); }

  ReaderModelFixture fixture;
  ReaderModel* model = nullptr;
  ReadingWindow window{QRect(0, 0, 960, 680), QSize(960, 640)};
  QToolBar* bar = nullptr;
  ReaderHome* home = nullptr;
};

} // namespace brindlewick
