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

// For now the application shows the prototype panel through the panel controller, on the
// display it chooses, and quits when the panel is dismissed (its close button or Escape).
int main(int argc, char** argv) {
  if (argc > 1) {
    QTextStream(stderr) << "Brindlewick " << BRINDLEWICK_VERSION
                        << ": run without arguments to show the prototype panel.\n";
    return 2;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brindlewick"));
  QApplication::setApplicationVersion(QStringLiteral(BRINDLEWICK_VERSION));

  const SystemScreenSource screens;
  LinuxDesktopProbes desktop;
  // The typefaces and the appearance the interface follows, before any window exists.
  UiEnvironment::install(desktop.accessibility());
  PanelController controller(screens, desktop.probes());
  controller.setOnDismiss([] { QApplication::quit(); });
  FocusOnClick focusOnClick(controller);
  application.installEventFilter(&focusOnClick);

  if (!controller.show(PresentationRequest::manual)) {
    QTextStream(stderr) << "Brindlewick: " << controller.lastDecision() << "\n";
    return 1;
  }
  return QApplication::exec();
}
