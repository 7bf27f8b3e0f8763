#pragma once

#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"

#include <QWidget>

#include <functional>
#include <optional>

class QTextLayout;

namespace brindlewick {

// A block of plain text, never read as markup: wrapped at word boundaries (anywhere in a
// word longer than the line), with tracking and extra space between lines, aligned leading,
// centred or trailing; or one line elided at its end. Its height for a width is rounded up
// to whole pixels, so a layout never clips the last line. Font and colour are asked when it
// lays out and paints; without them it takes the widget's (inherited) font and the
// palette's foreground.
class DropTextBlock : public QWidget {
  Q_OBJECT

public:
  struct Style {
    std::optional<DropFont> font = std::nullopt;
    qreal tracking = 0; // extra space after each character, in pixels
    bool underline = false;
  };
  using StyleFor = std::function<Style(const UiTraits&)>;

  explicit DropTextBlock(const QString& text = {}, QWidget* parent = nullptr);

  const QString& text() const { return m_text; }
  void setText(const QString& text);
  void setTextStyle(const Style& style);
  // A style that follows the environment (Bold Text, say).
  void setTextStyle(StyleFor style);
  void setColor(DropDesign::ColorFor color);
  // Extra space between two lines, in pixels.
  void setLineSpacing(qreal spacing);
  void setAlignment(Qt::Alignment alignment);
  void setWrapping(bool wrapping);
  // At most `lines` wrapped lines, the last one ending in an ellipsis when text is cut; 0
  // for no limit.
  void setMaximumLines(int lines);
  int maximumLines() const { return m_maximumLines; }
  // Whether the text needs more lines than the limit at `width`.
  bool isClamped(int width) const;
  // Lets the reader select the text with the pointer (a drag, a double click for a word,
  // Shift to extend) and copy it (Ctrl+C, the context menu, and the selection clipboard where
  // the desktop has one). For wrapping text without a line limit, which shows all of it.
  void setSelectable(bool selectable);
  bool isSelectable() const { return m_selectable; }
  QString selectedText() const;

public Q_SLOTS:
  // The Edit menu's commands, for a selectable block with the keyboard focus.
  void copy() const;
  void selectAll();

public:
  // The font the text is set in now, tracking and underline included.
  QFont textFont() const;
  QColor textColor() const;
  // From the top to the first line's baseline.
  qreal firstBaseline() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return m_wrapping; }
  int heightForWidth(int width) const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  // Lays the text out in `width` and returns its height (not rounded).
  qreal layOut(QTextLayout& layout, qreal width) const;
  qreal lineHeight() const;
  void changed();
  // The text position nearest to `point`, as laid out at the current width.
  int positionAt(const QPointF& point) const;
  void select(int anchor, int cursor);

  QString m_text;
  StyleFor m_style;
  DropDesign::ColorFor m_color;
  qreal m_lineSpacing = 0;
  Qt::Alignment m_alignment = Qt::AlignLeft;
  bool m_wrapping = true;
  int m_maximumLines = 0;
  bool m_selectable = false;
  // The selection runs from the anchor to the cursor, either way round.
  int m_anchor = 0;
  int m_cursor = 0;
};

} // namespace brindlewick
