#pragma once

#include "app/ReaderAppDelegate.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/UiEnvironment.h"

#include <functional>
#include <optional>

namespace brindlewick {

// The reader window as the application opens it, menu bar included, on the model's fixture
// with a signed-in reader (or one who has not signed in yet). There is no tray icon, and alerts and links go nowhere. The
// typefaces are registered and `overrides` hold until the window goes (motion off by default,
// so fades end at once).
struct LaunchedReaderWindow {
  // `prepare` sets up the fixture before the model is built (an updater, say).
  explicit LaunchedReaderWindow(const UiOverrides& overrides = {.reduceMotion = true}, bool signedIn = true,
                                const std::function<void(ReaderModelFixture&)>& prepare = {});
  ~LaunchedReaderWindow();
  LaunchedReaderWindow(const LaunchedReaderWindow&) = delete;
  LaunchedReaderWindow& operator=(const LaunchedReaderWindow&) = delete;

  // Opens `tab` (the read page on `snapshot`) and activates the window; whether it became the
  // active window.
  [[nodiscard]] bool open(ReaderTab tab, const std::optional<DropSnapshot>& snapshot = std::nullopt);
  // The same in the active window, failing the test when it does not become active.
  void show(ReaderTab tab, const std::optional<DropSnapshot>& snapshot = std::nullopt);

  // A key as the reader presses it in the window (its shortcuts and menu bar see it first).
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) const;
  // Presses Tab until the control named `name` has the focus (at most once round a long
  // window); whether it got there.
  [[nodiscard]] bool tabTo(const QString& name) const;

  ReaderModelFixture fixture;
  ReaderModel& model;
  ReaderAppDelegate delegate;
};

} // namespace brindlewick
