#pragma once

#include "account/AccountContracts.h"

#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace brindlewick {

class ReaderModel;

// What the account screens show and allow, read from the model as a whole each time one of
// its inputs changes, so that every screen decides from the same answers.
struct AccountState {
  bool signedIn = false;
  bool hasStoredSession = false;
  // The account service runs an operation (a save, a sync, a preferences upload).
  bool accountServiceBusy = false;
  bool refreshing = false;
  // A sign-in or sign-out runs.
  bool accountBusy = false;
  // A save, love or import runs.
  bool collectionBusy = false;
  bool hasServiceAddress = false;
  // This computer still holds saves from before accounts.
  bool hasLegacySaves = false;
  std::optional<ReaderAccountUser> user;
  std::optional<QString> signInCode;

  static AccountState read(const ReaderModel& model);
  // Runs `changed` (in `receiver`'s lifetime) whenever one of the inputs above may have changed.
  static void watch(ReaderModel& model, QObject* receiver, std::function<void()> changed);

  // The card's body: signed in wins over a code left behind, a code over the invitation.
  enum class Body { signedIn, code, signIn };
  Body body() const;

  bool canSync() const { return hasStoredSession && !accountServiceBusy && !refreshing; }
  bool canImport() const { return !collectionBusy; }
  bool canSignOut() const { return !accountBusy && !collectionBusy; }
  bool canBeginSignIn() const { return hasServiceAddress && !accountBusy; }

  // The name as stored when it has more than white space, else the e-mail; `fallback` without a
  // user.
  static QString displayName(const std::optional<ReaderAccountUser>& user, const QString& fallback);
  QString cardTitle() const;
  QString cardSubtitle() const;
  QString menuTitle() const;
  // The menu's second line, the e-mail, when it differs from the title.
  std::optional<QString> menuEmail() const;
};

} // namespace brindlewick
