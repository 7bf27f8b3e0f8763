#include "ui/settings/SettingsSaveBar.h"

#include "ui/account/AccountText.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FocusPark.h"
#include "ui/settings/SettingsController.h"

#include <QHBoxLayout>
#include <QLabel>

namespace brindlewick {

namespace {

DropDesign::ColorFor savedColor() {
  return [](const UiTraits& traits) {
    return traits.scheme == ColorScheme::dark ? DropDesign::paper() : DropDesign::ink();
  };
}

} // namespace

SettingsSaveBar::SettingsSaveBar(SettingsController& controller, QWidget* parent)
    : QWidget(parent), m_controller(controller) {
  setObjectName(QStringLiteral("settings.saveBar"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(16);

  // The error is shown verbatim and can be copied; it wraps as far as it needs.
  m_errorSymbol = new DropSymbolView(QStringLiteral("exclamationmark.circle"), 13);
  m_errorSymbol->setColor(AccountText::primary());
  m_error = AccountText::selectable({}, DropFonts::rounded(AccountText::calloutSize).font(),
                                    AccountText::primary());
  m_error->setObjectName(QStringLiteral("settings.saveBar.error"));
  m_error->setWordWrap(true);
  m_error->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  m_savedSymbol = new DropSymbolView(QStringLiteral("checkmark.circle.fill"), 13, QFont::Medium);
  m_savedSymbol->setColor(savedColor());
  m_saved = new DropTextBlock(savedText);
  m_saved->setTextStyle(DropTextBlock::Style{DropFonts::rounded(13, QFont::Medium)});
  m_saved->setColor(savedColor());
  m_saved->setWrapping(false);
  m_hint = new DropTextBlock(hint);
  m_hint->setTextStyle(DropTextBlock::Style{DropFonts::rounded(11)});
  m_hint->setColor(AccountText::secondary());
  m_hint->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

  // One widget for whichever message shows, so that a change of it fades as one.
  m_message = new QWidget;
  m_message->setObjectName(QStringLiteral("settings.saveBar.message"));
  auto* message = new QHBoxLayout(m_message);
  message->setContentsMargins(0, 0, 0, 0);
  message->setSpacing(6);
  for (QWidget* part :
       {static_cast<QWidget*>(m_errorSymbol), static_cast<QWidget*>(m_error),
        static_cast<QWidget*>(m_savedSymbol), static_cast<QWidget*>(m_saved), static_cast<QWidget*>(m_hint)})
    message->addWidget(part, 0, Qt::AlignVCenter);
  row->addWidget(m_message, 1);

  m_reload = new DropButton(reloadTitle, dropControl({}));
  DropAccessibility::describe(
      m_reload, QStringLiteral("settings.reload"), reloadTitle,
      QStringLiteral("Load the latest account settings and discard this unsaved draft."));
  connect(m_reload, &QPushButton::clicked, &controller, &SettingsController::reload);
  row->addWidget(m_reload);
  m_save = new DropButton(saveTitle, dropControl({.prominent = true}));
  DropAccessibility::describe(m_save, QStringLiteral("settings.save"), saveTitle);
  connect(m_save, &QPushButton::clicked, &controller, &SettingsController::save);
  row->addWidget(m_save);

  for (auto changed : {&SettingsController::errorChanged, &SettingsController::savedChanged,
                       &SettingsController::savingChanged, &SettingsController::needsReloadChanged,
                       &SettingsController::signedInChanged})
    connect(&controller, changed, this, &SettingsSaveBar::refresh);
  refresh();
}

QString SettingsSaveBar::message() const {
  if (m_controller.error())
    return *m_controller.error();
  return m_controller.saved() ? savedText : hint;
}

void SettingsSaveBar::refresh() {
  const std::optional<QString>& error = m_controller.error();
  const bool saved = !error && m_controller.saved();
  m_errorSymbol->setVisible(error.has_value());
  m_error->setVisible(error.has_value());
  m_error->setText(error.value_or(QString()));
  // The note comes and goes with a short fade, not with the errors.
  const bool savedChanged = saved == m_saved->isHidden();
  m_savedSymbol->setVisible(saved);
  m_saved->setVisible(saved);
  m_hint->setVisible(!error && !saved);
  if (savedChanged)
    DropReveal::fadeIn(m_message, DropMotion::Kind::feedback);

  if (!m_controller.needsReload())
    leaveReload();
  m_reload->setVisible(m_controller.needsReload());
  m_reload->setEnabled(m_controller.canReload());
  m_save->setText(m_controller.saving() ? savingTitle : saveTitle);
  m_save->setEnabled(m_controller.canSave());
}

// Reloaded, there is nothing left to reload: the button goes. A reader whose keyboard is on it
// (or waits for it while it reloads) is told on, so the page can put the keyboard where they
// reapply their changes, rather than have Qt hand it on to "Save settings", whose next press
// would send the settings just fetched.
void SettingsSaveBar::leaveReload() {
  const QWidget* focus = window()->focusWidget();
  if (focus != nullptr && m_reload->isVisible() && (focus == m_reload || focus == FocusPark::of(m_reload)))
    Q_EMIT keyboardLeavesReload();
}

} // namespace brindlewick
