#pragma once

#include "app/ReaderAppDelegate.h"
#include "model/ReaderModel.h"

#include <functional>
#include <memory>

namespace brindlewick {

class KeyringWatch;
class LaunchRequestQueue;
class SingleInstance;

// A normal start once it is the one running instance: the model, when it could be built, and
// the shell around it. The delegate goes first, as the model must outlive it.
struct ReaderLaunch {
  std::unique_ptr<ReaderModel> model;
  std::unique_ptr<ReaderAppDelegate> delegate;
  // The start ended with its alert answered: without a model and with no tray icon on screen,
  // nothing could reach the shell or quit it. The program then ends with `abandonedExitStatus`.
  bool abandoned = false;
  static constexpr int abandonedExitStatus = 1;
};

// Builds the model from `services`, serving events until it is built, then launches the shell:
// the tray icon and its menus, and the reader window, or the start-up alert when the model
// could not be built (the reason is written to standard error; nothing is reset or retried).
// Where no tray icon shows, the launch is abandoned once the reader has answered that alert;
// the alert answered later (whatever brought it back) with no tray icon on screen ends the main
// loop with `abandonedExitStatus`. Starts kept while the model opened are served by the alert
// once it shows (brought forward with it, their launch feedback ended), not carried out after it.
// The window's frame is kept in the services' application defaults file. Once the shell is up it
// carries out what `requests` kept while the model opened, in order, and every later one.
// With `keyring`, the watch the services' storage goes through: while the model waits for the
// keyring (a locked one asks the reader to unlock it) a small window says so, and a later start
// meanwhile that would open the reader window brings it forward; should the keyring never
// answer, the alert says that it stayed locked. Closing that window gives the start up: the
// launch comes back with neither model, shell nor alert, and the program is to end.
// With `takeFailure`, a model that could not be built is offered to it first (with the error's
// text): when it answers true it has dealt with the failure (a new version that does not start
// puts the previous one back), and the launch comes back with neither shell nor alert.
// With `instance`, the one requests come through, a shell without a model gives way to the first
// later start that would open the reader window while no alert shows: that start runs in this
// one's place, as itself, and the main loop ends with status 0. What is still kept then goes
// uncarried: only drop shortcuts, which have nothing to act on here. Starts kept before the shell
// was up never count, and a drop's shortcut is served here as ever.
using StartFailureHandler = std::function<bool(const QString& description)>;
ReaderLaunch launchReader(ReaderModel::Services services, ReaderAppDelegate::Options options,
                          LaunchRequestQueue* requests = nullptr, KeyringWatch* keyring = nullptr,
                          const StartFailureHandler& takeFailure = {}, SingleInstance* instance = nullptr);

// Why the start failed when the keyring stayed locked or never answered while the model opened:
// the keyring's own text would end in "try again", which at a start means starting again.
inline const QString keyringStayedLockedText = QStringLiteral(
    "Secure storage is unavailable: the system keyring stayed locked or did not answer, so Brindlewick "
    "could not read your sign-in. Unlock it (your login password usually opens it), then start "
    "Brindlewick again. No credentials were discarded.");
// After the keyring's own words when its bus gave up on it with an error of its own.
inline const QString keyringMayHaveStayedLockedText = QStringLiteral(
    "The keyring may have stayed locked, so Brindlewick could not read your sign-in: unlock it (your "
    "login password usually opens it), then start Brindlewick again.");

// Why the model could not be built, as the start-up alert gives it on the line after its own
// text and standard error after its prefix: `error`, the model's, unless the keyring failed a
// request meanwhile. Then the keyring's own description; when the keyring was given up on,
// keyringStayedLockedText in its place for a keyring that is locked or did not answer, or
// keyringMayHaveStayedLockedText after it for another error.
QString startFailureText(const QString& error, const KeyringWatch* keyring);

} // namespace brindlewick
