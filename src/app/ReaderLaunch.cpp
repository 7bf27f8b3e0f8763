#include "app/ReaderLaunch.h"

#include "app/KeyringWaitWindow.h"
#include "app/KeyringWatch.h"
#include "app/LaunchRequestQueue.h"
#include "desktop/WindowActivation.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>

#include <QCoroTask>

namespace brindlewick {

namespace {

// Runs the model's construction to its end. QCoro::waitFor would wait forever for a task that
// ends before its loop starts (a store that fails at once does), so the loop runs only while
// the task is still going.
std::unique_ptr<ReaderModel> openModel(ReaderModel::Services services, KeyringWatch* keyring,
                                       LaunchRequestQueue* requests) {
  std::unique_ptr<ReaderModel> model;
  std::exception_ptr failure;
  bool finished = false;
  QEventLoop loop;
  // Shown only while the keyring keeps the start waiting; gone once the model is open.
  std::unique_ptr<KeyringWaitWindow> waitWindow;
  if (keyring) {
    QObject::connect(keyring, &KeyringWatch::waitingChanged, &loop, [&waitWindow, keyring] {
      if (!keyring->waiting()) {
        if (waitWindow)
          waitWindow->hide();
        return;
      }
      if (!waitWindow)
        waitWindow = std::make_unique<KeyringWaitWindow>();
      waitWindow->show();
    });
  }
  if (requests) {
    // A later start meanwhile is carried out once the reader is up; until then it brings
    // forward what there is to see.
    QObject::connect(requests, &LaunchRequestQueue::kept, &loop, [&waitWindow](const LaunchRequest& request) {
      if (!waitWindow || !waitWindow->isVisible() || !waitWindow->windowHandle())
        return;
      waitWindow->raise();
      WindowActivation::activate(*waitWindow->windowHandle(), request.startupId, request.activationToken);
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
                          const StartFailureHandler& takeFailure) {
  options.applicationDefaultsFile = services.applicationDefaultsFile;
  ReaderLaunch launch;
  std::optional<QString> startupError;
  try {
    launch.model = openModel(std::move(services), keyring, requests);
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
  if (requests)
    requests->deliverTo(delegate, [delegate](const LaunchRequest& request) { delegate->handle(request); });
  return launch;
}

} // namespace brindlewick
