#pragma once

#include "model/ApplicationDefaults.h"
#include "ui/settings/SettingsSection.h"

class QCheckBox;
class QComboBox;

namespace brindlewick {

class DropButton;
class DropNotice;
class DropTextBlock;
class DropSound;
class LoginItemController;
class ReaderModel;
class ScreenSource;
class SettingsController;
class SystemEvents;
class UpdateController;

// The settings of this computer alone: the display drops appear on (part of the synced draft,
// stored with it), the arrival sound with its preview, and launch at login with its notice. The
// sound switch and launch at login apply at once. Below them, the updater's status line and
// its "Check for updates" button.
class ThisComputerSection : public SettingsSection {
  Q_OBJECT

public:
  static inline const QString automaticDisplay = QStringLiteral("Automatic (primary display)");
  static inline const QString caption =
      QStringLiteral("Display, sound, and launch at login apply to this computer only and take effect "
                     "immediately. Everything else syncs with your account.");

  // What the section works with; each must outlive it.
  struct Services {
    const ScreenSource& screens;
    // The desktop's events, for a display connected or removed; none for no refills.
    SystemEvents* events;
    LoginItemController& loginItem;
    DropSound& sound;
    // Where the sound switch is kept.
    ApplicationDefaults& defaults;
    // The updater; none leaves the status line empty and the check disabled.
    UpdateController* updater;

    static Services of(ReaderModel& model);
  };

  ThisComputerSection(SettingsController& controller, const Services& services, QWidget* parent = nullptr);

  QComboBox* displayPicker() const { return m_display; }
  QCheckBox* chime() const { return m_chime; }
  DropButton* preview() const { return m_preview; }
  QCheckBox* launchAtLogin() const { return m_launch; }
  DropNotice* loginNotice() const { return m_notice; }
  DropTextBlock* updateStatus() const { return m_updateStatus; }
  DropButton* checkForUpdates() const { return m_checkForUpdates; }

private:
  void fillDisplays();
  void showDisplaySelection();
  void showLoginItem();
  void switchLaunchAtLogin(bool enabled);
  void addUpdateRow(UpdateController* updater);

  SettingsController& m_controller;
  const ScreenSource& m_screens;
  LoginItemController& m_loginItem;
  DropSound& m_sound;
  ApplicationDefaults& m_defaults;
  QComboBox* m_display;
  QCheckBox* m_chime;
  DropButton* m_preview;
  QCheckBox* m_launch;
  DropNotice* m_notice;
  DropTextBlock* m_updateStatus = nullptr;
  DropButton* m_checkForUpdates = nullptr;
};

} // namespace brindlewick
