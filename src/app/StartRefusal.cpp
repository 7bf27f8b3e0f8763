#include "app/StartRefusal.h"

#include "desktop/WindowActivation.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QTextStream>
#include <QWindow>

namespace brindlewick {

namespace {

// A start that reached the running copy lost only its request: the reader runs on.
QString title(const SingleInstanceError& error) {
  return error.stage() == SingleInstanceError::Stage::handingOver ? StartRefusal::requestNotTakenTitle
                                                                  : ReaderAppDelegate::startupAlertTitle;
}

} // namespace

bool StartRefusal::hasDisplay() {
  const QString platform = QGuiApplication::platformName();
  return !platform.isEmpty() && platform != QLatin1String("offscreen") &&
         platform != QLatin1String("minimal");
}

void StartRefusal::report(const SingleInstanceError& error, const LaunchRequest& request,
                          const ReaderAppDelegate::AlertPresenter& alert) {
  const QString description = error.description();
  QTextStream(stderr) << "Brindlewick: " << description << "\n";
  if (alert) {
    alert(title(error), description);
  } else if (hasDisplay()) {
    const std::unique_ptr<QMessageBox> box = ReaderAppDelegate::makeAlert(title(error), description);
    // In front of the window the reader started this from, which focus-stealing prevention
    // would otherwise keep it behind.
    box->winId();
    if (QWindow* handle = box->windowHandle()) {
      box->show();
      WindowActivation::activate(*handle, request.startupId, request.activationToken);
    }
    box->exec();
  }
  WindowActivation::endLaunchFeedback(request.startupId);
}

} // namespace brindlewick
