#pragma once

#include "AsyncProbe.h"
#include "RequiredValue.h"
#include "TestOutput.h"
#include "VirtualDelayScheduler.h"
#include "model/ReaderModelFixture.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QHBoxLayout>
#include <QImage>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace brindlewick::testing {

// The application model signed in on the stand-in, with a release of `drops` drops installed.
class LibraryTest : public ::testing::Test {
protected:
  explicit LibraryTest(int drops = 100) : fx(drops) {}
  void SetUp() override {
    ASSERT_TRUE(DropFonts::registerFonts());
    UiEnvironment::instance().setOverrides({.scheme = ColorScheme::light, .reduceMotion = true});
    fx.signIn();
    fx.open();
    fx.settle();
  }
  void TearDown() override { UiEnvironment::instance().setOverrides({}); }
  ReaderModel& model() { return fx.model(); }
  DropSnapshot drop(int index) {
    return requiredValue(model().repository().snapshot(fx.release().release.lore[index].id),
                         "the fixture's drop");
  }
  void waitForCollection() {
    ASSERT_TRUE(waitUntil([&] { return !model().collectionBusy(); }));
    flushEvents();
  }
  // Installs the release again, changed by `change`.
  void installChanged(const std::function<void(ContentRelease&)>& change) {
    GeneratedRelease next = fx.release();
    change(next.release);
    next.body = encodeRelease(next.release);
    next.manifest.checksumSha256 =
        QString::fromLatin1(QCryptographicHash::hash(next.body, QCryptographicHash::Sha256).toHex());
    next.manifest.byteLength = next.body.size();
    model().repository().install(next.body, next.manifest, std::nullopt, fx.now());
  }
  // Drop `index` at its next revision: the kept snapshots of that drop gain the corrected badge.
  void installCorrection(int index) {
    installChanged([index](ContentRelease& release) { release.lore[index].revision += 1; });
  }
  // Local storage fails while a teaser's delivery is recorded: storage is unhealthy for the run.
  void breakStorage() {
    model().requestDrop();
    fx.failStoreWrites();
    fx.advance(0.1);
    ASSERT_FALSE(model().storageHealthy());
  }

  ReaderModelFixture fx;
};

// Writes `make(scheme)` in light and dark side by side to build/test-output/<name>.png.
// `shown` runs once the sheet is on screen (to give a control focus, say).
template <typename Make>
void renderSheet(const QString& name, Make make, int width = 640,
                 const std::function<void(QWidget&)>& shown = {}) {
  QWidget sheet;
  auto* columns = new QHBoxLayout(&sheet);
  for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
    auto* column = new QWidget(&sheet);
    column->setAutoFillBackground(true);
    QPalette palette = column->palette();
    palette.setColor(QPalette::Window, DropDesign::windowBackground(scheme));
    column->setPalette(palette);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    make(layout, scheme);
    UiEnvironment::forceScheme(column, scheme);
    layout->addStretch(1);
    column->setFixedWidth(width);
    columns->addWidget(column);
  }
  sheet.resize(sheet.sizeHint());
  sheet.show();
  sheet.activateWindow();
  flushEvents();
  if (shown) {
    shown(sheet);
    flushEvents();
  }
  // Wrapped texts need the height for the sheet's width, which its size hint does not know.
  sheet.resize(sheet.width(), sheet.heightForWidth(sheet.width()));
  flushEvents();
  sheet.grab().save(testOutputPath(name + QStringLiteral(".png")));
}

} // namespace brindlewick::testing
