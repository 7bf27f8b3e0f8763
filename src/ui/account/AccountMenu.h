#pragma once

#include "ui/account/AccountState.h"

#include <QWidget>

class QLabel;

namespace brindlewick {

class AccountAvatar;
class AccountView;
class DropMenuRow;
class DropTextBlock;
class ElidedEmailLabel;
class ReaderModel;

// The content of the reader window's account dropdown. Signed in: who is signed in, then
// Sync now, Settings, Import previous saves (while this computer still holds saves from
// before accounts) and Sign out, each row one model operation. Otherwise: the account card
// without its surface. It switches between the two by itself as the account changes; it
// draws no background (the dropdown owns width and surface).
//
// Only Settings closes the dropdown: it emits closeRequested() and then selects the settings
// page. Sync now, Import and Sign out leave it open. The shortcut hints are text only.
class AccountMenu : public QWidget {
  Q_OBJECT

public:
  explicit AccountMenu(ReaderModel& model, QWidget* parent = nullptr);

  bool showsSignedIn() const;
  AccountView& signInContent() const { return *m_card; }

  static QString syncHint();
  static QString settingsHint();
  static QString importHelp();

Q_SIGNALS:
  // The dropdown should close (Settings was chosen).
  void closeRequested();

private:
  QWidget* buildSignedIn();
  // A row's usual label: symbol, title, and the shortcut hint when there is one.
  static QWidget* rowLabel(const QString& symbol, const QString& title, const QString& hint);
  // A menu row holding `labels` (only one of them shown at a time).
  static DropMenuRow* row(const QString& identifier, const QString& title, QList<QWidget*> labels);
  void openSettings();
  void refresh();

  ReaderModel& m_model;
  QWidget* m_signedIn = nullptr;
  QWidget* m_signedOut = nullptr;
  AccountView* m_card = nullptr;
  QWidget* m_header = nullptr;
  AccountAvatar* m_avatar = nullptr;
  DropTextBlock* m_name = nullptr;
  ElidedEmailLabel* m_email = nullptr;
  DropMenuRow* m_sync = nullptr;
  QWidget* m_syncLabel = nullptr;
  QWidget* m_syncingLabel = nullptr;
  DropMenuRow* m_import = nullptr;
  DropMenuRow* m_signOut = nullptr;
};

} // namespace brindlewick
