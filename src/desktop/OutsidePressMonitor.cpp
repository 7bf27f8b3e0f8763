#include "desktop/OutsidePressMonitor.h"

#include <QCoreApplication>
#include <QMouseEvent>

namespace brindlewick {

void OutsidePressMonitor::startWatching() {
  if (m_watchers++ == 0)
    setListening(true);
}

void OutsidePressMonitor::stopWatching() {
  if (m_watchers == 0)
    return;
  if (--m_watchers == 0)
    setListening(false);
}

ApplicationPressMonitor::ApplicationPressMonitor(QObject* parent) : OutsidePressMonitor(parent) {
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->installEventFilter(this);
  }
}

ApplicationPressMonitor::~ApplicationPressMonitor() {
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->removeEventFilter(this);
  }
}

bool ApplicationPressMonitor::eventFilter(QObject* watched, QEvent* event) {
  // A press reaches the window first and then each widget on its way; counting it at the
  // window alone reports it once.
  if (event->type() == QEvent::MouseButtonPress && watched->isWindowType()) {
    const auto* press = static_cast<const QMouseEvent*>(event);
    if (press->button() == Qt::LeftButton || press->button() == Qt::RightButton) {
      Q_EMIT pressed(press->globalPosition());
    }
  }
  return false;
}

} // namespace brindlewick
