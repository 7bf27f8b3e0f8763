#include "app/StartRefusal.h"

#include "desktop/WindowActivation.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QTextStream>
#include <QWindow>

namespace brindlewick {

bool StartRefusal::hasDisplay() {
  const QString platform = QGuiApplication::platformName();
  return !platform.isEmpty() && platform != QLatin1String("offscreen") &&
         platform != QLatin1String("minimal");
}

void StartRefusal::report(const QString& description, const LaunchRequest& request,
                          const ReaderAppDelegate::AlertPresenter& alert) {
  QTextStream(stderr) << "Brindlewick: " << description << "\n";
  if (alert) {
    alert(ReaderAppDelegate::startupAlertTitle, description);
  } else if (hasDisplay()) {
    const std::unique_ptr<QMessageBox> box =
        ReaderAppDelegate::makeAlert(ReaderAppDelegate::startupAlertTitle, description);
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
