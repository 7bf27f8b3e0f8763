#pragma once

#include <QWidget>

class QLabel;

namespace brindlewick {

class DropButton;
class DropSymbolView;
class DropTextBlock;
class SettingsController;

// The foot of the settings page: what the last save did (its error, "Settings saved", or a
// hint), "Reload settings" after a conflict, and the save button. Follows the controller.
class SettingsSaveBar : public QWidget {
  Q_OBJECT

public:
  static inline const QString hint =
      QStringLiteral("Delivery, curiosity, and reading changes sync when saved.");
  static inline const QString savedText = QStringLiteral("Settings saved");
  static inline const QString saveTitle = QStringLiteral("Save settings");
  static inline const QString savingTitle = QStringLiteral("Saving settings…");
  static inline const QString reloadTitle = QStringLiteral("Reload settings");

  explicit SettingsSaveBar(SettingsController& controller, QWidget* parent = nullptr);

  DropButton* saveButton() const { return m_save; }
  DropButton* reloadButton() const { return m_reload; }
  // The text shown now: the error, the saved note or the hint.
  QString message() const;

Q_SIGNALS:
  // "Reload settings" goes, reloaded, while it has the keyboard focus (or a park holds it for
  // it): the page gives the focus a place before the button hides.
  void keyboardLeavesReload();

private:
  void refresh();
  void leaveReload();

  SettingsController& m_controller;
  QWidget* m_message;
  DropSymbolView* m_errorSymbol;
  QLabel* m_error;
  DropSymbolView* m_savedSymbol;
  DropTextBlock* m_saved;
  DropTextBlock* m_hint;
  DropButton* m_reload;
  DropButton* m_save;
};

} // namespace brindlewick
