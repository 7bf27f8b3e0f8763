#pragma once

#include "ui/design/DropDesign.h"

#include <QBasicTimer>
#include <QWidget>

namespace brindlewick {

// The small circular progress indicator: twelve spokes, the brightest one stepping round.
// Its timer runs only while it is visible, so a hidden spinner costs no wake-ups. Decoration:
// the text beside it says what runs.
class DropSpinner : public QWidget {
  Q_OBJECT

public:
  // The indicator's diameter at the small control size, and in a menu row.
  static constexpr qreal small = 16;
  static constexpr qreal mini = 12;
  static constexpr int spokes = 12;
  static constexpr int stepMilliseconds = 83;

  explicit DropSpinner(qreal diameter = small, QWidget* parent = nullptr);

  bool isSpinning() const { return m_timer.isActive(); }
  int phase() const { return m_phase; }
  void setColor(DropDesign::ColorFor color);

  QSize sizeHint() const override;
  // The spinner at `phase` (the brightest spoke), its circle filling `box`'s shorter side.
  static void paint(QPainter& painter, const QRectF& box, int phase, const QColor& color);

protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

private:
  qreal m_diameter;
  int m_phase = 0;
  QBasicTimer m_timer;
  DropDesign::ColorFor m_color;
};

} // namespace brindlewick
