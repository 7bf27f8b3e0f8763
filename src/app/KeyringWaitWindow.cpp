#include "app/KeyringWaitWindow.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSpinner.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/UiEnvironment.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr int waitPadding = 24;
constexpr int waitSpacing = 12;

} // namespace

KeyringWaitWindow::KeyringWaitWindow(QWidget* parent)
    : QWidget(parent, Qt::Window), m_headline(new DropTextBlock(headline)),
      m_explanation(new DropTextBlock(explanation)) {
  setObjectName(QStringLiteral("keyringWait"));
  setWindowTitle(QStringLiteral("Brindlewick"));
  setAccessibleName(headline);

  auto* spinner = new DropSpinner(DropSpinner::small);
  spinner->setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
  m_headline->setObjectName(QStringLiteral("keyringWaitHeadline"));
  m_headline->setTextStyle(DropTextBlock::Style{DropFonts::rounded(15, QFont::DemiBold), 0});
  m_headline->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  m_headline->setAccessibleName(headline);
  AccessibleRole::set(m_headline, QAccessible::Heading);
  m_explanation->setTextStyle(DropTextBlock::Style{DropFonts::rounded(13), 0});
  m_explanation->setColor([](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); });
  m_explanation->setAccessibleName(explanation);
  m_explanation->setLineSpacing(2);

  auto* top = new QHBoxLayout;
  top->setSpacing(waitSpacing);
  top->addWidget(spinner, 0, Qt::AlignVCenter);
  top->addWidget(m_headline, 1);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(waitPadding, waitPadding, waitPadding, waitPadding);
  column->setSpacing(waitSpacing);
  column->addLayout(top);
  column->addWidget(m_explanation);
  column->setSizeConstraint(QLayout::SetFixedSize);
  // The text wraps at the window's width, which the layout then keeps.
  m_explanation->setFixedWidth(width - 2 * waitPadding);
  UiEnvironment::repaintOnChange(this);
  // In the middle of the screen, where the reader window will open, unless the window manager
  // places it.
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void KeyringWaitWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  Q_EMIT closed();
}

void KeyringWaitWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), DropDesign::windowBackground(UiEnvironment::instance().traitsOf(this).scheme));
}

} // namespace brindlewick
