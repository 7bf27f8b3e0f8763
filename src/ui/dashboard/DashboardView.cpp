#include "ui/dashboard/DashboardView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/account/AccountView.h"
#include "ui/dashboard/DashboardCard.h"
#include "ui/dashboard/DashboardHero.h"
#include "ui/dashboard/DashboardIcon.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropSectionLabel.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

namespace {

DropTextBlock* textBlock(const DropFont& font, DropDesign::ColorFor color) {
  auto* block = new DropTextBlock;
  block->setTextStyle(DropTextBlock::Style{font});
  block->setColor(std::move(color));
  return block;
}

DropFont valueFont(qreal size) {
  return DropFonts::rounded(size, QFont::DemiBold);
}

} // namespace

DashboardView::DashboardView(ReaderModel& model, qreal availableWidth, QWidget* parent)
    : QWidget(parent), m_model(model), m_availableWidth(availableWidth), m_hero(new DashboardHero(model)),
      m_account(new AccountView(model, true)) {
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(24, 24, 24, 24);
  page->setSpacing(24);
  page->addWidget(m_hero);
  page->addWidget(m_account);

  auto* tiles = new QHBoxLayout;
  tiles->setSpacing(24);
  for (const DashboardState::Tile& tile : DashboardState{}.tiles()) {
    const Tile made = makeTile(tile);
    m_tiles.append(made);
    tiles->addWidget(made.card, 1, Qt::AlignTop);
  }
  page->addLayout(tiles);
  m_continue = makeContinueCard();
  page->addWidget(m_continue);
  page->addStretch(1);

  UiEnvironment::repaintOnChange(this);
  DashboardState::watch(model, this, [this] { rebuild(); });
  rebuild();
  applyMetrics();
}

DashboardView::Tile DashboardView::makeTile(const DashboardState::Tile& tile) {
  auto* card = new DashboardCard(tile.highlight);
  card->setObjectName(tile.identifier);
  auto* row = new QHBoxLayout(card);
  row->setAlignment(Qt::AlignTop);
  const DropDesign::Highlight highlight = tile.highlight;
  auto* icon = new DashboardIcon(tile.symbol, 32, [highlight](const UiTraits& traits) {
    return DropDesign::highlight(highlight, traits.scheme);
  });
  row->addWidget(icon, 0, Qt::AlignTop);
  auto* words = new QVBoxLayout;
  words->setSpacing(8);
  const auto primary = [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); };
  DropTextBlock* value = textBlock(valueFont(24), primary);
  value->setWrapping(false);
  DropTextBlock* title = textBlock(DropFonts::rounded(13, QFont::Medium), primary);
  title->setText(tile.title);
  DropTextBlock* caption = textBlock(DropFonts::rounded(AccountText::calloutSize), AccountText::secondary());
  caption->setText(tile.caption);
  words->addWidget(value);
  words->addWidget(title);
  words->addWidget(caption);
  words->addStretch(1);
  row->addLayout(words, 1);
  const ReaderTab tab = tile.tab;
  connect(card, &QPushButton::clicked, this, [this, tab] { m_model.setNavigationTab(tab); });
  return {card, row, icon, value, caption};
}

DashboardCard* DashboardView::makeContinueCard() {
  auto* card = new DashboardCard(std::nullopt);
  card->setObjectName(QStringLiteral("dashboard.continue"));
  auto* row = new QHBoxLayout(card);
  row->setContentsMargins(24, 24, 24, 24);
  row->setSpacing(16);
  row->addWidget(new DashboardIcon(QStringLiteral("book"), 48), 0, Qt::AlignVCenter);
  auto* words = new QVBoxLayout;
  words->setSpacing(8);
  words->addWidget(new DropSectionLabel(QStringLiteral("Continue reading")));
  m_headline = textBlock(DropFonts::display(18, QFont::Medium),
                    [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  m_explanation = textBlock(DropFonts::rounded(AccountText::calloutSize), AccountText::secondary());
  m_explanation->setLineSpacing(4);
  words->addWidget(m_headline);
  words->addWidget(m_explanation);
  row->addLayout(words, 1);
  auto* arrow = new DropSymbolView(QStringLiteral("arrow.right"), 20, QFont::Medium);
  arrow->setColor(AccountText::secondary());
  arrow->setFixedSize(24, 24);
  row->addWidget(arrow, 0, Qt::AlignVCenter);
  connect(card, &QPushButton::clicked, this, [this] {
    if (m_state.continueReading)
      m_model.read(*m_state.continueReading);
  });
  return card;
}

void DashboardView::setAvailableWidth(qreal width) {
  if (width == m_availableWidth)
    return;
  m_availableWidth = width;
  applyMetrics();
}

void DashboardView::rebuild() {
  ++m_rebuilds;
  m_state = DashboardState::read(m_model);
  m_hero->show(m_state);
  m_account->setVisible(m_state.showsAccountCard());
  const QList<DashboardState::Tile> tiles = m_state.tiles();
  for (qsizetype i = 0; i < tiles.size(); ++i) {
    m_tiles[i].value->setText(QString::number(tiles[i].value));
    m_tiles[i].card->setAccessibleName(tiles[i].accessibleName());
  }
  m_continue->setVisible(m_state.continueReading.has_value());
  if (m_state.continueReading) {
    const Drop& drop = m_state.continueReading->lore;
    m_headline->setText(drop.headline);
    m_explanation->setText(drop.explanation);
    m_continue->setAccessibleName(QStringLiteral("Continue reading: ") + drop.headline);
  }
}

void DashboardView::applyMetrics() {
  const DashboardLayout metrics = this->metrics();
  m_hero->setArtwork(metrics.showsArtwork, metrics.heroTrailingPadding);
  for (const Tile& tile : m_tiles) {
    const int padding = int(metrics.tilePadding);
    tile.row->setContentsMargins(padding, padding, padding, padding);
    tile.row->setSpacing(int(metrics.tileSpacing));
    tile.icon->setBadgeSize(metrics.tileIconSize);
    tile.value->setTextStyle(DropTextBlock::Style{valueFont(metrics.tileValueSize)});
    tile.caption->setVisible(metrics.showsCaptions);
    tile.card->setMinimumHeight(int(metrics.tileMinimumHeight));
  }
  // At most two lines of the explanation: the card clips at a whole line.
  const QFontMetricsF lines(m_explanation->textFont());
  m_explanation->setMaximumHeight(int(std::ceil(2 * lines.height() + 4)));
  update();
}

void DashboardView::paintEvent(QPaintEvent*) {
  // The hero's card and shadow lie behind its content.
  QPainter painter(this);
  const QRect hero = m_hero->geometry();
  const QPixmap picture = DashboardHero::picture(
      hero.size(), m_hero->showsArtwork(), UiEnvironment::instance().schemeOf(this), devicePixelRatioF());
  const QMargins margins = DashboardHero::pictureMargins();
  painter.drawPixmap(hero.topLeft() - QPoint(margins.left(), margins.top()), picture);
}

} // namespace brindlewick
