#include "ui/library/LibraryAccountCard.h"

#include "model/ReaderModel.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/UiEnvironment.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

// A rounded surface, 16 round, in the foreground colour at 3.5 % with a 12 % border.
class CardSurface : public QWidget {
public:
  explicit CardSurface(QWidget* parent) : QWidget(parent) { UiEnvironment::repaintOnChange(this); }

protected:
  void paintEvent(QPaintEvent*) override {
    const QColor surface = DropDesign::foreground(UiEnvironment::instance().schemeOf(this));
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    painter.fillPath(DropDesign::roundedRect(bounds, 16), DropDesign::withOpacity(surface, 0.035));
    DropDesign::strokeInnerEdge(painter, bounds, 16, DropDesign::withOpacity(surface, 0.12));
  }
};

} // namespace

QWidget* makeLibraryAccountCard(ReaderModel& model, QWidget* parent) {
  auto* card = new CardSurface(parent);
  card->setObjectName(QStringLiteral("library.accountCard"));
  auto* layout = new QVBoxLayout(card);
  layout->setContentsMargins(24, 24, 24, 24);
  layout->setSpacing(16);
  auto* title = new DropTextBlock(QStringLiteral("Your reading, together"), card);
  title->setTextStyle(DropTextBlock::Style{DropFonts::rounded(19, QFont::DemiBold)});
  title->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  auto* subtitle = new DropTextBlock(
      QStringLiteral("Sign in with Google. Your first sign-in creates your account."), card);
  subtitle->setTextStyle(DropTextBlock::Style{DropFonts::rounded(12)});
  subtitle->setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
  auto* signIn =
      new DropButton(QStringLiteral("Continue with Google"), dropControl({.prominent = true}), card);
  signIn->setSymbol(QStringLiteral("arrow.up.right"));
  signIn->setObjectName(QStringLiteral("account.signIn"));
  signIn->setEnabled(model.configuration().apiBaseURL().has_value() && !model.accountBusy());
  QObject::connect(&model, &ReaderModel::accountBusyChanged, signIn, [signIn, owner = QPointer(&model)] {
    if (owner)
      signIn->setEnabled(owner->configuration().apiBaseURL().has_value() && !owner->accountBusy());
  });
  QObject::connect(signIn, &QAbstractButton::clicked, card, [owner = QPointer(&model)] {
    if (owner)
      owner->beginAccountSignIn();
  });
  layout->addWidget(title);
  layout->addWidget(subtitle);
  auto* row = new QHBoxLayout;
  row->addWidget(signIn);
  row->addStretch(1);
  layout->addLayout(row);
  return card;
}

} // namespace brindlewick
