#include "app/Diagnostics.h"

#include "desktop/DesktopState.h"
#include "desktop/FullScreenProbe.h"
#include "desktop/ScreenSource.h"
#include "desktop/X11DesktopWatch.h"
#include "foundation/Json.h"
#include "panel/PanelController.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QScreen>
#include <QSysInfo>
#include <QWindow>

namespace brindlewick::Diagnostics {

namespace {

double backingScale(const QString& name) {
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->name() == name)
      return screen->devicePixelRatio();
  }
  return 1;
}

QJsonObject screenReport(const ScreenDescription& screen) {
  const ScreenGeometry& geometry = screen.geometry;
  const QSizeF proposed(proposedPanelWidth, proposedPanelHeight);
  return QJsonObject{
      {QStringLiteral("frame"), rect(geometry.frame())},
      {QStringLiteral("visibleFrame"), rect(geometry.visibleFrame())},
      {QStringLiteral("safeTop"), geometry.safeTop()},
      {QStringLiteral("auxiliaryLeft"), rect(geometry.auxiliaryLeft())},
      {QStringLiteral("auxiliaryRight"), rect(geometry.auxiliaryRight())},
      {QStringLiteral("isBuiltIn"), geometry.isBuiltIn()},
      {QStringLiteral("backingScale"), backingScale(screen.name)},
      {QStringLiteral("anchorMode"),
       geometry.notchGap() ? QStringLiteral("notch") : QStringLiteral("fallbackHUD")},
      {QStringLiteral("proposedPanelFrame"), rect(geometry.panelFrame(proposed))},
  };
}

QJsonObject panelReport(const Sources& sources, const PanelController& controller) {
  const DropPanel& panel = controller.panel();
  const QWindow* window = panel.windowHandle();
  const bool visible = panel.isVisible();
  // As the delivery confirmation reads them: a desktop that cannot tell counts as seen.
  DesktopState* state = sources.probes.state;
  const bool onActiveSpace = visible && window && (!state || state->isOnActiveSpace(*window));
  const bool occlusionVisible = visible && window && (!state || !state->isCovered(*window));
  return QJsonObject{
      {QStringLiteral("visible"), visible},
      {QStringLiteral("onActiveSpace"), onActiveSpace},
      {QStringLiteral("occlusionVisible"), occlusionVisible},
      {QStringLiteral("isKey"), visible && panelIsKey(sources, controller)},
      // The panel is never anyone's main window.
      {QStringLiteral("isMain"), false},
      {QStringLiteral("canBecomeKey"), panel.canBecomeKey()},
      {QStringLiteral("canBecomeMain"), panel.canBecomeMain()},
      {QStringLiteral("nonactivatingStyle"), panel.nonActivatingStyle()},
      {QStringLiteral("collectionBehaviorRaw"), static_cast<qint64>(controller.collectionBehavior())},
      {QStringLiteral("frame"), rect(controller.panelFrame())},
  };
}

} // namespace

QJsonObject rect(const Rect& rect) {
  return QJsonObject{{QStringLiteral("x"), rect.x},
                     {QStringLiteral("y"), rect.y},
                     {QStringLiteral("width"), rect.width},
                     {QStringLiteral("height"), rect.height}};
}

bool panelSeen(const Sources& sources, const PanelController& panel) {
  const QWindow* window = panel.panel().windowHandle();
  DesktopState* state = sources.probes.state;
  return panel.panel().isVisible() && window &&
         (!state || (state->isOnActiveSpace(*window) && !state->isCovered(*window)));
}

bool panelIsKey(const Sources& sources, const PanelController& panel) {
  const QWindow* window = panel.panel().windowHandle();
  return window && sources.x11 && sources.x11->inputFocus() == static_cast<std::uint32_t>(window->winId());
}

QJsonObject snapshot(const Sources& sources, const PanelController* panel) {
  const bool fullScreen =
      sources.probes.fullScreen && sources.probes.fullScreen->frontApplicationIsFullScreen();
  const std::optional<qint32> frontmost = sources.x11 ? sources.x11->activeWindowPid() : std::nullopt;
  QJsonArray screens;
  for (const ScreenDescription& screen : sources.screens.screens())
    screens.append(screenReport(screen));
  QJsonObject report{
      {QStringLiteral("os"), QSysInfo::prettyProductName()},
      {QStringLiteral("presentationOptionsRaw"), fullScreen ? fullScreenPresentation : 0},
      {QStringLiteral("activeAppReportsFullScreen"), fullScreen},
      {QStringLiteral("automaticProbeAllowed"), !fullScreen},
      // Every screen shows the same workspace.
      {QStringLiteral("separateSpaces"), false},
      {QStringLiteral("appActive"), QGuiApplication::applicationState() == Qt::ApplicationActive},
      {QStringLiteral("frontmostPID"), frontmost ? *frontmost : -1},
      {QStringLiteral("screens"), screens},
  };
  if (panel)
    report.insert(QStringLiteral("panel"), panelReport(sources, *panel));
  return report;
}

bool printJSON(const QJsonObject& report, std::FILE* out, std::FILE* err) {
  QByteArray text;
  try {
    // The project's writer refuses what JSON cannot carry; Qt would write null for it.
    Json::serialize(report);
    // QJsonObject keeps its keys sorted, so the indented form is sorted at every level.
    text = QJsonDocument(report).toJson(QJsonDocument::Indented);
  } catch (const JsonEncodingError& error) {
    std::fprintf(err, "Cannot encode diagnostics: %s\n", error.what());
    std::fflush(err);
    return false;
  }
  if (!text.endsWith('\n'))
    text.append('\n');
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), out);
  std::fflush(out);
  return true;
}

} // namespace brindlewick::Diagnostics
