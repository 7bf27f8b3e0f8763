#include "panel/ReadingWindow.h"

#include <QBackingStore>
#include <QEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <utility>

namespace brindlewick {

ReadingWindow::ReadingWindow(const QRect& contentRect, QSize minimumReadingSize, QWidget* parent)
    : QMainWindow(parent), m_minimumReadingSize(minimumReadingSize) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  setGeometry(contentRect);
  setContentMinimumSize(minimumReadingSize);
  applyMinimumSize();
}

QSize ReadingWindow::chrome() const {
  const QWidget* content = centralWidget();
  if (!content)
    return QSize(0, 0);
  // A window not shown yet lays its content out only when asked: without this a new central
  // widget still has its default size, and the chrome would count most of the window.
  if (layout())
    layout()->activate();
  // What lies before the content (toolbars above it) and after it, measured from where the
  // content is: a window still smaller than its content would otherwise hide part of its
  // toolbars from the count.
  const QRect inner = content->geometry();
  const auto around = [](int frame, int start, int length) {
    return start + std::max(frame - start - length, 0);
  };
  return QSize(around(width(), inner.x(), inner.width()), around(height(), inner.y(), inner.height())) +
         m_hiddenChrome;
}

QSize ReadingWindow::minimumReadingFrameSize() const {
  return m_minimumReadingSize + chrome();
}

QSize ReadingWindow::contentMinimumSize() const {
  return m_contentMinimumSize.expandedTo(m_minimumReadingSize);
}

void ReadingWindow::setContentMinimumSize(QSize size) {
  m_contentMinimumSize = size.expandedTo(m_minimumReadingSize);
}

QSize ReadingWindow::frameMinimumSize() const {
  return m_frameMinimumSize.expandedTo(minimumReadingFrameSize());
}

void ReadingWindow::setFrameMinimumSize(QSize size) {
  m_frameMinimumSize = size.expandedTo(minimumReadingFrameSize());
  applyMinimumSize();
}

QRect ReadingWindow::constrainedFrame(const QRect& requested) const {
  const QSize minimum = minimumReadingFrameSize();
  return QRect(requested.topLeft(), requested.size().expandedTo(minimum));
}

void ReadingWindow::setFrame(const QRect& requested) {
  setGeometry(constrainedFrame(requested));
}

bool ReadingWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  // Toolbars and a new central widget change the chrome; the layout reports each change.
  if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize)
    applyMinimumSize();
  if (event->type() == QEvent::Hide && !isVisible())
    releaseSurface();
  return handled;
}

void ReadingWindow::releaseSurface() {
  // Hidden, the window still keeps an image of its whole area, shared with the X server
  // (2.7 MB at the default size), that nothing shows. It shrinks to a pixel; the first paint
  // after the window shows again sizes it back and paints it whole.
  if (QBackingStore* surface = backingStore())
    surface->resize(QSize(1, 1));
}

void ReadingWindow::applyMinimumSize() {
  if (layout())
    layout()->activate();
  const QSize minimum = frameMinimumSize();
  if (minimumSize() != minimum)
    setMinimumSize(minimum); // Qt grows a smaller window at once, keeping its top-left corner
}

void ReadingWindow::setFullBleed(bool fullBleed) {
  if (fullBleed == m_fullBleed)
    return;
  m_fullBleed = fullBleed;
  if (!fullBleed) {
    for (const QPointer<QWidget>& bar : std::exchange(m_hiddenForFullBleed, {}))
      if (bar)
        bar->show();
    for (const QPointer<QAction>& action : std::exchange(m_carriedActions, {}))
      if (action)
        removeAction(action);
    m_hiddenChrome = QSize(0, 0);
    applyMinimumSize();
    return;
  }
  QList<QWidget*> bars;
  if (QWidget* menu = menuWidget(); menu != nullptr && menu->isVisibleTo(this))
    bars.append(menu);
  for (QToolBar* bar : findChildren<QToolBar*>(Qt::FindDirectChildrenOnly))
    if (bar->isVisibleTo(this))
      bars.append(bar);
  // Each bar takes what it asks for beside the content (the window may not be laid out yet,
  // so their room is not known from their geometry).
  m_hiddenChrome = QSize(0, 0);
  for (QWidget* bar : bars) {
    const QSize asked = QWidgetItem(bar).sizeHint(); // within the bar's minimum and maximum
    const auto* toolBar = qobject_cast<QToolBar*>(bar);
    if (toolBar != nullptr && (toolBarArea(toolBar) & (Qt::LeftToolBarArea | Qt::RightToolBarArea)))
      m_hiddenChrome.rwidth() += asked.width();
    else
      m_hiddenChrome.rheight() += asked.height();
    m_hiddenForFullBleed.append(bar);
    bar->hide();
  }
  // A hidden menu bar's shortcuts would go with it; the window carries them meanwhile.
  if (auto* menuBar = qobject_cast<QMenuBar*>(menuWidget()); menuBar != nullptr && bars.contains(menuBar)) {
    for (QAction* title : menuBar->actions()) {
      if (title->menu() == nullptr)
        continue;
      for (QAction* action : title->menu()->actions()) {
        if (action->shortcut().isEmpty())
          continue;
        addAction(action);
        m_carriedActions.append(action);
      }
    }
  }
  applyMinimumSize();
}

} // namespace brindlewick
