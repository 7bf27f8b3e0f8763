// Lists of choices opened from the keys where the pointer happens to rest: the keys alone move
// their row, however far they scroll the list under the pointer, until the pointer really moves.
#include "ui/ChoiceListWalk.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

class RestingPointerTest : public ::testing::Test {
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

// The pointer rests where Qt reads it (QCursor::pos()): a scroll of the list makes Qt look
// again at the row under it, with no event an event filter could keep from the list.
TEST_F(RestingPointerTest, KeysThatScrollAListUnderARestingPointerMoveOnlyTheKeyboardsRow) {
  for (const testing::ChoiceKind& kind : testing::kChoiceKinds)
    testing::walkUnderARestingPointer(kind, {});
}

} // namespace
} // namespace brindlewick
