#include "ui/account/AccountState.h"

#include "model/ReaderModel.h"

namespace brindlewick {

AccountState AccountState::read(const ReaderModel& model) {
  const AccountController& account = model.account();
  AccountState state;
  state.signedIn = account.isSignedIn();
  state.hasStoredSession = account.hasStoredSession();
  state.accountServiceBusy = account.isBusy();
  state.refreshing = model.refreshing();
  state.accountBusy = model.accountBusy();
  state.collectionBusy = model.collectionBusy();
  state.hasServiceAddress = model.configuration().apiBaseURL().has_value();
  state.hasLegacySaves = !model.repository().saved().isEmpty();
  state.user = account.user();
  state.signInCode = model.signInCode();
  return state;
}

void AccountState::watch(ReaderModel& model, QObject* receiver, std::function<void()> changed) {
  AccountController* account = &model.account();
  for (auto signal : {&AccountController::isSignedInChanged, &AccountController::hasStoredSessionChanged,
                      &AccountController::isBusyChanged, &AccountController::userChanged,
                      &AccountController::accessRevisionChanged})
    QObject::connect(account, signal, receiver, changed);
  for (auto signal : {&ReaderModel::refreshingChanged, &ReaderModel::accountBusyChanged,
                      &ReaderModel::collectionBusyChanged, &ReaderModel::signInCodeChanged})
    QObject::connect(&model, signal, receiver, changed);
  QObject::connect(&model.repository(), &ContentRepository::savedChanged, receiver, changed);
}

AccountState::Body AccountState::body() const {
  if (signedIn)
    return Body::signedIn;
  return signInCode ? Body::code : Body::signIn;
}

QString AccountState::displayName(const std::optional<ReaderAccountUser>& user, const QString& fallback) {
  if (!user)
    return fallback;
  return user->name.trimmed().isEmpty() ? user->email : user->name;
}

QString AccountState::cardTitle() const {
  return displayName(user, QStringLiteral("Your reading, together"));
}

QString AccountState::cardSubtitle() const {
  return user ? user->email : QStringLiteral("Sign in with Google. Your first sign-in creates your account.");
}

QString AccountState::menuTitle() const {
  return displayName(user, QStringLiteral("Your account"));
}

std::optional<QString> AccountState::menuEmail() const {
  if (!user || user->email == menuTitle())
    return std::nullopt;
  return user->email;
}

} // namespace brindlewick
