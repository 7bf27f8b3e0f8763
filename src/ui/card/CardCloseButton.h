#pragma once

#include "ui/design/DropFeedback.h"

#include <QAbstractButton>

namespace brindlewick {

// The card's round close button: a light "xmark" in a faint disc with a thin ring, the disc
// brightening while the pointer is over it. Escape is the panel's, not this button's: the
// panel already closes the drop on Escape, and a second handler would close it twice.
class CardCloseButton : public QAbstractButton {
  Q_OBJECT

public:
  static constexpr int side = 36;

  explicit CardCloseButton(QWidget* parent = nullptr);

  QSize sizeHint() const override { return QSize(side, side); }
  // The disc's opacity at rest and under the pointer, the ring's in either contrast.
  static qreal fillOpacity(qreal hover) { return 0.05 + (0.14 - 0.05) * hover; }
  static qreal ringOpacity(bool increasedContrast) { return increasedContrast ? 0.65 : 0.13; }

protected:
  bool hitButton(const QPoint& pos) const override;
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  DropFeedback m_hover{this};
};

} // namespace brindlewick
