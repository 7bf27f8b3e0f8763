#include "ui/design/AccessibleRole.h"

#include "ui/design/DropButton.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

namespace brindlewick {
namespace {

QAccessibleInterface* accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

QStringList childNames(QAccessibleInterface* parent) {
  QStringList names;
  for (int i = 0; i < parent->childCount(); ++i)
    names.append(parent->child(i)->text(QAccessible::Name));
  return names;
}

QWidget* named(const QString& name, QWidget* parent) {
  auto* widget = new QWidget(parent);
  widget->setAccessibleName(name);
  parent->layout()->addWidget(widget);
  return widget;
}

// The application installs the interfaces before it builds a window; so do these tests.
class AccessibleRoleTest : public ::testing::Test {
protected:
  void SetUp() override { AccessibleRole::install(); }
};

TEST_F(AccessibleRoleTest, HeadingsDecorationsLayersAndCombinedElementsReadAsTheyShow) {
  QWidget window;
  new QVBoxLayout(&window);
  QWidget* title = named(QStringLiteral("Settings"), &window);
  AccessibleRole::set(title, QAccessible::Heading);
  QWidget* avatar = named(QStringLiteral("avatar"), &window);
  AccessibleRole::setHidden(avatar);
  named(QString(), &window); // a spacer
  QWidget* layer = named(QString(), &window);
  new QVBoxLayout(layer);
  QWidget* dropdown = named(QStringLiteral("Your account"), layer);
  AccessibleRole::setTransparent(layer);
  AccessibleRole::setModal(dropdown);
  QWidget* notice = named(QString(), &window);
  new QVBoxLayout(notice);
  named(QStringLiteral("icon"), notice);
  named(QStringLiteral("Sync could not finish."), notice);
  AccessibleRole::combine(notice, QStringLiteral("Sync could not finish."));
  window.show();

  QAccessibleInterface* root = accessible(&window);
  // The decoration and the spacer are gone, the layer stands aside for its dropdown, the
  // notice is one element.
  EXPECT_EQ(childNames(root), (QStringList{"Settings", "Your account", "Sync could not finish."}));
  EXPECT_TRUE(accessible(avatar)->state().invisible);
  EXPECT_EQ(accessible(title)->role(), QAccessible::Heading);
  EXPECT_EQ(accessible(dropdown)->parent(), root);
  EXPECT_EQ(root->indexOfChild(accessible(dropdown)), 1);
  EXPECT_TRUE(accessible(dropdown)->state().modal);
  EXPECT_FALSE(accessible(title)->state().modal);
  EXPECT_EQ(accessible(notice)->childCount(), 0);

  // A notice that shows its button again holds its children as elements of their own; the
  // decoration comes back when it is one no longer.
  AccessibleRole::combine(notice, QString());
  EXPECT_EQ(childNames(accessible(notice)), (QStringList{"icon", "Sync could not finish."}));
  AccessibleRole::setHidden(avatar, false);
  EXPECT_EQ(childNames(root).value(1), QStringLiteral("avatar"));
}

TEST_F(AccessibleRoleTest, OurButtonsActByClickingAndSayWhatTheyAre) {
  const struct {
    const char* name;
    bool checkable;
    std::optional<QAccessible::Role> role;
    QAccessible::Role reported;
    QString action;
    bool enabled;
    int clicks;
  } cases[] = {
      {"button", false, std::nullopt, QAccessible::Button, QAccessibleActionInterface::pressAction(), true,
       1},
      {"toggle", true, std::nullopt, QAccessible::CheckBox, QAccessibleActionInterface::toggleAction(), true,
       1},
      {"page tab", true, QAccessible::PageTab, QAccessible::PageTab,
       QAccessibleActionInterface::pressAction(), true, 1},
      {"disabled", false, std::nullopt, QAccessible::Button, QAccessibleActionInterface::pressAction(), false,
       0},
  };
  for (const auto& c : cases) {
    DropButton button(QStringLiteral("&Saved"), dropControl({}));
    button.setCheckable(c.checkable);
    button.setEnabled(c.enabled);
    if (c.role)
      AccessibleRole::set(&button, *c.role);
    button.show();
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    QAccessibleInterface* face = accessible(&button);
    EXPECT_EQ(face->role(), c.reported) << c.name;
    EXPECT_EQ(face->text(QAccessible::Name), QStringLiteral("Saved")) << c.name;
    // A page tab's check is not a check box's: only its selection is told.
    EXPECT_EQ(face->state().checkable, c.checkable && !c.role) << c.name;
    ASSERT_TRUE(face->actionInterface()->actionNames().contains(c.action)) << c.name;
    face->actionInterface()->doAction(c.action);
    QTest::qWait(1);
    EXPECT_EQ(clicked.size(), c.clicks) << c.name;
    EXPECT_EQ(button.isChecked(), c.checkable && c.clicks > 0) << c.name;
  }
}

} // namespace
} // namespace brindlewick
