#include "ui/library/TopicLabel.h"

#include "ui/design/CategoryAccent.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/UiEnvironment.h"
#include "ui/library/LibraryViewModel.h"

#include <QHBoxLayout>
#include <QPainter>

namespace brindlewick {

namespace {

// The topic's dot; decoration only.
class TopicDot : public QWidget {
public:
  TopicDot(Category category, QWidget* parent) : QWidget(parent), m_category(category) {
    setFixedSize(TopicLabel::dotSize, TopicLabel::dotSize);
    UiEnvironment::repaintOnChange(this);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent(m_category, UiEnvironment::instance().schemeOf(this)));
    painter.drawEllipse(QRectF(rect()));
  }

private:
  Category m_category;
};

} // namespace

TopicLabel::TopicLabel(Category category, QWidget* parent)
    : QWidget(parent), m_category(category), m_name(new DropTextBlock(name(category), this)) {
  m_name->setWrapping(false);
  m_name->setTextStyle(DropTextBlock::Style{DropFonts::rounded(13)});
  m_name->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(new TopicDot(category, this), 0, Qt::AlignVCenter);
  layout->addWidget(m_name, 0, Qt::AlignVCenter);
  setAccessibleName(name(category));
}

QString TopicLabel::name(Category category) {
  return LibraryViewModel::capitalized(rawValue(category));
}

} // namespace brindlewick
