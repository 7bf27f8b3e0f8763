#pragma once

#include "ui/design/DropPaintedButton.h"
#include "ui/design/UiEnvironment.h"

#include <QColor>

#include <optional>

class QPainter;

namespace brindlewick {

// The look of an item that can be the current choice (a sidebar page, a dashboard tile): a
// rounded tile, filled while selected or pressed, lightly filled on hover, ringed outside its
// edge while it has keyboard focus (the design's focus ring, never the selected fill, so a
// focused item is not mistaken for the chosen one); a selected glass item sits on tinted glass
// instead. An accent (`highlight`) replaces the neutral fills and the contrast frame.
struct DropSelectionStyle {
  bool selected = false;
  std::optional<QColor> highlight = std::nullopt;
  bool glass = false;

  static constexpr qreal cornerRadius = 16;

  // `selection` runs from 0 to 1 as the item becomes selected.
  static void paint(QPainter& painter, const QRectF& tile, const DropSelectionStyle& style, qreal selection,
                    const ControlState& state, const UiTraits& traits);
  // The fill of a tile that is selected (or pressed), and of a hovered one.
  QColor selectedFill(ColorScheme scheme) const;
  QColor hoverFill(ColorScheme scheme) const;
  QColor borderColor(ColorScheme scheme) const;
  // The label's colour: the primary label colour.
  static QColor foreground(ColorScheme scheme);
};

// A selectable item hosting the caller's label: lay it out in the item (it adds no padding
// or size of its own). Its label takes the foreground colour through the palette. It keeps
// room around its tile for the focus ring, a glass item for the glass's shadow.
class DropSelectionItem : public DropPaintedButton {
  Q_OBJECT

public:
  explicit DropSelectionItem(const DropSelectionStyle& style, QWidget* parent = nullptr);

  const DropSelectionStyle& selectionStyle() const { return m_style; }
  void setSelectionStyle(const DropSelectionStyle& style);
  void setSelected(bool selected);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  static QMargins shapeRoom(const DropSelectionStyle& style);

  DropSelectionStyle m_style;
  DropFeedback m_selection{this};
};

} // namespace brindlewick
