#include "ui/design/DropEmptyState.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"

#include <QVBoxLayout>

namespace brindlewick {

namespace {

DropDesign::ColorFor secondary() {
  return [](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); };
}

} // namespace

DropEmptyState::DropEmptyState(const QString& symbol, const QString& title, const QString& message,
                               const QString& actionTitle, QWidget* parent)
    : QWidget(parent), m_title(new DropTextBlock(title)), m_message(new DropTextBlock(message)),
      m_action(new DropButton(actionTitle, dropControl({.prominent = true}))) {
  auto* icon = new DropSymbolView(symbol, 32, QFont::Light);
  icon->setColor(secondary());
  m_title->setTextStyle(DropTextBlock::Style{DropFonts::rounded(15, QFont::DemiBold)});
  m_title->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  m_title->setAlignment(Qt::AlignHCenter);
  m_title->setAccessibleName(title);
  AccessibleRole::set(m_title, QAccessible::Heading);
  m_message->setTextStyle(DropTextBlock::Style{DropFonts::rounded(14)});
  m_message->setColor(secondary());
  m_message->setAlignment(Qt::AlignHCenter);
  m_message->setLineSpacing(4);

  // The column: symbol, then title and message, then the button (its margin rule keeps
  // room for its shadow; 4 of the 16 points of spacing above it are its own).
  auto* column = new QWidget(this);
  column->setMaximumWidth(columnWidth + 2 * padding);
  auto* stack = new QVBoxLayout(column);
  stack->setContentsMargins(padding, padding, padding, padding);
  stack->setSpacing(16);
  stack->addWidget(icon, 0, Qt::AlignHCenter);
  auto* words = new QVBoxLayout;
  words->setSpacing(10);
  words->addWidget(m_title);
  words->addWidget(m_message);
  stack->addLayout(words);
  stack->addSpacing(4);
  stack->addWidget(m_action, 0, Qt::AlignHCenter);

  auto* centred = new QHBoxLayout(this);
  centred->setContentsMargins(0, 0, 0, 0);
  centred->addWidget(column);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  connect(m_action, &QPushButton::clicked, this, &DropEmptyState::actionTriggered);
}

} // namespace brindlewick
