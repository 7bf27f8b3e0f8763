#include "ui/dashboard/DashboardState.h"

#include "model/ReaderModel.h"

namespace brindlewick {

namespace {

QString clock(qint64 minutes) {
  return QString::asprintf("%02d:%02d", int(minutes / 60), int(minutes % 60));
}

} // namespace

DashboardState DashboardState::read(const ReaderModel& model) {
  DashboardState state;
  state.signedIn = model.account().isSignedIn();
  state.storageHealthy = model.storageHealthy();
  const ReaderPreferences& preferences = model.preferences().value();
  state.onboardingComplete = preferences.onboardingComplete;
  state.schedule = preferences.schedule;
  state.nextDropLabel = model.nextDropLabel();
  if (const std::optional<ContentRelease>& release = model.repository().release())
    state.releaseDrops = release->lore.size();
  state.savedCount = model.savedSnapshots().size();
  // Signed out, the history is not looked at at all.
  if (state.signedIn && !model.accountHistory().isEmpty() && model.canRead(model.accountHistory().first()))
    state.continueReading = model.accountHistory().first();
  return state;
}

void DashboardState::watch(ReaderModel& model, QObject* receiver, std::function<void()> changed) {
  QObject::connect(&model.account(), &AccountController::isSignedInChanged, receiver, changed);
  for (auto signal : {&ReaderModel::storageHealthyChanged, &ReaderModel::nextDropLabelChanged,
                      &ReaderModel::savedSnapshotsChanged, &ReaderModel::lovedSnapshotsChanged,
                      &ReaderModel::accountHistoryChanged})
    QObject::connect(&model, signal, receiver, changed);
  QObject::connect(&model.preferences(), &PreferencesStore::valueChanged, receiver, changed);
  QObject::connect(&model.repository(), &ContentRepository::releaseChanged, receiver, changed);
}

QString DashboardState::status() const {
  if (!signedIn)
    return QStringLiteral("Sign in with Google to bring your reading together.");
  if (!ready())
    return QStringLiteral("Your drops could not load on this computer. Sync again to continue.");
  if (!onboardingComplete)
    return QStringLiteral("Show Drop to finish setup and read your first idea.");
  if (schedule.paused())
    return QStringLiteral("Automatic drops are paused. You can still show one anytime.");
  return scheduleLine(schedule);
}

QString DashboardState::scheduleLine(const ScheduleSettings& schedule) {
  const ScheduleInterval& hours = schedule.workingHours();
  return ScheduleSettings::label(schedule.interval()) + QStringLiteral(", ") + clock(hours.startMinute()) +
         QChar(0x2013) + clock(hours.endMinute()) + QLatin1Char('.');
}

DashboardState::HeroButton DashboardState::heroButton() const {
  if (ready())
    return {QStringLiteral("Adjust delivery"), QStringLiteral("slider.horizontal.3"), false};
  return {QStringLiteral("Your account"), QStringLiteral("person.crop.circle"), true};
}

QList<DashboardState::Tile> DashboardState::tiles() const {
  const qsizetype library = ready() ? releaseDrops.value_or(0) : 0;
  return {
      {QStringLiteral("Library"), QStringLiteral("Ideas to explore"), QStringLiteral("square.stack"), library,
       ReaderTab::discover, DropDesign::Highlight::teal, QStringLiteral("dashboard.discover")},
      {QStringLiteral("Saved"), QStringLiteral("Keep the good ones"), QStringLiteral("bookmark"), savedCount,
       ReaderTab::saved, DropDesign::Highlight::amber, QStringLiteral("dashboard.saved")},
  };
}

QString DashboardState::Tile::accessibleName() const {
  // No digit grouping: 10000, not 10,000.
  return title + QStringLiteral(", ") + QString::number(value) + QStringLiteral(". ") + caption;
}

DashboardLayout DashboardLayout::forWidth(qreal availableWidth) {
  const bool art = availableWidth >= 640;
  const bool compact = availableWidth < 760;
  return {
      .showsArtwork = art,
      .compact = compact,
      .heroTrailingPadding = art ? artworkRoom : 0.0,
      .tileIconSize = compact ? 32.0 : 48.0,
      .tileSpacing = compact ? 12.0 : 16.0,
      .tilePadding = compact ? 16.0 : 24.0,
      .tileMinimumHeight = compact ? 104.0 : 138.0,
      .tileValueSize = compact ? 24.0 : 30.0,
      .showsCaptions = !compact,
  };
}

} // namespace brindlewick
