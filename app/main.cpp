#include "DropPanel.h"
#include "FixturePanel.h"
#include "FrameClock.h"
#include "PanelContentContainer.h"
#include "ScreenSource.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTextStream>

using namespace brindlewick;

namespace {

// The panel never takes keyboard focus on its own; a click into it lets it, so that Escape
// reaches it.
class FocusOnClick : public QObject {
public:
  explicit FocusOnClick(DropPanel* panel) : m_panel(panel) {}

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == m_panel) {
      m_panel->setAcceptsKeyboardFocus(true);
      m_panel->activateWindow();
    }
    return false;
  }

private:
  DropPanel* m_panel;
};

} // namespace

// For now the application shows the prototype panel at the top centre of the primary
// display and quits when it is dismissed (its close button or Escape).
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
  const QList<ScreenDescription> displays = screens.screens();
  if (displays.isEmpty()) {
    QTextStream(stderr) << "Brindlewick: no display is connected.\n";
    return 1;
  }

  SystemFrameClock clock;
  DropPanel panel;
  auto* container = new PanelContentContainer(&clock);
  panel.setContentView(container);
  const auto dismiss = [&panel] {
    panel.hide();
    QApplication::quit();
  };
  container->setContent(new FixturePanel(dismiss));
  panel.setOnEscape(dismiss);
  FocusOnClick focusOnClick(&panel);
  application.installEventFilter(&focusOnClick);

  const PanelLayout layout = displays.first().geometry.panelLayout(QSizeF(420, 196));
  container->setContentSize(layout.contentFrame.size());
  container->setTopInset(layout.topInset());
  container->setNotchWidth(layout.notchWidth);
  panel.setGeometry(screens.mapping().toDesktop(layout.frame).toAlignedRect());
  panel.show();
  return QApplication::exec();
}
