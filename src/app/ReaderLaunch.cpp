#include "app/ReaderLaunch.h"

#include "app/KeyringWaitWindow.h"
#include "app/KeyringWatch.h"
#include "app/LaunchRequestQueue.h"
#include "app/SingleInstance.h"
#include "desktop/WindowActivation.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>

#include <QCoroTask>

namespace brindlewick {

namespace {

// Runs the model's construction to its end. QCoro::waitFor would wait forever for a task that
// ends before its loop starts (a store that fails at once does), so the loop runs only while
// the task is still going. `givenUp` turns true, and no model comes back, when the reader closed
// the window that says the start waits for the keyring.
std::unique_ptr<ReaderModel> openModel(ReaderModel::Services services, KeyringWatch* keyring,
                                       LaunchRequestQueue* requests, bool& givenUp) {
  std::unique_ptr<ReaderModel> model;
  std::exception_ptr failure;
  bool finished = false;
  QEventLoop loop;
  // Shown only while the keyring keeps the start waiting; gone once the model is open.
  std::unique_ptr<KeyringWaitWindow> waitWindow;
  if (keyring) {
    QObject::connect(keyring, &KeyringWatch::waitingChanged, &loop, [&waitWindow, &givenUp, &loop, keyring] {
      if (!keyring->waiting()) {
        if (waitWindow)
          waitWindow->hide();
        return;
      }
      if (!waitWindow) {
        waitWindow = std::make_unique<KeyringWaitWindow>();
        // Closed, it is the reader's Quit: there is no tray icon yet to quit from. The keyring's
        // requests end now, and the construction with them.
        QObject::connect(waitWindow.get(), &KeyringWaitWindow::closed, &loop, [&givenUp, keyring] {
          givenUp = true;
          keyring->giveUp();
        });
      }
      waitWindow->show();
    });
  }
  if (requests) {
    // A later start meanwhile is carried out once the reader is up; until then one that would
    // open the window brings forward what there is to see. A drop's shortcut has nothing to act
    // on yet, and must not take the keyboard from the application in front. Either way the
    // launcher's busy cursor ends now, not when the keyring lets the start go on.
    QObject::connect(requests, &LaunchRequestQueue::kept, &loop, [&waitWindow](const LaunchRequest& request) {
      if (!request.opensReaderWindow()) {
        WindowActivation::endLaunchFeedback(request.startupId);
        return;
      }
      if (!waitWindow || !waitWindow->isVisible() || !waitWindow->windowHandle())
        return;
      waitWindow->raise();
      WindowActivation::activate(*waitWindow->windowHandle(), request.startupId, request.activationToken);
      WindowActivation::endLaunchFeedback(request.startupId);
    });
  }
  const auto run = [&](ReaderModel::Services given) -> QCoro::Task<> {
    try {
      model = co_await ReaderModel::open(std::move(given));
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
    loop.quit();
  };
  const QCoro::Task<> task = run(std::move(services));
  if (!finished)
    loop.exec();
  if (givenUp)
    return nullptr;
  if (failure)
    std::rethrow_exception(failure);
  return model;
}

} // namespace

QString startFailureText(const QString& error, const KeyringWatch* keyring) {
  if (!keyring || !keyring->lastFailure())
    return error;
  const KeychainError& failure = *keyring->lastFailure();
  if (!keyring->gaveUp())
    return failure.description();
  switch (failure.cause()) {
  case KeychainError::Cause::locked:
  case KeychainError::Cause::noAnswer: return keyringStayedLockedText;
  case KeychainError::Cause::other: return failure.description() + u' ' + keyringMayHaveStayedLockedText;
  // A keyring that is not there, or that the bus to it does not reach, is not locked: its own
  // text says what to do.
  case KeychainError::Cause::noService:
  case KeychainError::Cause::noSessionBus: break;
  }
  return failure.description();
}

ReaderLaunch launchReader(ReaderModel::Services services, ReaderAppDelegate::Options options,
                          LaunchRequestQueue* requests, KeyringWatch* keyring,
                          const StartFailureHandler& takeFailure, SingleInstance* instance) {
  options.applicationDefaultsFile = services.applicationDefaultsFile;
  ReaderLaunch launch;
  std::optional<QString> startupError;
  try {
    bool givenUp = false;
    launch.model = openModel(std::move(services), keyring, requests, givenUp);
    if (givenUp) {
      // Nothing will answer the starts kept meanwhile: the desktop stops their busy cursors.
      if (requests)
        requests->deliverTo(requests, [](const LaunchRequest& request) {
          WindowActivation::endLaunchFeedback(request.startupId);
        });
      return launch;
    }
  } catch (const std::exception& error) {
    // A failed keyring read fails the start with the account's storage error, which drops the
    // keyring's own; the reader is told the keyring's words, and what to do when it stayed locked.
    const QString description = startFailureText(QString::fromUtf8(error.what()), keyring);
    QTextStream(stderr) << "Brindlewick initialization failed: " << description << "\n";
    if (takeFailure && takeFailure(description))
      return launch;
    startupError = ReaderAppDelegate::startupErrorText(description);
  }

  launch.delegate = std::make_unique<ReaderAppDelegate>(launch.model.get(), startupError, std::move(options));
  ReaderAppDelegate* delegate = launch.delegate.get();
  if (requests) {
    requests->serveAtOnce(delegate, [delegate](const LaunchRequest& request) {
      return delegate->bringStartupAlertForward(request);
    });
    QObject::connect(delegate, &ReaderAppDelegate::startupAlertShown, requests,
                     &LaunchRequestQueue::serveKept);
  }
  launch.delegate->launch();
  // The shell without a model is kept for its tray menu, the way to read the alert again or to
  // quit. With no tray icon on screen it would be a process nothing can reach: the answered
  // alert ends it, so that the next start begins afresh rather than handing itself to it. The
  // launch's own alert is answered before the main loop runs, which the caller then never
  // starts; a later one, from whatever loop it was answered in, ends the main loop.
  if (delegate->abandoned()) {
    launch.abandoned = true;
    return launch;
  }
  // Requests still waiting their turn are not carried out: the program is ending.
  QObject::connect(delegate, &ReaderAppDelegate::abandonedChanged, delegate, [requests] {
    if (requests)
      requests->deliverTo(nullptr, {});
    QCoreApplication::exit(ReaderLaunch::abandonedExitStatus);
  });
  if (!requests)
    return launch;
  // The starts kept so far were this one's own, or came while it waited: the alert served those
  // that would open the window.
  requests->deliverTo(delegate, [delegate](const LaunchRequest& request) { delegate->handle(request); });
  if (launch.model || !instance)
    return launch;
  // A later start that would open the window is the reader starting again, as the alert advises
  // once the cause is mended (the keyring unlocked, the start made from the desktop's session):
  // this shell gives way to it, and it runs as itself, with its own environment and program,
  // rather than meet the alert of a start that failed before. This one never tries again.
  // While the alert shows, it is brought forward instead.
  instance->giveWayWhen(delegate, [delegate](const LaunchRequest& request) {
    return request.opensReaderWindow() && !delegate->startupAlertShowing();
  });
  QObject::connect(instance, &SingleInstance::gaveWay, delegate, [requests] {
    requests->deliverTo(nullptr, {});
    QCoreApplication::exit(0);
  });
  return launch;
}

} // namespace brindlewick
