#pragma once

#include "ui/design/DropFeedback.h"
#include "ui/design/UiEnvironment.h"

#include <QWidget>

class QAbstractButton;

namespace brindlewick {

class ReadingSearchInput;

// The reader window's search box: a 40-high capsule holding a magnifying glass, the text
// field and, while there is text, a clear button. The text is the owner's: the reader's
// edits, the clear button and Escape reach it through textEdited(), and the owner's own
// changes come back through setText(). While the field is being edited the capsule's border
// and the glass turn to the text colour. The caller sets the width.
class DropSearchField : public QWidget {
  Q_OBJECT

public:
  explicit DropSearchField(const QString& prompt, QWidget* parent = nullptr);

  QString text() const;
  void setText(const QString& text);
  ReadingSearchInput* input() const { return m_input; }
  QAbstractButton* clearButton() const { return m_clear; }

  // The capsule and its border; `focus` from 0 to 1 as editing begins.
  static void paintCapsule(QPainter& painter, const QRectF& rect, qreal focus, ColorScheme scheme);
  static QColor glassColor(qreal focus, ColorScheme scheme);

  QSize sizeHint() const override;

Q_SIGNALS:
  void textEdited(const QString& text);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  ReadingSearchInput* m_input;
  QAbstractButton* m_clear;
  DropFeedback m_focus{this};
};

} // namespace brindlewick
