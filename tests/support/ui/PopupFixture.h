#pragma once

#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>

namespace brindlewick::testing {

// A test of pop-up lists and menus: our own typefaces, no motion, and no pop-up left open for
// the next test.
class PopupFixture : public ::testing::Test {
protected:
  void SetUp() override {
    DropFonts::registerFonts();
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
  }
  void TearDown() override {
    if (QWidget* popup = QApplication::activePopupWidget())
      popup->close();
    UiEnvironment::instance().setOverrides({});
  }
};

} // namespace brindlewick::testing
