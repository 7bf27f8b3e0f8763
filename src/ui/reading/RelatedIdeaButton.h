#pragma once

#include "ui/design/DropButton.h"

class QTextLayout;

namespace brindlewick {

// A related idea to keep exploring: the button of the page's secondary look whose label is
// the idea's headline after an arrow, aligned to the leading edge and wrapped over as many
// lines as it needs, never cut. One line is the style's height; the capsule grows by a line
// for each line more.
class RelatedIdeaButton : public DropButton {
  Q_OBJECT

public:
  explicit RelatedIdeaButton(const QString& headline, QWidget* parent = nullptr);

  // The lines the headline takes in a shape `shapeWidth` wide.
  int lineCount(qreal shapeWidth) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  QPainterPath hitShape() const override;

private:
  // The headline laid out in lines at most `width` wide; returns the number of lines.
  int layOut(QTextLayout& layout, qreal width) const;
  qreal textWidth(qreal shapeWidth) const;
  qreal shapeHeight(int lines) const;
  void paintHeadline(QPainter& painter, const QRectF& content, const QColor& color, const QFont& font);
};

} // namespace brindlewick
