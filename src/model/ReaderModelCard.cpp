// The reading card of ReaderModel: putting a drop up in the card, confirming the reading,
// the card's automatic collapse, and the cleanup once the card has closed.

#include "model/ReaderModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUuid>

namespace brindlewick {

namespace {

QString newImpressionID() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Resumes on a later turn of the event loop, so that work started "to run later" sees
// whatever happened in between.
QCoro::Task<> nextTurn() {
  Completion<std::monostate> turn;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(), [turn]() mutable { turn.resolve({}); }, Qt::QueuedConnection);
  co_await turn;
}

} // namespace

void ReaderModel::present(const DropSnapshot& snapshot) {
  setBusy(true);
  setTeaser(snapshot);
  const std::optional<Rect> origin =
      teaserVisible() ? std::optional<Rect>(m_teaserPanel->panelFrame()) : std::nullopt;
  std::optional<ReaderTab> returnPage;
  if (m_windowOpen) {
    returnPage = m_navigationTab;
    callHideWindow();
  }
  setCurrent(snapshot);
  setImpressionID(newImpressionID());

  const ReaderPreferences& preferences = m_preferences->value();
  m_panel->setPreferredDisplayID(preferences.preferredDisplayID);
  m_panel->setContentSize(QSizeF(cardWidth, cardMinimumHeight * preferences.textScale));
  const QPointer<ReaderModel> self(this);
  m_panel->setContentHeight([self](double width) {
    if (!self || !self->m_factories.cardFittingHeight)
      return 0.0;
    return self->m_factories.cardFittingHeight(*self, width);
  });
  if (m_factories.card)
    m_panel->setContent(m_factories.card(*this));

  if (!m_panel->show(PresentationRequest::manual, true, origin)) {
    setMessage(m_panel->lastDecision());
    setCurrent(std::nullopt);
    setImpressionID(std::nullopt);
    setBusy(false);
    reschedule();
    if (returnPage)
      callOpenWindow(*returnPage);
    return;
  }
  m_teaserPanel->dismiss(false);
  setTeaserDismissed(false);
  arm(m_readingConfirmation, readingConfirmationDelay,
      [snapshot, impression = m_impressionID, returnPage](ReaderModel& model) {
        model.confirmReading(snapshot, impression, returnPage);
      });
}

void ReaderModel::confirmReading(const DropSnapshot& snapshot, const std::optional<QString>& impressionID,
                                 std::optional<ReaderTab> returnPage) {
  // Another card has taken over.
  if (m_impressionID != impressionID)
    return;
  const bool seen = isSeen(*m_panel) && m_panel->phase() == PanelController::Phase::visible;
  if (!m_storageHealthy || !signedIn() || !seen) {
    // A card nobody saw is not a reading.
    m_panel->dismiss(false);
    setBusy(false);
    reschedule();
    return;
  }
  try {
    recordReading(snapshot, impressionID.value_or(newImpressionID()));
    resetDismissal();
    setMessage(std::nullopt);
  } catch (const std::exception& error) {
    setStorageHealthy(false);
    setMessage(readingFailurePrefix + errorText(error));
    m_panel->dismiss(false);
    if (returnPage)
      callOpenWindow(*returnPage);
  }
  setBusy(false);
  reschedule();
}

void ReaderModel::recordReading(const DropSnapshot& snapshot, const QString& impressionID) {
  // Recorded as a showing the reader chose.
  m_repository->recordDelivery(snapshot.id(), m_now(), false, m_calendar());

  QList<DropSnapshot> history = m_accountHistory;
  history.removeIf([&](const DropSnapshot& entry) { return entry.id() == snapshot.id(); });
  history.prepend(snapshot);
  if (history.size() > accountHistoryLimit)
    history.remove(accountHistoryLimit, history.size() - accountHistoryLimit);
  setAccountHistory(std::move(history));

  if (m_preferences->value().analyticsConsent)
    reportReading(snapshot, impressionID, m_now(), readerID());
}

QCoro::Task<> ReaderModel::reportReading(DropSnapshot snapshot, QString impressionID, Date at,
                                         std::optional<QString> userID) {
  const QPointer<ReaderModel> self(this);
  const CancellationToken lifetime = m_lifetime.token();
  co_await nextTurn();
  if (!self || lifetime.isCancelled())
    co_return;
  // Only for the reader who read it, still signed in, still consenting.
  if (readerID() != userID || !signedIn() || !m_preferences->value().analyticsConsent)
    co_return;
  try {
    co_await m_account->recordRead(std::move(snapshot), std::move(impressionID), at);
  } catch (const std::exception&) {
    // The reading stays recorded here; the reader could do nothing about a lost report.
  }
}

void ReaderModel::resetDismissal() {
  m_dismissal.cancel();
  if (!m_current || m_panel->phase() != PanelController::Phase::visible || m_hovered || cardIsKey() ||
      screenReaderRuns())
    return;
  arm(m_dismissal, autoCollapseDelay(m_current->lore.explanation), [](ReaderModel& model) {
    if (!model.m_hovered && !model.cardIsKey() && !model.screenReaderRuns())
      model.collapseReader();
  });
}

void ReaderModel::cardClosed() {
  const bool wasCollapsing = m_isCollapsingReader;
  setIsCollapsingReader(false);
  m_dismissal.cancel();
  m_readingConfirmation.cancel();
  setBusy(false);
  setCurrent(std::nullopt);
  setImpressionID(std::nullopt);
  setHovered(false);
  // A card that folded into the teaser's place hands over without a second animation.
  updateTeaser(!wasCollapsing);
  reschedule();
}

void ReaderModel::focusReader() {
  if (teaserVisible())
    openTeaser();
  if (cardVisible()) {
    m_panel->focusForKeyboard();
    // A focused card does not close by itself.
    m_dismissal.cancel();
    return;
  }
  callOpenWindow(ReaderTab::welcome);
}

void ReaderModel::surpriseMe() {
  if (m_busy || !m_storageHealthy || !signedIn() || !m_current)
    return;
  const std::optional<DropSnapshot> next =
      m_repository->select(m_preferences->value(), m_current->id(), std::nullopt, m_random);
  if (!next) {
    setMessage(noOtherIdeaMessage);
    return;
  }
  present(*next);
}

void ReaderModel::read(const DropSnapshot& snapshot) {
  if (!canRead(snapshot)) {
    setNavigationTab(ReaderTab::saved);
    return;
  }
  setDetail(snapshot);
  setNavigationTab(ReaderTab::read);
  try {
    recordReading(snapshot, newImpressionID());
  } catch (const std::exception& error) {
    setMessage(historyFailurePrefix + errorText(error));
  }
}

} // namespace brindlewick
