#include "ui/design/DropAccessibility.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTextDocument>
#include <QWidget>

namespace brindlewick {

namespace {

// The help text last set on a widget, so that a later one replaces the description it gave
// and a description of another origin stays.
constexpr char helpProperty[] = "brindlewick.help";

// Qt shows a tooltip only in the active window unless that window says otherwise; a widget
// with help says so for whichever window it is shown in. One watcher serves every widget.
class HelpInAnyWindow : public QObject {
public:
  static HelpInAnyWindow* instance() {
    static QPointer<HelpInAnyWindow> watcher;
    if (watcher.isNull() && QCoreApplication::instance() != nullptr)
      watcher = new HelpInAnyWindow(QCoreApplication::instance());
    return watcher.data();
  }

  static void mark(QWidget* widget) {
    if (QWidget* window = widget->window(); !window->testAttribute(Qt::WA_AlwaysShowToolTips))
      window->setAttribute(Qt::WA_AlwaysShowToolTips);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show)
      mark(static_cast<QWidget*>(watched));
    return false;
  }

private:
  using QObject::QObject;
};

} // namespace

void DropAccessibility::describe(QWidget* widget, const QString& identifier, const QString& label,
                                 const QString& help) {
  widget->setObjectName(identifier);
  if (!label.isEmpty())
    widget->setAccessibleName(label);
  if (!help.isEmpty())
    setHelp(widget, help);
}

void DropAccessibility::setHelp(QWidget* widget, const QString& text) {
  const QString before = widget->property(helpProperty).toString();
  if (widget->accessibleDescription().isEmpty() || widget->accessibleDescription() == before)
    widget->setAccessibleDescription(text);
  widget->setProperty(helpProperty, text);
  widget->setToolTip(text.isEmpty() ? QString() : plainTooltip(text));
  if (text.isEmpty())
    return;
  if (HelpInAnyWindow* watcher = HelpInAnyWindow::instance()) {
    // Installing it again would only move it to the front of the widget's filters.
    if (before.isEmpty())
      widget->installEventFilter(watcher);
  }
  if (widget->isVisible())
    HelpInAnyWindow::mark(widget);
}

QString DropAccessibility::plainTooltip(const QString& text) {
  return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

void DropAccessibility::recordLayout(QWidget* widget, const QString& name) {
  widget->setProperty(layoutProperty, name);
}

} // namespace brindlewick
