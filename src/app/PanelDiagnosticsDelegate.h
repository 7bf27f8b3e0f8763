#pragma once

#include "app/Diagnostics.h"

#include <QObject>

#include <memory>
#include <optional>

class QMenu;
class QSystemTrayIcon;

namespace brindlewick {

class DelayScheduler;
class PanelController;

// The shell of the two panel test modes: the panel with its default content and a tray menu to
// show, probe, dismiss and inspect it by hand ("--feasibility"), and, for "--smoke-panel", the
// automatic smoke test, whose verdict goes to standard output and whose status ends the process.
// It builds no model and opens no reader window.
class PanelDiagnosticsDelegate final : public QObject {
  Q_OBJECT

public:
  PanelDiagnosticsDelegate(Diagnostics::Sources sources, DelayScheduler& scheduler,
                           std::optional<qint32> initialPid);
  ~PanelDiagnosticsDelegate() override;

  // Creates the panel controller and the tray menu; with `smoke`, starts the smoke test, which
  // quits the application with its status when it ends.
  void launch(bool smoke);

  PanelController* controller() const { return m_controller.get(); }
  QMenu* statusMenu() const { return m_statusMenu.get(); }

private:
  void showManual();
  void showProbe();
  void dismiss();
  void printDiagnostics();
  void runSmoke();

  Diagnostics::Sources m_sources;
  DelayScheduler& m_scheduler;
  std::optional<qint32> m_initialPid;
  std::unique_ptr<PanelController> m_controller;
  std::unique_ptr<QMenu> m_statusMenu;
  std::unique_ptr<QSystemTrayIcon> m_statusItem;
};

} // namespace brindlewick
