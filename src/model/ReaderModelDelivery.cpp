// The delivery loop of ReaderModel: planning the next drop, the missed-drop check, putting a
// drop up as a teaser, and confirming that it was seen before it counts.

#include "model/ReaderModel.h"

#include "delivery/DeliveryEligibility.h"

#include <QPointer>

#include <array>
#include <cmath>
#include <utility>

namespace brindlewick {

namespace {

// The teaser rim's travelling glint by topic (hue, saturation), at brightness 0.98.
constexpr std::array<std::pair<double, double>, caseCount<Category>()> glints{{{0.72, 0.306},
                                                                               {0.48, 0.34},
                                                                               {0.56, 0.34},
                                                                               {0.07, 0.34},
                                                                               {0.2, 0.272},
                                                                               {0.08, 0.187},
                                                                               {0.84, 0.34},
                                                                               {0.02, 0.34},
                                                                               {0.12, 0.34},
                                                                               {0.36, 0.306},
                                                                               {0.62, 0.306},
                                                                               {0.93, 0.289}}};

QColor glint(Category topic) {
  const auto [hue, saturation] = glints[static_cast<std::size_t>(topic)];
  return QColor::fromHsvF(float(hue), float(saturation), 0.98f, 1.0f);
}

} // namespace

void ReaderModel::reschedule() {
  setScheduleGeneration(m_scheduleGeneration + 1);
  updateTeaser(true);

  std::optional<Date> next;
  if (eligible() && !cardVisible()) {
    const ReaderPreferences& preferences = m_preferences->value();
    next =
        SchedulePlanner::nextOpportunity(m_now(), preferences.schedule, m_repository->ledger(), m_calendar());
  }
  // Set once, at the end: observers never see the plan drop out and come back.
  setNextDelivery(next);
  if (!next) {
    m_scheduleTimer.cancel();
    m_timerTarget.reset();
    return;
  }
  // Re-planning happens at every application switch and mostly finds the same instant: the
  // wait already armed for it is adopted by this plan rather than replaced, unless the wall
  // clock moved against the scheduler's (a clock change or a suspend).
  const double seconds = next->secondsSince(m_now());
  const double deadline = m_scheduler.now() + std::max(seconds, 0.0);
  if (m_timerTarget == next && std::abs(m_timerDeadline - deadline) < timerSlack)
    return;
  m_timerTarget = next;
  m_timerDeadline = deadline;
  arm(m_scheduleTimer, seconds, [](ReaderModel& model) {
    model.m_timerTarget.reset();
    model.deliveryTimerFired();
  });
}

void ReaderModel::deliveryTimerFired() {
  // A wait no plan adopted was cancelled (a cancellation wins even over a wait that has
  // fired): the one that fires belongs to the current plan.
  deliverMissedDrop();
  reschedule();
}

void ReaderModel::deliverMissedDrop() {
  if (!eligible() || m_busy || cardVisible())
    return;
  // Only the latest opportunity of the last interval counts, so a computer that slept through
  // several shows one drop on waking, never a queue of them.
  const ReaderPreferences& preferences = m_preferences->value();
  if (SchedulePlanner::missedOpportunity(m_now(), preferences.schedule, m_repository->ledger(), m_calendar()))
    show(true);
}

void ReaderModel::scheduleCatchUp() {
  arm(m_catchUp, catchUpDelay, [](ReaderModel& model) { model.deliverMissedDrop(); });
}

void ReaderModel::show(bool automatic) {
  if (!m_storageHealthy || !signedIn()) {
    // A signed-in reader whose storage failed cannot fix it by signing in.
    setMessage(m_storageHealthy || !signedIn() ? signInPrompt : storagePausedPrompt);
    if (!automatic)
      callOpenWindow(ReaderTab::welcome);
    return;
  }
  if (m_busy)
    return;

  const std::optional<QString> teaserID = m_teaser ? std::optional<QString>(m_teaser->id()) : std::nullopt;
  std::optional<DropSnapshot> drop;
  if (automatic) {
    const ReaderPreferences& preferences = m_preferences->value();
    if (cardVisible() || !eligible() ||
        !SchedulePlanner::canPresent(m_now(), preferences.schedule, m_repository->ledger(), m_calendar()))
      return;
    drop = m_repository->select(preferences, teaserID, std::nullopt, m_random);
    if (!drop)
      drop = m_repository->select(m_preferences->value(), std::nullopt, std::nullopt, m_random);
  } else {
    drop = m_repository->teaserSnapshot(m_preferences->value(), teaserID);
  }
  if (!drop) {
    setMessage(ContentError(ContentError::Case::emptySelection).message());
    return;
  }

  std::optional<ReaderTab> returnPage;
  if (!automatic && m_windowOpen) {
    returnPage = m_navigationTab;
    callHideWindow();
  }
  const bool sameTeaserUp = teaserVisible() && m_teaser == drop;
  m_panel->dismiss(false);
  setTeaser(drop);
  setTeaserDismissed(false);
  setTeaserRequest(automatic ? PresentationRequest::automaticProbe : PresentationRequest::manual);
  updateTeaser(true);

  if (!teaserVisible()) {
    setMessage(m_teaserPanel->lastDecision());
    if (returnPage)
      callOpenWindow(*returnPage);
    return;
  }
  if (!sameTeaserUp && m_sound.isEnabled())
    m_sound.play();
  const Date shownAt = m_now();
  arm(m_deliveryConfirmation, deliveryConfirmationDelay,
      [drop = *drop, shownAt, automatic, returnPage](ReaderModel& model) {
        model.confirmDelivery(drop, shownAt, automatic, returnPage);
      });
  reschedule();
}

void ReaderModel::confirmDelivery(const DropSnapshot& drop, Date shownAt, bool automatic,
                                  std::optional<ReaderTab> returnPage) {
  PanelController& shownIn = m_current && m_current->id() == drop.id() ? *m_panel : *m_teaserPanel;
  if (!m_storageHealthy || !signedIn() || m_teaser != drop || !isSeen(shownIn)) {
    // Never seen, never counted.
    reschedule();
    return;
  }
  try {
    m_repository->recordDelivery(drop.id(), shownAt, automatic, m_calendar());
  } catch (const std::exception& error) {
    setStorageHealthy(false);
    setMessage(deliveryFailurePrefix + errorText(error));
    m_panel->dismiss(false);
    m_teaserPanel->dismiss(false);
    if (returnPage)
      callOpenWindow(*returnPage);
    reschedule();
    return;
  }
  setMessage(std::nullopt);
  reschedule();
}

void ReaderModel::requestDrop() {
  if (!m_storageHealthy || !signedIn() || m_busy)
    return;
  if (m_preferences->value().onboardingComplete) {
    show(false);
    return;
  }
  // The reader skipped setup: finish it first, then show.
  setBusy(true);
  finishSetup();
}

QCoro::Task<> ReaderModel::finishSetup() {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  ReaderPreferences preferences = m_preferences->value();
  preferences.onboardingComplete = true;
  QCoro::Task<> save = saveSettings(std::move(preferences), std::nullopt);
  const std::optional<QString> failure = co_await failureOf(save);
  if (!self || lifetime.isCancelled())
    co_return;
  setBusy(false);
  if (failure)
    setMessage(setupFailurePrefix + *failure);
  else
    show(false);
}

void ReaderModel::updateTeaser(bool animated) {
  if (!m_teaser || !teaserEligible() || m_teaserDismissed || m_busy || cardVisible()) {
    m_teaserPanel->dismiss(false);
    return;
  }
  const ReaderPreferences& preferences = m_preferences->value();
  std::optional<DropSnapshot> refreshed = m_repository->teaserSnapshot(preferences, m_teaser->id());
  if (!refreshed) {
    setTeaser(std::nullopt);
    m_teaserPanel->dismiss(false);
    return;
  }
  const QSizeF size(teaserWidth * preferences.textScale, teaserHeight * preferences.textScale);
  const bool visible = teaserVisible();
  if (m_renderedTeaser == refreshed && visible && m_teaserPanel->request() == m_teaserRequest &&
      m_teaserPanel->contentSize() == size &&
      m_teaserPanel->preferredDisplayID() == preferences.preferredDisplayID)
    return;

  setTeaser(refreshed);
  m_teaserPanel->setPreferredDisplayID(preferences.preferredDisplayID);
  m_teaserPanel->setContentSize(size);
  // The rim takes the topic's accent (the glint alone until the interface gives one).
  const Category topic = refreshed->lore.category;
  const QColor travelling = glint(topic);
  m_teaserPanel->setPreviewEdgeColors(
      EdgeColors{m_factories.accent ? m_factories.accent(topic) : travelling, travelling});
  if (m_factories.teaser) {
    const QPointer<ReaderModel> self(this);
    m_teaserPanel->setContent(m_factories.teaser(*refreshed, preferences.textScale, [self] {
      if (self)
        self->openTeaser();
    }));
  }
  setRenderedTeaser(refreshed);

  if (visible)
    m_teaserPanel->refreshLayout(m_teaserRequest);
  else if (!m_teaserPanel->show(m_teaserRequest, animated))
    setMessage(m_teaserPanel->lastDecision());
}

void ReaderModel::openTeaser() {
  if (m_busy || !teaserEligible() || !teaserVisible() || !m_teaser)
    return;
  const std::optional<DropSnapshot> refreshed =
      m_repository->teaserSnapshot(m_preferences->value(), m_teaser->id());
  if (refreshed == m_teaser) {
    present(*m_teaser);
    return;
  }
  setMessage(changedDropMessage);
  reschedule();
}

void ReaderModel::collapseReader() {
  if (!cardVisible() || m_panel->phase() == PanelController::Phase::dismissing)
    return;
  setIsCollapsingReader(true);
  m_readingConfirmation.cancel();
  m_dismissal.cancel();
  const double scale = m_preferences->value().textScale;
  const std::optional<Rect> teaserFrame =
      PanelController::targetLayoutFrame(m_screens, QSizeF(teaserWidth * scale, teaserHeight * scale),
                                         m_preferences->value().preferredDisplayID);
  m_panel->dismiss(true, teaserFrame);
}

void ReaderModel::dismiss() {
  m_deliveryConfirmation.cancel();
  setIsCollapsingReader(false);
  setTeaserDismissed(true);
  m_teaserPanel->dismiss(false);
  m_panel->dismiss(true);
}

} // namespace brindlewick
