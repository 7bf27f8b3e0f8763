#include "ui/account/AccountMenu.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountAvatar.h"
#include "ui/account/AccountText.h"
#include "ui/account/AccountView.h"
#include "ui/account/ElidedEmailLabel.h"
#include "ui/account/SyncButton.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropSpinner.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"

#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace brindlewick {

namespace {

constexpr int inset = 6;

QLabel* plainLabel(const QString& text) {
  auto* label = new QLabel(text);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A symbol 13 high, centred in a column 16 wide, in the secondary colour.
QWidget* rowSymbol(const QString& name) {
  auto* symbol = new DropSymbolView(name, 13);
  symbol->setColor(AccountText::secondary());
  symbol->setFixedWidth(16);
  return symbol;
}

QWidget* separator() {
  auto* holder = new QWidget;
  auto* layout = new QHBoxLayout(holder);
  layout->setContentsMargins(inset, 0, inset, 0);
  layout->addWidget(AccountText::divider(0.08));
  return holder;
}

} // namespace

QString AccountMenu::syncHint() {
  return SyncButton::shortcutHint();
}

QString AccountMenu::settingsHint() {
  return QKeySequence(Qt::CTRL | Qt::Key_Comma).toString(QKeySequence::NativeText);
}

QString AccountMenu::importHelp() {
  return QStringLiteral("Import this computer's saves from before accounts. The originals are kept.");
}

AccountMenu::AccountMenu(ReaderModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("account.dropdown"));
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);
  m_signedIn = buildSignedIn();
  m_signedOut = new QWidget;
  auto* padded = new QVBoxLayout(m_signedOut);
  // The card keeps room for its buttons' shadows; the inset makes up the rest.
  const QMargins room = AccountView::buttonRoom();
  padded->setContentsMargins(std::max(0, inset - room.left()), std::max(0, inset - room.top()),
                             std::max(0, inset - room.right()), std::max(0, inset - room.bottom()));
  m_card = new AccountView(model, false);
  padded->addWidget(m_card);
  stack->addWidget(m_signedIn);
  stack->addWidget(m_signedOut);
  AccountState::watch(model, this, [this] { refresh(); });
  refresh();
}

QWidget* AccountMenu::rowLabel(const QString& symbol, const QString& title, const QString& hint) {
  auto* label = new QWidget;
  auto* layout = new QHBoxLayout(label);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  layout->addWidget(rowSymbol(symbol));
  layout->addWidget(plainLabel(title));
  layout->addSpacing(8 - layout->spacing());
  layout->addStretch(1);
  if (!hint.isEmpty()) {
    auto* hintLabel = plainLabel(hint);
    hintLabel->setFont(DropFonts::rounded(11, QFont::Medium).font());
    DropStandardWidgets::keepForeground(
        hintLabel, [](const UiTraits& traits) { return DropDesign::tertiaryLabel(traits.scheme); });
    layout->addWidget(hintLabel);
  }
  return label;
}

DropMenuRow* AccountMenu::row(const QString& identifier, const QString& title, QList<QWidget*> labels) {
  auto* result = new DropMenuRow(DropMenuRowStyle{});
  auto* layout = new QHBoxLayout(result);
  layout->setContentsMargins(0, 0, 0, 0);
  for (QWidget* label : labels)
    layout->addWidget(label);
  DropAccessibility::describe(result, identifier, title);
  return result;
}

