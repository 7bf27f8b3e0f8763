#include "ui/window/ReaderPagePlaceholders.h"

#include "model/ReaderModel.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropMark.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/DropTextBlock.h"

#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

DropDesign::ColorFor primary() {
  return [](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); };
}

DropDesign::ColorFor secondary() {
  return [](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); };
}

DropTextBlock* textBlock(const QString& text, const DropFont& font, DropDesign::ColorFor color) {
  auto* block = new DropTextBlock(text);
  block->setTextStyle(DropTextBlock::Style{font});
  block->setColor(std::move(color));
  return block;
}

} // namespace

// MARK: Page

PlaceholderPage::PlaceholderPage(const QString& title, const QString& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption),
      m_captionBlock(textBlock(caption, DropFonts::rounded(14), secondary())) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(32, 32, 32, 32);
  column->setSpacing(8);
  column->addWidget(textBlock(title, DropFonts::display(30, QFont::DemiBold), primary()));
  column->addWidget(m_captionBlock);
  column->addStretch();
  setMinimumHeight(420);
}

void PlaceholderPage::setAvailableWidth(qreal width) {
  m_availableWidth = width;
  m_captionBlock->setText(m_caption + QStringLiteral(" · %1 points wide").arg(width));
}

// MARK: Onboarding

PlaceholderOnboarding::PlaceholderOnboarding(ReaderModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
  const auto white = [](qreal opacity) {
    return [opacity](const UiTraits&) { return QColor::fromRgbF(1, 1, 1, float(opacity)); };
  };
  auto* title =
      textBlock(QStringLiteral("Welcome to Brindlewick"), DropFonts::display(40, QFont::DemiBold), white(1));
  title->setAlignment(Qt::AlignHCenter);
  auto* caption = textBlock(QStringLiteral("One big idea from a book, at the right moment of your day."),
                            DropFonts::rounded(15), white(0.72));
  caption->setAlignment(Qt::AlignHCenter);
  auto* code = textBlock(QString(), DropFonts::rounded(15, QFont::DemiBold), white(0.9));
  code->setAlignment(Qt::AlignHCenter);
  auto* signIn = new DropButton(QStringLiteral("Sign In with Your Browser"),
                                dropControl({.prominent = true, .onHero = true}));
  DropAccessibility::describe(signIn, QStringLiteral("onboarding.signIn"), QString());

  auto* column = new QVBoxLayout(this);
  column->addStretch(3);
  column->addSpacing(96); // the mark is painted above the title
  column->addWidget(title);
  column->addWidget(caption);
  column->addSpacing(20);
  column->addWidget(signIn, 0, Qt::AlignHCenter);
  column->addWidget(code);
  column->addStretch(4);

  const auto refresh = [this, code, signIn] {
    const std::optional<QString>& pending = m_model.signInCode();
    code->setText(pending ? QStringLiteral("Your code: ") + *pending : QString());
    signIn->setEnabled(!m_model.accountBusy() && !m_model.signInRunning());
  };
  connect(&model, &ReaderModel::signInCodeChanged, this, refresh);
  connect(&model, &ReaderModel::accountBusyChanged, this, refresh);
  connect(signIn, &QPushButton::clicked, this, [this] { m_model.beginAccountSignIn(); });
  refresh();
}

void PlaceholderOnboarding::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), DropDesign::heroGradient(rect()));
  // The mark sits in the space the layout keeps above the title.
  const QWidget* title = layout()->itemAt(2)->widget();
  const QRectF mark(width() / 2.0 - 36, title->y() - 96, 72, 72);
  DropMark::paint(painter, mark, QColor::fromRgbF(1, 1, 1, 0.92f));
}

} // namespace brindlewick
