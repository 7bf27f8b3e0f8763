#include "ui/design/ButtonShortcut.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QShortcut>

namespace brindlewick {

// The key of one page's button. It looks again whether the window's actions claim its key
// each time its page is shown, which is when the page has reached its window.
class PageShortcut : public QShortcut {
  Q_OBJECT

public:
  PageShortcut(const QKeySequence& keys, QWidget* owner, std::function<QAbstractButton*()> button)
      : QShortcut(keys, owner), m_owner(owner), m_button(std::move(button)) {
    setContext(Qt::WindowShortcut);
    connect(this, &QShortcut::activated, this, [this] {
      if (QAbstractButton* target = m_button())
        target->click();
    });
    owner->installEventFilter(this);
    standAsideForActions();
  }

  QAbstractButton* button() const { return m_button(); }
  bool isShown() const { return m_owner->isVisible(); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == m_owner && (event->type() == QEvent::Show || event->type() == QEvent::ParentChange))
      standAsideForActions();
    return QShortcut::eventFilter(watched, event);
  }

private:
  void standAsideForActions() {
    const QKeySequence keys = key();
    bool claimed = false;
    for (const QAction* action : m_owner->window()->findChildren<QAction*>()) {
      if (action->shortcuts().contains(keys)) {
        claimed = true;
        break;
      }
    }
    setEnabled(!claimed);
  }

  QWidget* m_owner;
  std::function<QAbstractButton*()> m_button;
};

void ButtonShortcut::install(QWidget* owner, const QKeySequence& keys,
                             std::function<QAbstractButton*()> button) {
  new PageShortcut(keys, owner, std::move(button));
}

QAbstractButton* ButtonShortcut::shownButton(QWidget* window, const QKeySequence& keys) {
  if (window == nullptr)
    return nullptr;
  for (const PageShortcut* shortcut : window->findChildren<PageShortcut*>()) {
    if (shortcut->key() == keys && shortcut->isShown())
      return shortcut->button();
  }
  return nullptr;
}

} // namespace brindlewick

#include "ButtonShortcut.moc"
