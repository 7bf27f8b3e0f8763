#pragma once

#include "content/ContentContracts.h"
#include "ui/design/DropFonts.h"
#include "ui/design/UiEnvironment.h"

#include <QWidget>

namespace brindlewick {

class CardCloseButton;

// The card's top line: the wordmark (the mark and "BRINDLEWICK", tracked) centred in the
// topic's accent, white under increased contrast, and the close button at the trailing edge
// on the same line.
class CardHeader : public QWidget {
  Q_OBJECT

public:
  explicit CardHeader(QWidget* parent = nullptr);

  void setCategory(Category category);
  CardCloseButton* closeButton() const { return m_close; }
  static DropFont wordmarkFont(const UiTraits& traits);
  QColor wordmarkColor(const UiTraits& traits) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  Category m_category = Category::biography;
  CardCloseButton* m_close;
};

} // namespace brindlewick
