#include "ui/onboarding/FullBleedWindow.h"

#include "panel/ReadingWindow.h"

#include <QEvent>
#include <QWidget>

namespace brindlewick {

FullBleedWindow::FullBleedWindow(QWidget* screen) : QObject(screen), m_screen(screen) {
  screen->installEventFilter(this);
  if (screen->isVisible())
    attach();
}

FullBleedWindow::~FullBleedWindow() {
  detach();
}

bool FullBleedWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_screen) {
    if (event->type() == QEvent::Show)
      attach();
    else if (event->type() == QEvent::Hide)
      detach();
  }
  return false;
}

ReadingWindow* FullBleedWindow::host() const {
  return qobject_cast<ReadingWindow*>(m_host.data());
}

void FullBleedWindow::attach() {
  auto* window = qobject_cast<ReadingWindow*>(m_screen->window());
  if (window == host())
    return;
  detach();
  m_host = window;
  if (window)
    window->setFullBleed(true);
}

void FullBleedWindow::detach() {
  if (ReadingWindow* window = host())
    window->setFullBleed(false);
  m_host = nullptr;
}

} // namespace brindlewick
