#pragma once

#include "foundation/DelayScheduler.h"

#include <QJsonObject>
#include <QString>

#include <QCoroTask>

#include <functional>
#include <optional>

namespace brindlewick {

class PanelController;

// The panel's smoke test: show the panel as an automatic delivery would, sample four times a
// quarter of a second apart whether the application in front kept its focus and whether the
// panel stayed in view, and give a verdict. Everything it looks at comes through the probes,
// so that the verdict can be tested without a desktop.
struct PanelSmokeProbes {
  // The process of the application in front; none when nothing is.
  std::function<std::optional<qint32>()> frontmostPid;
  std::function<bool()> applicationActive;
  // The panel holds the input focus.
  std::function<bool()> panelIsKey;
  // The panel is visible, on the active workspace and not covered.
  std::function<bool()> panelSeen;
  // The diagnostics report of the panel now.
  std::function<QJsonObject()> snapshot;
};

struct PanelSmokeResult {
  QJsonObject verdict;
  // 0 passed, 1 shown but a check failed, 2 not shown.
  int exitStatus = 2;
};

// The number of entries the diagnostic tray menu must have.
inline constexpr qsizetype panelSmokeMenuItemCount = 5;
inline constexpr int panelSmokeSamples = 4;
inline constexpr double panelSmokeInterval = 0.25;

// `statusMenuItemCount` is 0 unless the tray icon is docked. Shows the panel (not animated),
// samples it and dismisses it again.
QCoro::Task<PanelSmokeResult> runPanelSmokeTest(PanelController& controller, DelayScheduler& scheduler,
                                                PanelSmokeProbes probes, std::optional<qint32> initialPid,
                                                bool statusItemCreated, qsizetype statusMenuItemCount);

} // namespace brindlewick
