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

// MARK: Account menu

PlaceholderAccountMenu::PlaceholderAccountMenu(ReaderModel& model, std::function<void()> openSettings,
                                               QWidget* parent)
    : QWidget(parent) {
  const std::optional<ReaderAccountUser>& user = model.account().user();
  const bool signedIn = model.account().isSignedIn();
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(6);
  column->addWidget(textBlock(signedIn && user ? user->name : QStringLiteral("Not signed in"),
                              DropFonts::rounded(15, QFont::DemiBold), primary()));
  if (user)
    column->addWidget(textBlock(user->email, DropFonts::rounded(12), secondary()));
  column->addSpacing(8);
  auto* settings = new DropButton(QStringLiteral("Settings"), dropControl({}));
  settings->setSymbol(QStringLiteral("gearshape"));
  DropAccessibility::describe(settings, QStringLiteral("account.settings"), QString());
  auto* actions = new QHBoxLayout;
  actions->setSpacing(8);
  actions->addWidget(settings);
  column->addLayout(actions);
  connect(settings, &QPushButton::clicked, this,
          [openSettings = std::move(openSettings)] { openSettings(); });
  if (model.account().hasStoredSession()) {
    auto* signOut = new DropButton(QStringLiteral("Sign Out"), dropControl({}));
    signOut->setSymbol(QStringLiteral("rectangle.portrait.and.arrow.right"));
    DropAccessibility::describe(signOut, QStringLiteral("account.signOut"), QString());
    actions->addWidget(signOut);
    connect(signOut, &QPushButton::clicked, &model, &ReaderModel::signOutAccount);
  }
  actions->addStretch();
  // A row of buttons lays them out a little narrower than they ask, which elides a label.
  for (auto* button : findChildren<DropButton*>())
    button->setMinimumWidth(button->sizeHint().width());
}

// MARK: Avatar

PlaceholderAvatar::PlaceholderAvatar(const std::optional<ReaderAccountUser>& user, qreal size,
                                     QWidget* parent)
    : QWidget(parent), m_user(user), m_size(size) {
  setFixedSize(sizeHint());
  UiEnvironment::repaintOnChange(this);
}

QSize PlaceholderAvatar::sizeHint() const {
  const int side = int(std::ceil(m_size));
  return QSize(side, side);
}

void PlaceholderAvatar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  const QRectF disc(0.5, 0.5, m_size - 1, m_size - 1);
  if (!m_user) {
    DropSymbols::paint(painter, QStringLiteral("person.crop.circle"), disc, m_size, QFont::Normal,
                       DropDesign::secondaryLabel(scheme));
    return;
  }
  painter.setPen(Qt::NoPen);
  painter.setBrush(DropDesign::highlight(DropDesign::Highlight::violet, scheme));
  painter.drawEllipse(disc);
  const QString initial = m_user->name.trimmed().left(1).toUpper();
  painter.setPen(scheme == ColorScheme::dark ? DropDesign::ink() : DropDesign::paper());
  painter.setFont(DropFonts::rounded(m_size * 0.46, QFont::Bold).font());
  painter.drawText(disc, Qt::AlignCenter, initial);
}

} // namespace brindlewick
