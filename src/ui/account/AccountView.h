#pragma once

#include "ui/account/AccountState.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace brindlewick {

class AccountAvatar;
class DropButton;
class DropNotice;
class DropTextBlock;
class FitLayout;
class ReaderModel;
class SyncButton;

// The account card: who is signed in, under a common header one of three bodies (the
// account with its actions, the device code while the reader approves in the browser, or
// the invitation to sign in), and a "Connecting securely…" row while a sign-in or sign-out
// runs. Every control calls one model operation; the card keeps no state of its own and
// follows the model on every change. A reader on the card's controls when its body changes
// goes on from the new body's leading control.
//
// With `showsSurface` it draws its own padded, bordered surface; without it (inside the
// account menu) the surface is fully transparent and the padding only the room the buttons'
// shadows need (a layout cannot let a child reach past its parent's edge).
class AccountView : public QWidget {
  Q_OBJECT

public:
  static constexpr int surfacePadding = 24;
  static constexpr qreal cornerRadius = 16;
  static constexpr qreal fillOpacity = 0.035;
  static constexpr qreal borderOpacity = 0.12;

  AccountView(ReaderModel& model, bool showsSurface, QWidget* parent = nullptr);

  bool showsSurface() const { return m_showsSurface; }
  AccountState::Body body() const { return m_body; }
  bool showsConnecting() const;
  // The sync and sign-out buttons stand side by side (not stacked).
  bool actionsInRow() const;

  // The room the buttons' shadows need at the card's edges: its padding without a surface.
  static QMargins buttonRoom();
  static QString importInvitation();
  static QString approvalText();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void buildHeader(QVBoxLayout* stack);
  void buildSignedIn(QVBoxLayout* stack);
  void buildCode(QVBoxLayout* stack);
  void buildSignIn(QVBoxLayout* stack);
  void buildConnecting(QVBoxLayout* stack);
  void refresh();
  void showBody(AccountState::Body body, bool animated);

  ReaderModel& m_model;
  bool m_showsSurface;
  AccountState::Body m_body = AccountState::Body::signIn;
  bool m_built = false;
  bool m_accountBusy = false;
  std::optional<QString> m_code;

  AccountAvatar* m_avatar = nullptr;
  DropTextBlock* m_title = nullptr;
  QLabel* m_subtitle = nullptr;
  QList<QWidget*> m_signedInBody;
  QList<QWidget*> m_importSection;
  QList<QWidget*> m_codeBody;
  QList<QWidget*> m_signInBody;
  FitLayout* m_actions = nullptr;
  SyncButton* m_sync = nullptr;
  DropButton* m_signOut = nullptr;
  DropButton* m_import = nullptr;
  QLabel* m_codeLabel = nullptr;
  DropButton* m_openBrowser = nullptr;
  DropButton* m_signIn = nullptr;
  DropNotice* m_noService = nullptr;
  QWidget* m_connecting = nullptr;
};

} // namespace brindlewick
