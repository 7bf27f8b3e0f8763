#pragma once

#include "account/AccountContracts.h"
#include "content/ContentSnapshots.h"
#include "model/ReaderTab.h"
#include "ui/account/AccountAvatar.h"
#include "ui/account/AccountMenu.h"
#include "ui/dashboard/DashboardView.h"
#include "ui/library/LibraryView.h"
#include "ui/onboarding/OnboardingView.h"
#include "ui/reading/DetailView.h"
#include "ui/settings/SettingsView.h"

#include <QWidget>

#include <functional>
#include <optional>

namespace brindlewick {

class ReaderModel;

// The one place that chooses the views the reader window hosts: the workspace's pages, the
// onboarding screen and the account menu and avatar. A factory hands its widget to the caller,
// who parents it.
namespace ReaderPageFactories {

// The discover, saved or history list. The search text is the model's librarySearch;
// `select` opens an idea. The list centres a row it scrolls to in the workspace itself, since
// a recycled row may not exist as a widget.
inline QWidget* libraryView(ReaderModel& model, ReaderTab tab,
                            std::function<void(const DropSnapshot&)> select) {
  return new LibraryView(model, tab, std::move(select));
}

// The reading page of one idea; its own empty state without one.
inline QWidget* detailView(ReaderModel& model, const std::optional<DropSnapshot>& snapshot) {
  return new DetailView(model, snapshot);
}

// The settings page; it takes its draft from the model when it is made.
inline QWidget* settingsView(ReaderModel& model) {
  return new SettingsView(model);
}

// The welcome dashboard, laid out for `availableWidth` points. The window tells it a new
// width through its "availableWidth" property (a qreal).
inline QWidget* dashboardView(ReaderModel& model, qreal availableWidth) {
  return new DashboardView(model, availableWidth);
}

// The first-run onboarding and sign-in flow, on its welcome page; it fills what it is given.
inline QWidget* onboardingView(ReaderModel& model) {
  return new OnboardingView(model);
}

// The menu of the account dropdown; `openSettings` closes the dropdown and shows Settings.
// The dropdown around it carries the "account.dropdown" name.
inline QWidget* accountMenu(ReaderModel& model, std::function<void()> openSettings) {
  auto* menu = new AccountMenu(model);
  menu->setObjectName(QStringLiteral("account.menu"));
  QObject::connect(menu, &AccountMenu::closeRequested, menu, std::move(openSettings));
  return menu;
}

// The round avatar of `user` (none: no account), `size` points across.
inline QWidget* accountAvatar(const std::optional<ReaderAccountUser>& user, qreal size) {
  auto* avatar = new AccountAvatar(size);
  avatar->setUser(user);
  return avatar;
}

} // namespace ReaderPageFactories

} // namespace brindlewick
