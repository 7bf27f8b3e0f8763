#include "ui/dashboard/DashboardHero.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/dashboard/DashboardState.h"
#include "ui/dashboard/DayGreetingLabel.h"
#include "ui/dashboard/HeroArt.h"
#include "ui/design/DrawingCaches.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropShadow.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"

#include <QCache>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

namespace {

DropDesign::ColorFor paper(qreal opacity) {
  return [opacity](const UiTraits&) { return DropDesign::withOpacity(DropDesign::paper(), opacity); };
}

DropTextBlock* heroText(const QString& value, const DropFont& font, qreal opacity) {
  auto* block = new DropTextBlock(value);
  block->setTextStyle(DropTextBlock::Style{font});
  block->setColor(paper(opacity));
  return block;
}

void paintCard(QPainter& painter, const QRectF& card, bool artwork, qreal ratio) {
  const QPainterPath shape = DropDesign::roundedRect(card, DashboardHero::cornerRadius);
  painter.save();
  painter.setClipPath(shape);
  painter.fillPath(shape, DropDesign::heroGradient(card));
  // The glow: a circle of up to 300 points in the top-trailing corner, pushed out 40 right
  // and 80 up, blurred by 70, drawn as a radial fade.
  const qreal diameter = std::min(300.0, card.height());
  const QPointF centre(card.right() - 150 + 40, card.center().y() - 80);
  const qreal reach = diameter / 2 + 70;
  QRadialGradient glow(centre, reach);
  const QColor colour = DropDesign::withOpacity(DropDesign::heroGlow(), 0.45);
  glow.setColorAt(0, colour);
  glow.setColorAt((diameter / 2 - 35) / reach, DropDesign::withOpacity(colour, 0.8));
  glow.setColorAt(1, DropDesign::withOpacity(colour, 0));
  painter.fillRect(card, glow);
  if (artwork) {
    // Never wider than the room the content leaves it, whatever the hero's height.
    const qreal width = std::min(card.width() - 28, DashboardLayout::artworkRoom);
    HeroArt::paint(painter, QRectF(card.right() - 28 - width, card.top() + 14, width, card.height() - 14),
                   ratio);
  }
  painter.restore();
  DropDesign::strokeInnerEdge(painter, card, DashboardHero::cornerRadius, QColor::fromRgbF(1, 1, 1, 0.12f));
}

} // namespace

DashboardHero::DashboardHero(ReaderModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_column(new QVBoxLayout(this)),
      m_greeting(new DayGreetingLabel(model)), m_nextDrop(new QWidget),
      m_nextDropText(heroText({}, DropFonts::rounded(14, QFont::DemiBold), 1)),
      m_status(heroText({}, DropFonts::rounded(AccountText::calloutSize), 0.78)),
      m_button(new DropButton(dropControl({.prominent = true, .onHero = true}))) {
  UiEnvironment::forceScheme(this, ColorScheme::dark);
  m_column->setContentsMargins(32, 32, 32, 32);
  m_column->setSpacing(20);

  auto* title = new QVBoxLayout;
  title->setSpacing(10);
  m_greeting->setColor(paper(1));
  title->addWidget(m_greeting);
  title->addWidget(heroText(QStringLiteral("Big ideas from books. A small place on your computer."),
                        DropFonts::rounded(16), 0.78));
  m_column->addLayout(title);

  auto* status = new QVBoxLayout;
  status->setSpacing(6);
  auto* dropRow = new QHBoxLayout(m_nextDrop);
  dropRow->setContentsMargins(0, 0, 0, 0);
  dropRow->setSpacing(6);
  auto* symbol = new DropSymbolView(QStringLiteral("drop.fill"), 14, QFont::DemiBold);
  symbol->setColor(paper(1));
  dropRow->addWidget(symbol);
  m_nextDropText->setWrapping(false);
  dropRow->addWidget(m_nextDropText, 1);
  m_nextDrop->setObjectName(QStringLiteral("dashboard.nextDrop"));
  status->addWidget(m_nextDrop);
  m_status->setLineSpacing(4);
  m_status->setObjectName(QStringLiteral("dashboard.status"));
  status->addWidget(m_status);
  m_column->addLayout(status);

  DropAccessibility::describe(m_button, QStringLiteral("dashboard.delivery"), QString());
  connect(m_button, &QPushButton::clicked, this, [this] { m_model.setNavigationTab(ReaderTab::settings); });
  m_column->addWidget(m_button, 0, Qt::AlignLeft);
}

void DashboardHero::show(const DashboardState& state) {
  m_nextDrop->setVisible(state.nextDropLabel.has_value());
  m_nextDropText->setText(QStringLiteral("Next drop ") + state.nextDropLabel.value_or(QString()));
  m_status->setText(state.status());
  m_status->setAccessibleName(state.status());
  const DashboardState::HeroButton button = state.heroButton();
  m_button->setText(button.title);
  m_button->setAccessibleName(button.title);
  m_button->setSymbol(button.symbol);
  m_button->setButtonStyle(dropControl({.prominent = button.prominent, .onHero = true}));
}

void DashboardHero::setArtwork(bool shown, qreal trailingPadding) {
  m_artwork = shown;
  m_column->setContentsMargins(32, 32, 32 + int(trailingPadding), 32);
  update();
}

QMargins DashboardHero::pictureMargins() {
  const int blur = int(std::ceil(1.5 * shadowRadius));
  return QMargins(blur, blur, blur, blur + int(shadowOffset));
}

QPixmap DashboardHero::picture(QSize size, bool artwork, ColorScheme pageScheme, qreal ratio) {
  static QCache<QString, QPixmap> cache(6);
  [[maybe_unused]] static const bool registered = (DrawingCaches::add([] { cache.clear(); }), true);
  const QString key = QStringLiteral("%1x%2/%3/%4/%5")
                          .arg(size.width())
                          .arg(size.height())
                          .arg(artwork)
                          .arg(int(pageScheme))
                          .arg(ratio);
  if (const QPixmap* cached = cache.object(key))
    return *cached;
  const QMargins margins = pictureMargins();
  const QSize whole = size.grownBy(margins);
  const QRectF card(QPointF(margins.left(), margins.top()), QSizeF(size));

  QImage shape((QSizeF(whole) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
  shape.setDevicePixelRatio(ratio);
  shape.fill(Qt::transparent);
  {
    QPainter painter(&shape);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(DropDesign::roundedRect(card, cornerRadius), Qt::black);
  }
  QImage image = DropShadow::cast(shape, shadowRadius, QPointF(0, shadowOffset),
                                  QColor::fromRgbF(0, 0, 0, pageScheme == ColorScheme::dark ? 0.4f : 0.18f));
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    paintCard(painter, card, artwork, ratio);
  }
  auto* result = new QPixmap(QPixmap::fromImage(image));
  cache.insert(key, result);
  return *result;
}

} // namespace brindlewick
