#include "ui/design/AccessibleRole.h"

#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWidget>

#include <algorithm>

namespace brindlewick {

namespace {

constexpr char roleProperty[] = "brindlewick.accessibleRole";
constexpr char hiddenProperty[] = "brindlewick.accessibleHidden";
constexpr char transparentProperty[] = "brindlewick.accessibleTransparent";
constexpr char combinedProperty[] = "brindlewick.accessibleCombined";
constexpr char modalProperty[] = "brindlewick.accessibleModal";
constexpr char selectedProperty[] = "brindlewick.accessibleSelected";
constexpr char sortPriorityProperty[] = "brindlewick.accessibleSortPriority";
constexpr char standForProperty[] = "brindlewick.accessibleStandFor";

bool flagged(const QObject* object, const char* property) {
  return object != nullptr && object->property(property).toBool();
}

constexpr char pressHookName[] = "brindlewick.accessiblePress";

// What a press from assistive technology runs on the widget that owns it.
class PressHook : public QObject {
public:
  PressHook(QWidget* widget, std::function<void()> press) : QObject(widget), m_press(std::move(press)) {
    setObjectName(QLatin1String(pressHookName));
  }
  void press() const { m_press(); }

private:
  std::function<void()> m_press;
};

PressHook* pressHook(const QWidget* widget) {
  return widget->findChild<PressHook*>(QLatin1String(pressHookName), Qt::FindDirectChildrenOnly);
}

int sortPriority(const QAccessibleInterface* element) {
  const QObject* object = element->object();
  return object != nullptr ? object->property(sortPriorityProperty).toInt() : 0;
}

bool saysNothing(QAccessibleInterface* element);

// A child as the tree shows it: left out when hidden or when it says nothing, replaced by
// what it holds when transparent (whose own children are already filtered).
void appendShown(QList<QAccessibleInterface*>& shown, QAccessibleInterface* child) {
  if (child == nullptr || flagged(child->object(), hiddenProperty) || saysNothing(child))
    return;
  if (!flagged(child->object(), transparentProperty)) {
    shown.append(child);
    return;
  }
  for (int i = 0; i < child->childCount(); ++i)
    shown.append(child->child(i));
}

// What `element` reads: its name, else what it holds.
void appendSpoken(QStringList& spoken, QAccessibleInterface* element) {
  if (const QString name = element->text(QAccessible::Name); !name.isEmpty()) {
    spoken.append(name);
    return;
  }
  for (int i = 0; i < element->childCount(); ++i)
    appendSpoken(spoken, element->child(i));
}

// The control a stand-in holds the focus for; none for any other widget.
QAccessibleInterface* standingFor(const QWidget* widget) {
  const auto control = widget->property(standForProperty).value<QPointer<QWidget>>();
  return control.isNull() ? nullptr : QAccessible::queryAccessibleInterface(control.data());
}

// A painted widget as the wishes recorded on it describe it.
class DesignedAccessible : public QAccessibleWidget {
public:
  explicit DesignedAccessible(QWidget* widget) : QAccessibleWidget(widget) {}

  QAccessible::Role role() const override {
    if (const QAccessibleInterface* control = standingFor(widget()))
      return control->role();
    const QVariant role = widget()->property(roleProperty);
    return role.isValid() ? QAccessible::Role(role.toInt()) : QAccessibleWidget::role();
  }

  QString text(QAccessible::Text type) const override {
    if (const QAccessibleInterface* control = standingFor(widget()))
      return control->text(type);
    return QAccessibleWidget::text(type);
  }

  QAccessible::State state() const override {
    if (const QAccessibleInterface* control = standingFor(widget())) {
      QAccessible::State state = control->state();
      state.disabled = true;
      state.busy = true;
      state.focusable = true;
      state.focused = widget()->hasFocus();
      return state;
    }
    QAccessible::State state = QAccessibleWidget::state();
    if (flagged(widget(), hiddenProperty))
      state.invisible = true;
    if (flagged(widget(), modalProperty))
      state.modal = true;
    if (const QVariant selected = widget()->property(selectedProperty); selected.isValid()) {
      state.selectable = true;
      state.selected = selected.toBool();
    }
    return state;
  }

  int childCount() const override { return int(shown().size()); }
  QAccessibleInterface* child(int index) const override { return shown().value(index); }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return int(shown().indexOf(const_cast<QAccessibleInterface*>(child)));
  }

  QAccessibleInterface* parent() const override {
    QAccessibleInterface* parent = QAccessibleWidget::parent();
    while (parent != nullptr && flagged(parent->object(), transparentProperty))
      parent = parent->parent();
    return parent;
  }

  QStringList actionNames() const override {
    if (standingFor(widget()) != nullptr)
      return {};
    QStringList names = QAccessibleWidget::actionNames();
    if (pressHook(widget()) != nullptr && !names.contains(pressAction()))
      names.prepend(pressAction());
    return names;
  }

