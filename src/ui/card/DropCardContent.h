#pragma once

#include "content/ContentSnapshots.h"

#include <QWidget>

#include <functional>

namespace brindlewick {

class BookLine;
class DropEyebrow;
class DropTextBlock;

// What the reader reads on the card: the topic and kind, the explanation set large in the
// display face, centred, and one line per book the drop cites. Everything is plain text.
// Laid out in a box at least `minimumHeight` high, the content sits centred in it.
//
// The keyboard's first stop on the card, where no key changes anything: assistive technology
// hears it as the drop's text; the arrow and page keys scroll a long explanation, and Return
// and Space do nothing. Only the keyboard brings focus here, and the card shows it.
class DropCardContent : public QWidget {
  Q_OBJECT

public:
  static constexpr qreal explanationSize = 24;
  static constexpr qreal bookLineSize = 12;

  DropCardContent(const DropSnapshot& snapshot, double textScale, std::function<void()> openInWindow,
                  QWidget* parent = nullptr);

  // Extra space between two lines of the explanation at a text scale, in whole points.
  static qreal explanationLineSpacing(double textScale);

  DropTextBlock* explanation() const { return m_explanation; }
  const QList<BookLine*>& bookLines() const { return m_books; }
  // Holds the keyboard focus, which the card rings.
  bool showsFocus() const { return hasFocus(); }

Q_SIGNALS:
  void showsFocusChanged();

protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  DropEyebrow* m_eyebrow;
  DropTextBlock* m_explanation;
  QList<BookLine*> m_books;
};

} // namespace brindlewick
