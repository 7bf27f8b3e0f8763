#include "ui/card/DropCardContent.h"

#include "ui/card/BookLine.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/DropEyebrow.h"
#include "ui/design/DropStandardWidgets.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

DropCardContent::DropCardContent(const DropSnapshot& snapshot, double textScale,
                                 std::function<void()> openInWindow, QWidget* parent)
    : QWidget(parent), m_eyebrow(new DropEyebrow(snapshot.lore.category, rawValue(snapshot.lore.kind), true)),
      m_explanation(new DropTextBlock(snapshot.lore.explanation)) {
  // Tab and "Focus reader for keyboard" bring the keyboard here; a click does not.
  setFocusPolicy(Qt::TabFocus);
  setAccessibleName(snapshot.lore.explanation);
  AccessibleRole::set(this, QAccessible::Paragraph);
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 20, 0, 4);
  stack->setSpacing(22);
  // Stretch on both sides centres short content in the height it is given.
  stack->addStretch(1);
  stack->addWidget(m_eyebrow, 0, Qt::AlignHCenter);

  m_explanation->setTextStyle([textScale](const UiTraits& traits) {
    return DropTextBlock::Style{
        DropFonts::display(explanationSize * textScale, traits.boldText ? QFont::Medium : QFont::Normal),
        -0.3};
  });
  m_explanation->setColor([](const UiTraits&) { return DropDesign::paper(); });
  m_explanation->setLineSpacing(explanationLineSpacing(textScale));
  m_explanation->setAlignment(Qt::AlignHCenter);
  stack->addWidget(m_explanation);

  if (!snapshot.books.isEmpty()) {
    auto* books = new QVBoxLayout;
    books->setSpacing(10);
    const Category category = snapshot.lore.category;
    for (const Book& book : snapshot.books) {
      auto* line = new BookLine(book, BookLine::link(snapshot, book), openInWindow);
      DropStandardWidgets::keep(line, [line, textScale] {
        const UiTraits traits = UiEnvironment::instance().traitsOf(line);
        line->setFont(
            DropFonts::rounded(bookLineSize * textScale, traits.boldText ? QFont::Normal : QFont::Light)
                .font());
      });
      DropStandardWidgets::keepForeground(line, [category](const UiTraits& traits) {
        return traits.increasedContrast ? QColor(Qt::white) : accent(category, ColorScheme::dark);
      });
      books->addWidget(line);
      m_books.append(line);
    }
    stack->addLayout(books);
  }
  stack->addStretch(1);
}

void DropCardContent::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  Q_EMIT showsFocusChanged();
}

void DropCardContent::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  Q_EMIT showsFocusChanged();
}

void DropCardContent::keyPressEvent(QKeyEvent* event) {
  QAbstractScrollArea* scroll = nullptr;
  for (QWidget* ancestor = parentWidget(); ancestor && !scroll; ancestor = ancestor->parentWidget())
    scroll = qobject_cast<QAbstractScrollArea*>(ancestor);
  QScrollBar* bar = scroll ? scroll->verticalScrollBar() : nullptr;
  const auto scrollBy = [bar](QAbstractSlider::SliderAction action) {
    if (bar)
      bar->triggerAction(action);
  };
  switch (event->key()) {
  case Qt::Key_Up: scrollBy(QAbstractSlider::SliderSingleStepSub); break;
  case Qt::Key_Down: scrollBy(QAbstractSlider::SliderSingleStepAdd); break;
  case Qt::Key_PageUp: scrollBy(QAbstractSlider::SliderPageStepSub); break;
  case Qt::Key_PageDown: scrollBy(QAbstractSlider::SliderPageStepAdd); break;
  case Qt::Key_Home: scrollBy(QAbstractSlider::SliderToMinimum); break;
  case Qt::Key_End: scrollBy(QAbstractSlider::SliderToMaximum); break;
  // The text is read, not acted on: these keys go nowhere else either.
  case Qt::Key_Return:
  case Qt::Key_Enter:
  case Qt::Key_Space: break;
  default: QWidget::keyPressEvent(event); return;
  }
  event->accept();
}

qreal DropCardContent::explanationLineSpacing(double textScale) {
  return std::round(explanationSize * textScale * 0.12);
}

} // namespace brindlewick
