#include "ui/design/DropSearchField.h"
#include "ui/design/ReadingSearchInput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

// A window holding the field and an owner of the search text that writes back every edit,
// as the application model does.
class SearchWindow : public ::testing::Test {
protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(other);
    QObject::connect(field, &DropSearchField::textEdited, [this](const QString& text) {
      writes.append(text);
      field->setText(text);
    });
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }

  bool clearShown() const { return field->clearButton()->isVisible(); }

  QWidget window;
  DropSearchField* field = new DropSearchField(QStringLiteral("Search your reading"), &window);
  QWidget* other = new QWidget(&window);
  QStringList writes;
};

TEST_F(SearchWindow, TheClearButtonShowsWhileThereIsTextWhoeverWroteIt) {
  EXPECT_FALSE(clearShown());
  field->input()->setFocus();
  QTest::keyClick(field->input(), Qt::Key_H);
  EXPECT_TRUE(clearShown());
  QTest::mouseClick(field->clearButton(), Qt::LeftButton);
  EXPECT_FALSE(clearShown());
  EXPECT_EQ(writes, (QStringList{QStringLiteral("h"), QString()}));
  EXPECT_TRUE(field->input()->hasFocus()); // the clear button leaves editing alone

  field->input()->clearFocus();
  field->setText(QStringLiteral("stoic")); // the owner's own write
  EXPECT_TRUE(clearShown());
}

TEST_F(SearchWindow, EscapeEndsEditingAndNeverReachesAWindowShortcut) {
  QShortcut closeOnEscape(QKeySequence(Qt::Key_Escape), &window);
  QSignalSpy shortcut(&closeOnEscape, &QShortcut::activated);
  QSignalSpy editing(field->input(), &ReadingSearchInput::editingChanged);
  field->input()->setFocus();
  QTest::keyClicks(field->input(), QStringLiteral("ab"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_EQ(shortcut.size(), 0);
  EXPECT_FALSE(field->input()->hasFocus());
  EXPECT_EQ(field->text(), QString());
  EXPECT_EQ(writes.last(), QString());
  ASSERT_FALSE(editing.isEmpty());
  EXPECT_FALSE(editing.last().first().toBool());
  EXPECT_FALSE(field->input()->isEditing());

  // Escape in an empty field still tells the owner "" and goes no further.
  field->input()->setFocus();
  QTest::keyClick(field->input(), Qt::Key_Escape);
  EXPECT_EQ(writes.size(), 4);
  EXPECT_EQ(shortcut.size(), 0);

  // Away from the field, the window's Escape works.
  other->setFocus();
  QTest::keyClick(&window, Qt::Key_Escape);
  EXPECT_EQ(shortcut.size(), 1);
}

TEST_F(SearchWindow, EachKeystrokeWritesOnceAndAnEqualWriteKeepsCaretAndUndo) {
  field->input()->setFocus();
  QTest::keyClicks(field->input(), QStringLiteral("habits"));
  EXPECT_EQ(writes, (QStringList{QStringLiteral("h"), QStringLiteral("ha"), QStringLiteral("hab"),
                                 QStringLiteral("habi"), QStringLiteral("habit"), QStringLiteral("habits")}));
  field->input()->setCursorPosition(2);
  field->setText(QStringLiteral("habits"));
  EXPECT_EQ(field->input()->cursorPosition(), 2);
  EXPECT_TRUE(field->input()->isUndoAvailable());
  // A different text from the owner replaces the field's.
  field->setText(QStringLiteral("focus"));
  EXPECT_EQ(field->input()->text(), QStringLiteral("focus"));
  EXPECT_EQ(writes.size(), 6);
}

} // namespace
} // namespace brindlewick
