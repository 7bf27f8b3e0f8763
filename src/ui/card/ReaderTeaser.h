#pragma once

#include "content/ContentSnapshots.h"
#include "ui/design/DropFeedback.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QAbstractButton>

#include <functional>
#include <optional>

namespace brindlewick {

// The collapsed drop beside the notch: the logo mark in the topic's colour and the teaser
// line, white on black whatever the desktop's scheme. The whole rectangle is one button that
// opens the reading card; it never takes the keyboard focus from the application in front.
class ReaderTeaser : public QAbstractButton {
  Q_OBJECT

public:
  static constexpr qreal markSize = 24;
  static constexpr qreal horizontalPadding = 24;
  static constexpr qreal spacing = 8;
  static constexpr qreal fontSize = 12;
  static constexpr qreal bottomPaddingAtScale1 = 6;

  ReaderTeaser(const DropSnapshot& snapshot, double textScale, std::function<void()> open,
               QWidget* parent = nullptr);

  const QString& line() const { return m_line; }
  // The font the line is painted in, and the room kept free below it.
  DropFont lineFont(const UiTraits& traits) const;
  qreal bottomPadding() const { return bottomPaddingAtScale1 * m_textScale; }
  // The mark's colour: the topic's hue at a third of its saturation, white under increased
  // contrast.
  static QColor markColor(Category category, bool increasedContrast);
  // Where the mark and the line go in the current size, and the line as it fits there.
  struct Geometry {
    QRectF mark;
    QRectF text;
    QString shownLine;
  };
  Geometry geometry(const UiTraits& traits) const;

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

private:
  // The geometry for the current size and Bold Text, kept between paints: a waiting panel
  // repaints the teaser's edges many times a second, and eliding and shaping the line again
  // each time cost more than the rest of the frame.
  const Geometry& paintedGeometry(const UiTraits& traits);

  Category m_category;
  QString m_line;
  double m_textScale;
  DropFeedback m_hover{this};
  struct CachedGeometry {
    QSize size;
    bool boldText = false;
    Geometry geometry;
  };
  std::optional<CachedGeometry> m_geometry;
};

} // namespace brindlewick
