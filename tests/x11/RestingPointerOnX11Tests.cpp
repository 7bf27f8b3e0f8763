// The lists of choices on a real X server with the accessibility bridge on, as a reader with a
// screen reader meets them. The server tells a list nothing of a pointer resting where it opens
// (its enter comes under the list's grab), Qt reads the pointer where it rests whenever the list
// scrolls, and the bridge has the list lay out its rows before it has its size. Runs inside a
// private session bus (tests/support/with-secret-service.sh), whose accessibility bus the
// bridge and the test share.
#include "desktop/AccessibilityTree.h"
#include "desktop/NewcomerRun.h"
#include "ui/ChoiceListWalk.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <future>

namespace brindlewick {
namespace {

using Element = AccessibilityTree::Element;

// What a reader finds of this program on the accessibility bus. Read from a thread of its own:
// the program answers on its main thread, which runs its events meanwhile.
QList<Element> readTree(AccessibilityTree& tree) {
  std::future<QList<Element>> reading =
      std::async(std::launch::async, [&tree] { return tree.elements(QCoreApplication::applicationPid()); });
  // Every call of the reading is bounded in time, so it ends.
  while (reading.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
    QTest::qWait(20);
  return reading.get();
}

// The list a reader meets walking down from the control named `control`: one level inside it.
const Element* listInside(const QList<Element>& elements, const QString& control) {
  for (qsizetype at = 0; at < elements.size(); ++at) {
    if (elements[at].name != control)
      continue;
    for (qsizetype inside = at + 1; inside < elements.size() && elements[inside].depth > elements[at].depth;
         ++inside)
      if (elements[inside].depth == elements[at].depth + 1 &&
          elements[inside].is(AccessibilityTree::Role::list))
        return &elements[inside];
  }
  return nullptr;
}

TEST(RestingPointerOnX11, KeysThatScrollAListUnderARestingPointerMoveOnlyTheKeyboardsRow) {
  if (QGuiApplication::platformName() != QLatin1String("xcb"))
    GTEST_SKIP() << "needs an X11 display: install xvfb so that CTest runs this inside a private Xvfb server";
  // Only on the private session bus: the reader's own must not hear of this test.
  if (qEnvironmentVariable("BRINDLEWICK_SECRET_SERVICE") != QLatin1String("running"))
    GTEST_SKIP() << "needs a private session bus (tests/support/with-secret-service.sh)";
  if (!qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"))
    GTEST_SKIP() << "needs the accessibility bridge on (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)";
  // Asking for the accessibility bus starts it; the bridge comes on once it is there.
  AccessibilityTree tree;
  if (const QString missing = missingDesktop(tree); !missing.isEmpty())
    GTEST_SKIP() << missing.toStdString();
  ASSERT_TRUE(QTest::qWaitFor([] { return QAccessible::isActive(); }, Newcomer::waitMilliseconds))
      << "the accessibility bridge did not come on";
  DropFonts::registerFonts();
  UiEnvironment::instance().setOverrides({.reduceMotion = true});

  for (const testing::ChoiceKind& kind : testing::kChoiceKinds) {
    testing::walkUnderARestingPointer(kind, [&](const testing::Choices& choices,
                                                const testing::OpenList& open) {
      const QString control = QAccessible::queryAccessibleInterface(choices.control)->text(QAccessible::Name);
      const QList<Element> seen = readTree(tree);
      QFile file(
          testing::testOutputPath(QStringLiteral("resting-pointer-xcb-tree-%1.txt").arg(kind.picture)));
      if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(AccessibilityTree::dump(seen).toUtf8() + '\n');
      const Element* list = listInside(seen, control);
      ASSERT_NE(list, nullptr) << "no list inside \"" << control.toStdString() << "\"\n"
                               << AccessibilityTree::dump(seen).toStdString();
      EXPECT_EQ(list->name, kind.listName);
      EXPECT_EQ(list->children, open.view()->model()->rowCount()) << "its rows";
    });
    if (QWidget* popup = QApplication::activePopupWidget())
      popup->close();
  }
  UiEnvironment::instance().setOverrides({});
}

} // namespace
} // namespace brindlewick
