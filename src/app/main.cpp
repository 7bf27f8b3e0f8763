#include "app/LaunchMode.h"
#include "app/LaunchRequest.h"
#include "app/SingleInstance.h"
#include "desktop/DesktopProbes.h"
#include "desktop/ScreenSource.h"
#include "panel/PanelController.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QTextStream>

using namespace brindlewick;

namespace {

// The panel never takes keyboard focus on its own; a click into it lets it, so that Escape
// reaches it.
class FocusOnClick : public QObject {
public:
  explicit FocusOnClick(PanelController& controller) : m_controller(controller) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == &m_controller.panel())
      m_controller.focusForKeyboard();
    return false;
  }

private:
  PanelController& m_controller;
};

} // namespace

// For now the reader shows the prototype panel through the panel controller, on the display
// it chooses, and quits when the panel is dismissed (its close button or Escape). A later
// start brings the panel back and ends; the diagnostic modes are not built yet.
int main(int argc, char** argv) {
  // The mode comes from the command line as given: Qt takes its own options (and whatever
  // follows one that expects a value) out of argv when the application object is made, and a
  // refused switch must end the start before a display is opened.
  QStringList commandLine;
  for (int i = 0; i < argc; ++i)
    commandLine.append(QString::fromLocal8Bit(argv[i]));
  const LaunchMode mode = launchMode(commandLine);
  if (mode == LaunchMode::refused) {
    QTextStream(stderr) << refusedDiagnosticsLine;
    return refusedExitStatus;
  }
  if (isDiagnostic(mode)) {
    QTextStream(stderr) << "Brindlewick " << BRINDLEWICK_VERSION
                        << ": this diagnostic mode is not built yet.\n";
    return refusedExitStatus;
  }
  // Qt takes the X11 startup id out of the environment when it connects to the display; a
  // start that hands its request on must pass it along.
  const QString startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID");
  const QString activationToken = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlewick"));
  QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("app.brindlewick"));

  LaunchRequest request = LaunchRequest::fromArguments(QCoreApplication::arguments());
  request.startupId = startupId;
  request.activationToken = activationToken;
  SingleInstance instance;
  try {
    if (instance.start(request) == SingleInstance::Role::forwarded)
      return 0;
  } catch (const SingleInstanceError& error) {
    QTextStream(stderr) << "Brindlewick: " << error.description() << "\n";
    return 1;
  }

  const SystemScreenSource screens;
  LinuxDesktopProbes desktop;
  // The typefaces and the appearance the interface follows, before any window exists.
  UiEnvironment::install(desktop.accessibility());
  PanelController controller(screens, desktop.probes());
  controller.setOnDismiss([] { QApplication::quit(); });
  FocusOnClick focusOnClick(controller);
  application.installEventFilter(&focusOnClick);
  const auto showAgain = [&controller] { controller.show(PresentationRequest::manual); };
  QObject::connect(&instance, &SingleInstance::reopenRequested, &controller, showAgain);
  QObject::connect(&instance, &SingleInstance::linksReceived, &controller, showAgain);
  QObject::connect(&instance, &SingleInstance::actionRequested, &controller, showAgain);

  if (!controller.show(PresentationRequest::manual)) {
    QTextStream(stderr) << "Brindlewick: " << controller.lastDecision() << "\n";
    return 1;
  }
  return QApplication::exec();
}