QWidget* AccountMenu::buildSignedIn() {
  auto* page = new QWidget;
  auto* stack = new QVBoxLayout(page);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(0);

  // Read as one element, "name, e-mail".
  m_header = new QWidget;
  auto* header = new QHBoxLayout(m_header);
  header->setContentsMargins(inset, 0, inset, 12);
  header->setSpacing(11);
  m_avatar = new AccountAvatar(AccountAvatar::menuSize);
  header->addWidget(m_avatar, 0, Qt::AlignVCenter);
  auto* words = new QVBoxLayout;
  words->setSpacing(1);
  m_name = new DropTextBlock;
  m_name->setTextStyle(DropTextBlock::Style{DropFonts::rounded(14, QFont::DemiBold)});
  m_name->setColor(AccountText::primary());
  m_name->setWrapping(false);
  m_email = new ElidedEmailLabel;
  m_email->setFont(DropFonts::rounded(12).font());
  DropStandardWidgets::keepForeground(m_email, AccountText::secondary());
  words->addWidget(m_name);
  words->addWidget(m_email);
  header->addLayout(words, 1);
  stack->addWidget(m_header);
  stack->addWidget(separator());

  auto* rows = new QVBoxLayout;
  rows->setContentsMargins(0, 5, 0, 5);
  rows->setSpacing(1);
  m_syncLabel = rowLabel(SyncButton::symbolName, SyncButton::title, syncHint());
  // While a sync runs: a spinner and "Syncing…", no hint.
  m_syncingLabel = new QWidget;
  auto* busy = new QHBoxLayout(m_syncingLabel);
  busy->setContentsMargins(0, 0, 0, 0);
  busy->setSpacing(10);
  auto* spinner = new DropSpinner(DropSpinner::mini);
  spinner->setFixedWidth(16);
  busy->addWidget(spinner, 0, Qt::AlignVCenter);
  busy->addWidget(plainLabel(SyncButton::busyTitle), 1);
  m_sync = row(QStringLiteral("account.menu.sync"), SyncButton::title, {m_syncLabel, m_syncingLabel});
  DropAccessibility::setHelp(m_sync, SyncButton::helpText());
  connect(m_sync, &QPushButton::clicked, this, [this] { m_model.refresh(true); });

  DropMenuRow* settings =
      row(QStringLiteral("account.menu.settings"), QStringLiteral("Settings"),
          {rowLabel(QStringLiteral("gearshape"), QStringLiteral("Settings"), settingsHint())});
  connect(settings, &QPushButton::clicked, this, &AccountMenu::openSettings);
  const QString importTitle = QStringLiteral("Import previous saves");
  m_import = row(QStringLiteral("account.menu.import"), importTitle,
                 {rowLabel(QStringLiteral("square.and.arrow.down"), importTitle, QString())});
  DropAccessibility::setHelp(m_import, importHelp());
  connect(m_import, &QPushButton::clicked, this, [this] { m_model.importLegacySaves(); });
  rows->addWidget(m_sync);
  rows->addWidget(settings);
  rows->addWidget(m_import);
  stack->addLayout(rows);
  stack->addWidget(separator());

  const QString signOutTitle = QStringLiteral("Sign out");
  m_signOut = row(QStringLiteral("account.signOut"), signOutTitle,
                  {rowLabel(QStringLiteral("rectangle.portrait.and.arrow.right"), signOutTitle, QString())});
  connect(m_signOut, &QPushButton::clicked, this, [this] { m_model.signOutAccount(); });
  stack->addSpacing(5);
  stack->addWidget(m_signOut);
  return page;
}

bool AccountMenu::showsSignedIn() const {
  return !m_signedIn->isHidden();
}

void AccountMenu::openSettings() {
  Q_EMIT closeRequested();
  if (m_model.navigationTab() != ReaderTab::settings)
    m_model.setNavigationTab(ReaderTab::settings);
}

void AccountMenu::refresh() {
  const AccountState state = AccountState::read(m_model);
  m_signedIn->setVisible(state.signedIn);
  m_signedOut->setVisible(!state.signedIn);
  m_avatar->setUser(state.user);
  m_name->setText(state.menuTitle());
  const std::optional<QString> email = state.menuEmail();
  m_email->setFullText(email.value_or(QString()));
  m_email->setVisible(email.has_value());
  AccessibleRole::combine(m_header,
                          email ? state.menuTitle() + QStringLiteral(", ") + *email : state.menuTitle());
  m_sync->setEnabled(state.canSync());
  m_syncLabel->setVisible(!state.refreshing);
  m_syncingLabel->setVisible(state.refreshing);
  m_sync->setAccessibleName(state.refreshing ? SyncButton::busyTitle : SyncButton::title);
  m_import->setVisible(state.hasLegacySaves);
  m_import->setEnabled(state.canImport());
  m_signOut->setEnabled(state.canSignOut());
}

} // namespace brindlewick
