#include "app/PanelSmokeTest.h"

#include "panel/PanelController.h"

#include <QJsonArray>

namespace brindlewick {

QCoro::Task<PanelSmokeResult> runPanelSmokeTest(PanelController& controller, DelayScheduler& scheduler,
                                                PanelSmokeProbes probes, std::optional<qint32> initialPid,
                                                bool statusItemCreated, qsizetype statusMenuItemCount) {
  PanelSmokeResult result;
  QJsonObject& verdict = result.verdict;
  verdict.insert(QStringLiteral("kind"), QStringLiteral("finite nonactivating automatic-probe smoke"));
  verdict.insert(QStringLiteral("initialFrontmostPID"), initialPid ? *initialPid : -1);
  verdict.insert(QStringLiteral("statusItemCreated"), statusItemCreated);
  verdict.insert(QStringLiteral("statusMenuItemCount"), statusMenuItemCount);
  verdict.insert(QStringLiteral("before"), probes.snapshot());

  if (!controller.show(PresentationRequest::automaticProbe, false)) {
    verdict.insert(QStringLiteral("outcome"), QStringLiteral("skipped"));
    verdict.insert(QStringLiteral("reason"), controller.lastDecision());
    result.exitStatus = 2;
    co_return result;
  }

  bool focus = initialPid.has_value();
  bool visible = true;
  QJsonArray samples;
  const CancellationToken never; // a default token is never cancelled
  for (int sample = 0; sample < panelSmokeSamples; ++sample) {
    co_await delay(scheduler, panelSmokeInterval, never);
    focus =
        focus && probes.frontmostPid() == initialPid && !probes.applicationActive() && !probes.panelIsKey();
    visible = visible && probes.panelSeen();
    samples.append(probes.snapshot());
  }
  verdict.insert(QStringLiteral("samples"), samples);
  verdict.insert(QStringLiteral("focusRetainedAtEverySample"), focus);
  verdict.insert(QStringLiteral("visibleOnActiveSpaceAtEverySample"), visible);
  const bool passed = focus && visible && statusItemCreated && statusMenuItemCount == panelSmokeMenuItemCount;
  verdict.insert(QStringLiteral("outcome"), passed ? QStringLiteral("passed sampled smoke checks")
                                                   : QStringLiteral("inconclusive or checks failed"));
  controller.dismiss(false);
  verdict.insert(QStringLiteral("afterDismiss"), probes.snapshot());
  result.exitStatus = passed ? 0 : 1;
  co_return result;
}

} // namespace brindlewick
