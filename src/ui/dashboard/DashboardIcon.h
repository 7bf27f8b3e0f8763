#pragma once

#include "ui/design/DropDesign.h"

#include <QWidget>

#include <optional>

namespace brindlewick {

// The round badge at the start of a dashboard tile or card: a symbol at 0.44 of the badge's
// size on a soft diagonal wash of the accent (or the neutral colour), a white rim and a small
// shadow of the accent. The widget keeps shadowRoom() around the badge. Hidden from assistive
// technology: the tile around it carries the meaning.
class DashboardIcon : public QWidget {
  Q_OBJECT

public:
  // `accent` gives the tint for the scheme the badge is drawn in; empty for the neutral colour.
  DashboardIcon(const QString& symbol, qreal size, DropDesign::ColorFor accent = {},
                QWidget* parent = nullptr);

  void setBadgeSize(qreal size);
  qreal badgeSize() const { return m_size; }
  static qreal symbolSize(qreal badgeSize) { return badgeSize * 0.44; }
  static QMargins shadowRoom();

  // The badge in `box` (its shadow reaches shadowRoom() beyond).
  static void paint(QPainter& painter, const QRectF& box, const QString& symbol,
                    const std::optional<QColor>& accent, ColorScheme scheme);

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString m_symbol;
  qreal m_size;
  DropDesign::ColorFor m_accent;
};

} // namespace brindlewick
