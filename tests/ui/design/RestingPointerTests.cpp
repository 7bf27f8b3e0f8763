// Lists of choices opened from the keys where the pointer happens to rest: the keys alone move
// their row, however far they scroll the list under the pointer, until the pointer really moves.
#include "ui/ChoiceListWalk.h"
#include "ui/PopupFixture.h"

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

using RestingPointerTest = testing::PopupFixture;

// The pointer rests where Qt reads it (QCursor::pos()): a scroll of the list makes Qt look
// again at the row under it, with no event an event filter could keep from the list.
TEST_F(RestingPointerTest, KeysThatScrollAListUnderARestingPointerMoveOnlyTheKeyboardsRow) {
  for (const testing::ChoiceKind& kind : testing::kChoiceKinds)
    testing::walkUnderARestingPointer(kind, {});
}

} // namespace
} // namespace brindlewick
