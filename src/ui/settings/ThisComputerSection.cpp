#include "ui/settings/ThisComputerSection.h"

#include "desktop/LoginItemController.h"
#include "desktop/ScreenSource.h"
#include "desktop/SystemEvents.h"
#include "model/DropSound.h"
#include "model/ReaderModel.h"
#include "model/UpdateController.h"
#include "ui/account/AccountText.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropNotice.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FocusPark.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsWidgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QPointer>
#include <QSignalBlocker>

#include <QCoroTask>

namespace brindlewick {

ThisComputerSection::Services ThisComputerSection::Services::of(ReaderModel& model) {
  return Services{model.screens(), model.desktop().events,      model.loginItem(),
                  model.sound(),   model.applicationDefaults(), &model.updater()};
}

ThisComputerSection::ThisComputerSection(SettingsController& controller, const Services& services,
                                         QWidget* parent)
    : SettingsSection(QStringLiteral("This computer"), parent), m_controller(controller),
      m_screens(services.screens), m_loginItem(services.loginItem), m_sound(services.sound),
      m_defaults(services.defaults) {
  // The display: part of the draft, so a choice is stored only with the other settings.
  m_display = SettingsWidgets::comboBox(QStringLiteral("settings.display"), QStringLiteral("Display"));
  content()->addLayout(SettingsWidgets::labelledRow(QStringLiteral("Display"), m_display));
  connect(m_display, &QComboBox::activated, this, [this](int index) {
    ReaderPreferences draft = m_controller.draft();
    const QVariant number = m_display->itemData(index);
    draft.preferredDisplayID = number.isValid() ? std::optional<quint32>(number.toUInt()) : std::nullopt;
    m_controller.setDraft(draft);
  });
  connect(&controller, &SettingsController::draftChanged, this, &ThisComputerSection::showDisplaySelection);
  if (services.events)
    connect(services.events, &SystemEvents::screensChanged, this, &ThisComputerSection::fillDisplays);
  fillDisplays();

  // The arrival sound: the switch is written at once; the preview plays even when it is off.
  m_chime = SettingsWidgets::checkBox(QStringLiteral("Play a soft sound when a drop arrives"),
                                      QStringLiteral("settings.chime"));
  m_chime->setChecked(m_defaults.dropSoundEnabled());
  connect(m_chime, &QCheckBox::toggled, this, [this](bool on) { m_defaults.setDropSoundEnabled(on); });
  m_preview = new DropButton(QStringLiteral("Preview"), dropControl({}));
  m_preview->setObjectName(QStringLiteral("settings.preview"));
  m_preview->setSymbol(QStringLiteral("speaker.wave.2"));
  m_preview->setEnabled(m_sound.hasSound());
  connect(m_preview, &QPushButton::clicked, this, [this] { m_sound.play(); });
  auto* chimeRow = new QHBoxLayout;
  chimeRow->addWidget(m_chime);
  chimeRow->addStretch(1);
  chimeRow->addWidget(m_preview);
  content()->addLayout(chimeRow);

  // Launch at login, with the controller's message beneath.
  m_launch =
      SettingsWidgets::checkBox(QStringLiteral("Launch at login"), QStringLiteral("settings.launchAtLogin"));
  connect(m_launch, &QCheckBox::clicked, this, &ThisComputerSection::switchLaunchAtLogin);
  content()->addWidget(m_launch);
  m_notice = new DropNotice({}, QStringLiteral("info.circle"), DropNotice::Tone::info);
  m_notice->setObjectName(QStringLiteral("settings.launchAtLogin.notice"));
  content()->addWidget(m_notice);
  connect(&m_loginItem, &LoginItemController::statusChanged, this, &ThisComputerSection::showLoginItem);
  connect(&m_loginItem, &LoginItemController::messageChanged, this, &ThisComputerSection::showLoginItem);
  showLoginItem();

  content()->addWidget(AccountText::callout(caption, AccountText::secondary()));
  addUpdateRow(services.updater);
}

// The status line is always there, empty when the updater says nothing; the button waits for
// an updater that can check now.
void ThisComputerSection::addUpdateRow(UpdateController* updater) {
  content()->addWidget(AccountText::divider(0.12));
  m_updateStatus = AccountText::callout(updater ? updater->message() : QString(), AccountText::secondary());
  m_updateStatus->setObjectName(QStringLiteral("settings.updateStatus"));
  content()->addWidget(m_updateStatus);
  m_checkForUpdates = new DropButton(QStringLiteral("Check for updates"), dropControl({}));
  m_checkForUpdates->setObjectName(QStringLiteral("settings.checkForUpdates"));
  auto* row = new QHBoxLayout;
  row->addWidget(m_checkForUpdates);
  row->addStretch(1);
  content()->addLayout(row);
  if (updater == nullptr) {
    m_checkForUpdates->setEnabled(false);
    return;
  }
  const QPointer<UpdateController> guarded(updater);
  const auto follow = [this, guarded] {
    m_checkForUpdates->setEnabled(guarded && guarded->canCheckForUpdates());
  };
  connect(updater, &UpdateController::canCheckForUpdatesChanged, this, follow);
  connect(m_checkForUpdates, &QPushButton::clicked, this, [guarded] {
    if (guarded)
      guarded->checkForUpdates();
  });
  follow();
}

void ThisComputerSection::fillDisplays() {
  const QSignalBlocker blocker(m_display);
  m_display->clear();
  m_display->addItem(automaticDisplay);
  for (const ScreenDescription& screen : m_screens.screens()) {
    if (screen.displayId)
      m_display->addItem(screen.displayName(), QVariant::fromValue(uint(*screen.displayId)));
  }
  showDisplaySelection();
}

// A stored display that is not connected selects nothing and stays in the draft.
void ThisComputerSection::showDisplaySelection() {
  const QSignalBlocker blocker(m_display);
  const std::optional<quint32>& chosen = m_controller.draft().preferredDisplayID;
  m_display->setCurrentIndex(chosen ? m_display->findData(QVariant::fromValue(uint(*chosen))) : 0);
}

void ThisComputerSection::showLoginItem() {
  const QSignalBlocker blocker(m_launch);
  const LoginItemStatus status = m_loginItem.status();
  m_launch->setChecked(status == LoginItemStatus::enabled || status == LoginItemStatus::requiresApproval);
  const std::optional<QString>& message = m_loginItem.message();
  m_notice->setText(message.value_or(QString()));
  DropReveal::setShown(m_notice, message.has_value());
}

// The switch waits, disabled, for its change to finish, so that two overlapping changes can
// never finish in the wrong order. The keyboard waits on it meanwhile.
void ThisComputerSection::switchLaunchAtLogin(bool enabled) {
  FocusPark::disable(m_launch, DropFocusRing::keyboardInUse());
  [](QPointer<ThisComputerSection> self, LoginItemController& loginItem, bool enabled) -> QCoro::Task<> {
    co_await loginItem.setEnabled(enabled);
    if (!self)
      co_return;
    self->m_launch->setEnabled(true);
    self->showLoginItem();
  }(this, m_loginItem, enabled);
}

} // namespace brindlewick