  void doAction(const QString& name) override {
    const PressHook* hook = pressHook(widget());
    if (hook == nullptr || name != pressAction()) {
      QAccessibleWidget::doAction(name);
      return;
    }
    // After the call has been answered: what it opens must not keep the bus waiting.
    QMetaObject::invokeMethod(
        const_cast<PressHook*>(hook), [hook] { hook->press(); }, Qt::QueuedConnection);
  }

  // Whether no child would be shown; stops at the first that would.
  bool holdsNothing() const {
    if (flagged(widget(), combinedProperty))
      return true;
    for (int i = 0; i < QAccessibleWidget::childCount(); ++i) {
      QList<QAccessibleInterface*> one;
      appendShown(one, QAccessibleWidget::child(i));
      if (!one.isEmpty())
        return false;
    }
    return true;
  }

private:
  QList<QAccessibleInterface*> shown() const {
    QList<QAccessibleInterface*> shown;
    if (flagged(widget(), combinedProperty))
      return shown;
    for (int i = 0; i < QAccessibleWidget::childCount(); ++i)
      appendShown(shown, QAccessibleWidget::child(i));
    std::stable_sort(shown.begin(), shown.end(),
                     [](const QAccessibleInterface* left, const QAccessibleInterface* right) {
                       return sortPriority(left) > sortPriority(right);
                     });
    return shown;
  }
};

// A painted area or an empty box that says nothing, holds nothing and takes no keys: a
// spacer, a rule, a spinner beside its words. Read, it would only be "unlabelled".
bool saysNothing(QAccessibleInterface* element) {
  if (element->role() != QAccessible::Client || !element->text(QAccessible::Name).isEmpty() ||
      !element->text(QAccessible::Description).isEmpty() || element->state().focusable)
    return false;
  if (const auto* designed = dynamic_cast<const DesignedAccessible*>(element))
    return designed->holdsNothing();
  return element->childCount() == 0;
}

// One of our buttons. Its press (and toggle) action is a click, as a pointer gives it, so
// that whoever listens to clicked() hears assistive technology too (a bare toggle would
// change the check and tell no one).
class DesignedButtonAccessible : public DesignedAccessible {
public:
  explicit DesignedButtonAccessible(QAbstractButton* button) : DesignedAccessible(button) {}

  QAccessible::Role role() const override {
    if (widget()->property(roleProperty).isValid())
      return DesignedAccessible::role();
    return button()->isCheckable() ? QAccessible::CheckBox : QAccessible::Button;
  }

  QAccessible::State state() const override {
    QAccessible::State state = DesignedAccessible::state();
    state.pressed = button()->isDown();
    // A page tab's check is its selection, told through setSelected().
    if (button()->isCheckable() && role() != QAccessible::PageTab) {
      state.checkable = true;
      state.checked = button()->isChecked();
    }
    // A choice of a set is checked when it is the one selected.
    if (role() == QAccessible::RadioButton) {
      state.checkable = true;
      state.checked = state.selected;
      state.selectable = state.selected = false;
    }
    return state;
  }

  // A button is one element: what it paints inside is read through its name. What it opens
  // (a list of choices) is read inside it while shown.
  int childCount() const override { return int(openPopups().size()); }
  QAccessibleInterface* child(int index) const override { return openPopups().value(index); }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return int(openPopups().indexOf(const_cast<QAccessibleInterface*>(child)));
  }

  // Unnamed and untitled, it reads as the content it paints (a summary, say).
  QString text(QAccessible::Text type) const override {
    if (type != QAccessible::Name || !widget()->accessibleName().isEmpty())
      return DesignedAccessible::text(type);
    if (!button()->text().isEmpty())
      return button()->text().remove(u'&');
    QStringList content;
    for (int i = 0; i < DesignedAccessible::childCount(); ++i)
      appendSpoken(content, DesignedAccessible::child(i));
    return content.join(QStringLiteral(", "));
  }

  QStringList actionNames() const override {
    QStringList names{pressAction()};
    if (button()->isCheckable() && role() != QAccessible::PageTab)
      names.append(toggleAction());
    return names + DesignedAccessible::actionNames();
  }

  void doAction(const QString& name) override {
    if (name != pressAction() && name != toggleAction()) {
      DesignedAccessible::doAction(name);
      return;
    }
    // After the call has been answered: a click may open a menu and wait in it, and the
    // bus must not wait with it.
    if (button()->isEnabled() && button()->isVisible())
      QMetaObject::invokeMethod(button(), &QAbstractButton::click, Qt::QueuedConnection);
  }

private:
  QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }

  // The shown pop-up windows the button holds that name it as their parent: a window is no
  // child of its parent widget for Qt, nor of the application when it is a pop-up, so it would
  // be out of the tree. A menu, which names another parent, is left where it reads.
  QList<QAccessibleInterface*> openPopups() const {
    QList<QAccessibleInterface*> popups;
    for (QWidget* child : widget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (child->windowType() != Qt::Popup || !child->isVisible())
        continue;
      QAccessibleInterface* popup = QAccessible::queryAccessibleInterface(child);
      const QAccessibleInterface* parent = popup != nullptr ? popup->parent() : nullptr;
      if (parent != nullptr && parent->object() == widget())
        popups.append(popup);
    }
    return popups;
  }
};

