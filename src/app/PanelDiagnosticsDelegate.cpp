#include "app/PanelDiagnosticsDelegate.h"

#include "app/PanelSmokeTest.h"
#include "app/ReaderAppDelegate.h"
#include "desktop/X11DesktopWatch.h"
#include "panel/PanelController.h"

#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include <QCoroCore>

namespace brindlewick {

PanelDiagnosticsDelegate::PanelDiagnosticsDelegate(Diagnostics::Sources sources, DelayScheduler& scheduler,
                                                   std::optional<qint32> initialPid)
    : m_sources(std::move(sources)), m_scheduler(scheduler), m_initialPid(initialPid) {}

PanelDiagnosticsDelegate::~PanelDiagnosticsDelegate() = default;

void PanelDiagnosticsDelegate::launch(bool smoke) {
  m_controller = std::make_unique<PanelController>(m_sources.screens, m_sources.probes);
  m_statusMenu = std::make_unique<QMenu>();
  m_statusMenu->addAction(QStringLiteral("Show prototype"), this, &PanelDiagnosticsDelegate::showManual);
  m_statusMenu->addAction(QStringLiteral("Probe automatic eligibility (no schedule)"), this,
                          &PanelDiagnosticsDelegate::showProbe);
  m_statusMenu->addAction(QStringLiteral("Dismiss"), this, &PanelDiagnosticsDelegate::dismiss);
  m_statusMenu->addAction(QStringLiteral("Print geometry diagnostics"), this,
                          &PanelDiagnosticsDelegate::printDiagnostics);
  m_statusMenu->addAction(QStringLiteral("Quit Brindlewick"), qApp, &QApplication::quit);
  m_statusItem = std::make_unique<QSystemTrayIcon>(ReaderAppDelegate::menuIcon());
  m_statusItem->setToolTip(QStringLiteral("Brindlewick"));
  m_statusItem->setContextMenu(m_statusMenu.get());
  m_statusItem->show();
  if (smoke)
    runSmoke();
}

void PanelDiagnosticsDelegate::showManual() {
  m_controller->show(PresentationRequest::manual);
}

void PanelDiagnosticsDelegate::showProbe() {
  m_controller->show(PresentationRequest::automaticProbe);
  printDiagnostics();
}

void PanelDiagnosticsDelegate::dismiss() {
  m_controller->dismiss();
}

void PanelDiagnosticsDelegate::printDiagnostics() {
  QJsonObject report = Diagnostics::snapshot(m_sources, m_controller.get());
  report.insert(QStringLiteral("lastDecision"), m_controller->lastDecision());
  Diagnostics::printJSON(report);
}

void PanelDiagnosticsDelegate::runSmoke() {
  // Docked means a tray took the icon; without one the menu counts as absent.
  const bool docked = QSystemTrayIcon::isSystemTrayAvailable() && m_statusItem->isVisible();
  const qsizetype menuItems = docked ? m_statusMenu->actions().size() : 0;
  PanelController& controller = *m_controller;
  const Diagnostics::Sources sources = m_sources;
  PanelSmokeProbes probes{
      .frontmostPid = [sources] { return sources.x11 ? sources.x11->activeWindowPid() : std::nullopt; },
      .applicationActive = [] { return QGuiApplication::applicationState() == Qt::ApplicationActive; },
      .panelIsKey = [sources, &controller] { return Diagnostics::panelIsKey(sources, controller); },
      .panelSeen = [sources, &controller] { return Diagnostics::panelSeen(sources, controller); },
      .snapshot = [sources, &controller] { return Diagnostics::snapshot(sources, &controller); },
  };
  QCoro::connect(
      runPanelSmokeTest(controller, m_scheduler, std::move(probes), m_initialPid, docked, menuItems), this,
      [](const PanelSmokeResult& result) {
        Diagnostics::printJSON(result.verdict);
        QCoreApplication::exit(result.exitStatus);
      });
}

} // namespace brindlewick

// Compiled here rather than in the library's shared moc unit, so that a program that links only
// SingleInstance from this library does not pull the whole shell in with it.
#include "moc_PanelDiagnosticsDelegate.cpp"
