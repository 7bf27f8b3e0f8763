#pragma once

#include "ui/design/UiEnvironment.h"

#include <QMargins>
#include <QWidget>

namespace brindlewick {

// The raised rounded panel behind the reader window's sidebar (`elevated` false) and the
// account dropdown (`elevated` true, a deeper and softer shadow): the window's surface
// colour with a hairline shadow, a soft one and a 1-point border. The shadows need room: the
// widget keeps shadowMargins() around the visible panel as its contents margins, so a
// layout set on it places the caller's content on the panel. Content is not clipped to the
// panel's corners.
class DropSidebarSurface : public QWidget {
  Q_OBJECT

public:
  explicit DropSidebarSurface(bool elevated, QWidget* parent = nullptr);

  bool isElevated() const { return m_elevated; }
  // The visible panel, in the widget's coordinates.
  QRect panelRect() const;

  static QMargins shadowMargins(bool elevated);
  // The panel over `panel`, shadows included (they reach shadowMargins() beyond it).
  static void paint(QPainter& painter, const QRectF& panel, bool elevated, const UiTraits& traits);

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  bool m_elevated;
};

} // namespace brindlewick