bool ours(const QMetaObject* type) {
  for (; type != nullptr; type = type->superClass())
    if (QLatin1String(type->className()).startsWith(QLatin1String("brindlewick::")))
      return true;
  return false;
}

// Consulted for each class of a widget, most derived first. Our buttons and any widget given
// a role are answered at once; any other widget only when nothing more specific than QWidget
// answered for it (a label, an edit or a scroll area keeps Qt's own interface).
QAccessibleInterface* designedFactory(const QString& className, QObject* object) {
  if (object == nullptr || !object->isWidgetType())
    return nullptr;
  const bool first = className == QLatin1String(object->metaObject()->className());
  auto* button = qobject_cast<QAbstractButton*>(object);
  if (button != nullptr && first && ours(object->metaObject()))
    return new DesignedButtonAccessible(button);
  const bool wished =
      object->property(roleProperty).isValid() || object->property(standForProperty).isValid();
  if (button == nullptr && (className == QLatin1String("QWidget") || (first && wished)))
    return new DesignedAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

// A widget whose construction already told a listening tree something has Qt's interface; the
// next question builds ours. (Nobody listening, nothing was built.)
void answerWithOurs(QWidget* widget) {
  if (!QAccessible::isActive())
    return;
  QAccessibleInterface* existing = QAccessible::queryAccessibleInterface(widget);
  if (existing != nullptr && dynamic_cast<DesignedAccessible*>(existing) == nullptr)
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(existing));
}

void tell(QObject* object, QAccessible::Event type) {
  QAccessibleEvent event(object, type);
  QAccessible::updateAccessibility(&event);
}

} // namespace

// After the application's own factory, so that ours is asked first.
void AccessibleRole::install() {
  static const bool installed = [] {
    QAccessible::installFactory(designedFactory);
    return true;
  }();
  Q_UNUSED(installed);
}

void AccessibleRole::set(QWidget* widget, QAccessible::Role role) {
  install();
  widget->setProperty(roleProperty, int(role));
  answerWithOurs(widget);
}

void AccessibleRole::setHidden(QWidget* widget, bool hidden) {
  install();
  if (hidden == isHidden(widget))
    return;
  widget->setProperty(hiddenProperty, hidden);
  if (!widget->isVisible())
    return;
  tell(widget, hidden ? QAccessible::ObjectHide : QAccessible::ObjectShow);
  if (QWidget* parent = widget->parentWidget())
    tell(parent, QAccessible::ObjectReorder);
}

bool AccessibleRole::isHidden(const QWidget* widget) {
  return flagged(widget, hiddenProperty);
}

void AccessibleRole::setTransparent(QWidget* widget) {
  install();
  widget->setProperty(transparentProperty, true);
}

void AccessibleRole::combine(QWidget* widget, const QString& name) {
  install();
  const bool combined = !name.isEmpty();
  widget->setAccessibleName(name);
  if (combined == flagged(widget, combinedProperty))
    return;
  widget->setProperty(combinedProperty, combined);
  if (widget->isVisible())
    tell(widget, QAccessible::ObjectReorder);
}

void AccessibleRole::setModal(QWidget* widget) {
  install();
  widget->setProperty(modalProperty, true);
}

void AccessibleRole::standFor(QWidget* standIn, QWidget* control) {
  install();
  standIn->setProperty(standForProperty, QVariant::fromValue(QPointer<QWidget>(control)));
  answerWithOurs(standIn);
}

void AccessibleRole::setSelected(QWidget* widget, bool selected) {
  install();
  const QVariant before = widget->property(selectedProperty);
  if (before.isValid() && before.toBool() == selected)
    return;
  widget->setProperty(selectedProperty, selected);
  QAccessible::State changed;
  changed.selected = true;
  QAccessibleStateChangeEvent event(widget, changed);
  QAccessible::updateAccessibility(&event);
}

void AccessibleRole::setPress(QWidget* widget, std::function<void()> press) {
  install();
  delete pressHook(widget);
  if (press)
    new PressHook(widget, std::move(press));
}

void AccessibleRole::setSortPriority(QWidget* widget, int priority) {
  install();
  if (widget->property(sortPriorityProperty).toInt() == priority)
    return;
  widget->setProperty(sortPriorityProperty, priority);
  if (QWidget* parent = widget->parentWidget(); parent != nullptr && parent->isVisible())
    tell(parent, QAccessible::ObjectReorder);
}

} // namespace brindlewick
