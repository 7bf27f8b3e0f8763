#include "delivery/Scheduling.h"

#include "foundation/Json.h"

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

constexpr qint64 minutesPerDay = 1440;
// Any instant on the calendar day of a date lies within this many seconds of it, whatever
// the zone's offsets do around it.
constexpr double sameDayReach = 3 * 86400.0;

} // namespace

// MARK: ScheduleValidationError

ScheduleValidationError::ScheduleValidationError(Case errorCase)
    : m_case(errorCase), m_what(errorDescription().toUtf8()) {}

QString ScheduleValidationError::errorDescription() const {
  switch (m_case) {
  case Case::invalidInterval:
    return QStringLiteral(
        "Choose distinct start and end times. Start must be 0\u20131439 and end 0\u20131440 "
        "minutes after midnight.");
  case Case::noEligibleTime:
    return QStringLiteral(
        "Quiet hours cover all working hours. Leave some working time outside quiet hours.");
  }
  return {};
}

// MARK: ScheduleInterval

ScheduleInterval::ScheduleInterval(qint64 startMinute, qint64 endMinute)
    : m_startMinute(startMinute), m_endMinute(endMinute) {
  if (startMinute < 0 || startMinute > minutesPerDay - 1 || endMinute < 0 || endMinute > minutesPerDay ||
      startMinute == endMinute)
    throw ScheduleValidationError(ScheduleValidationError::Case::invalidInterval);
}

bool ScheduleInterval::contains(qint64 minute) const {
  if (minute < 0 || minute > minutesPerDay - 1)
    return false;
  if (m_startMinute < m_endMinute)
    return m_startMinute <= minute && minute < m_endMinute;
  return minute >= m_startMinute || minute < m_endMinute;
}

QJsonObject ScheduleInterval::toJson() const {
  return {{QStringLiteral("startMinute"), m_startMinute}, {QStringLiteral("endMinute"), m_endMinute}};
}

ScheduleInterval ScheduleInterval::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  return ScheduleInterval(reader.int64(u"startMinute"), reader.int64(u"endMinute"));
}

// MARK: ScheduleSettings

QString ScheduleSettings::label(Interval interval) {
  if (interval == Interval::hourly)
    return QStringLiteral("Every hour");
  return QStringLiteral("Every %1 hours").arg(hours(interval));
}

std::optional<ScheduleSettings::Interval> ScheduleSettings::intervalFromHours(qint64 hours) {
  for (Interval interval : allIntervals) {
    if (ScheduleSettings::hours(interval) == hours)
      return interval;
  }
  return std::nullopt;
}

QJsonValue ScheduleSettings::intervalToJson(Interval interval) {
  return QJsonValue(hours(interval));
}

ScheduleSettings::Interval ScheduleSettings::intervalFromJson(const QJsonValue& value, const QString& path) {
  const auto interval = intervalFromHours(Json::toInt64(value, path));
  if (!interval)
    throw JsonDecodingError(path, QStringLiteral("Unsupported interval."));
  return *interval;
}

ScheduleSettings::ScheduleSettings(Interval interval, ScheduleInterval workingHours,
                                   std::optional<ScheduleInterval> quietHours, bool paused)
    : m_interval(interval), m_workingHours(workingHours), m_quietHours(quietHours), m_paused(paused) {
  for (qint64 minute = 0; minute < minutesPerDay; ++minute) {
    if (isEligible(minute))
      return;
  }
  throw ScheduleValidationError(ScheduleValidationError::Case::noEligibleTime);
}

bool ScheduleSettings::isEligible(qint64 minute) const {
  return m_workingHours.contains(minute) && !(m_quietHours && m_quietHours->contains(minute));
}

QList<qint64> ScheduleSettings::opportunityMinutes() const {
  const qint64 spacing = spacingMinutes(m_interval);
  QList<qint64> slots;
  qint64 eligibleSeen = 0;
  for (qint64 step = 0; step < minutesPerDay; ++step) {
    const qint64 minute = (m_workingHours.startMinute() + step) % minutesPerDay;
    if (!isEligible(minute))
      continue;
    if (eligibleSeen % spacing == 0)
      slots.append(minute);
    ++eligibleSeen;
  }
  std::sort(slots.begin(), slots.end());
  return slots;
}

QJsonObject ScheduleSettings::toJson() const {
  QJsonObject object{{QStringLiteral("intervalHours"), hours(m_interval)},
                     {QStringLiteral("workingHours"), m_workingHours.toJson()},
                     {QStringLiteral("paused"), m_paused}};
  if (m_quietHours)
    object.insert(QStringLiteral("quietHours"), m_quietHours->toJson());
  return object;
}

ScheduleSettings ScheduleSettings::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  Interval interval;
  if (reader.hasValue(u"intervalHours")) {
    interval = intervalFromJson(reader.required(u"intervalHours"), reader.pathOf(u"intervalHours"));
  } else {
    // Schedules saved before the interval was stored in hours kept a number of drops per day.
    switch (reader.int64(u"preset")) {
    case 8: interval = Interval::hourly; break;
    case 4: interval = Interval::everyTwoHours; break;
    case 2: interval = Interval::everyFourHours; break;
    default: throw JsonDecodingError(reader.pathOf(u"preset"), QStringLiteral("Unsupported preset."));
    }
  }
  const ScheduleInterval working =
      ScheduleInterval::fromJson(reader.required(u"workingHours"), reader.pathOf(u"workingHours"));
  std::optional<ScheduleInterval> quiet;
  if (reader.hasValue(u"quietHours"))
    quiet = ScheduleInterval::fromJson(reader.required(u"quietHours"), reader.pathOf(u"quietHours"));
  const bool paused = reader.boolean(u"paused");
  return ScheduleSettings(interval, working, quiet, paused);
}

// MARK: ScheduleLedger

ScheduleLedger::LocalDay::LocalDay(Date date, const Calendar& calendar)
    : calendarIdentifier(Calendar::identifier()) {
  if (const auto components = calendar.dayComponents(date)) {
    era = components->era;
    year = components->year;
    month = components->month;
    day = components->day;
    isLeapMonth = components->isLeapMonth;
  }
}

QJsonObject ScheduleLedger::LocalDay::toJson() const {
  return {{QStringLiteral("calendarIdentifier"), calendarIdentifier},
          {QStringLiteral("era"), era},
          {QStringLiteral("year"), year},
          {QStringLiteral("month"), month},
          {QStringLiteral("day"), day},
          {QStringLiteral("isLeapMonth"), isLeapMonth}};
}

ScheduleLedger::LocalDay ScheduleLedger::LocalDay::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  LocalDay stamp;
  stamp.calendarIdentifier = reader.string(u"calendarIdentifier");
  stamp.era = reader.int64(u"era");
  stamp.year = reader.int64(u"year");
  stamp.month = reader.int64(u"month");
  stamp.day = reader.int64(u"day");
  stamp.isLeapMonth = reader.boolean(u"isLeapMonth");
  return stamp;
}

QJsonObject ScheduleLedger::AutomaticPresentation::toJson() const {
  return {{QStringLiteral("date"), date.toJson()}, {QStringLiteral("localDay"), localDay.toJson()}};
}

ScheduleLedger::AutomaticPresentation ScheduleLedger::AutomaticPresentation::fromJson(const QJsonValue& value,
                                                                                      const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  const Date date = reader.date(u"date");
  return {date, LocalDay::fromJson(reader.required(u"localDay"), reader.pathOf(u"localDay"))};
}

std::optional<Date> ScheduleLedger::lastAutomaticPresentation() const {
  if (m_byDate.empty())
    return std::nullopt;
  return Date(m_byDate.rbegin()->first);
}

void ScheduleLedger::index(std::size_t position) {
  const AutomaticPresentation& entry = m_automaticPresentations[position];
  m_byDate.emplace(entry.date.secondsSinceReference(), position);
  m_byDay.emplace(entry.localDay, position);
}

void ScheduleLedger::recordSuccessfulPresentation(Date date, bool automatic, const Calendar& calendar) {
  if (!m_lastPresentation || date >= *m_lastPresentation)
    m_lastPresentation = date;
  if (!automatic || m_byDate.contains(date.secondsSinceReference()))
    return;
  m_automaticPresentations.push_back({date, LocalDay(date, calendar)});
  index(m_automaticPresentations.size() - 1);
}

qint64 ScheduleLedger::automaticCount(Date date, const Calendar& calendar) const {
  const LocalDay stamp(date, calendar);
  qint64 count = qint64(m_byDay.count(stamp));
  const double seconds = date.secondsSinceReference();
  if (!std::isfinite(seconds))
    return count;
  // Entries stamped with another day still count when their instant falls on this day here;
  // only entries near the date can.
  const auto end = m_byDate.upper_bound(seconds + sameDayReach);
  for (auto it = m_byDate.lower_bound(seconds - sameDayReach); it != end; ++it) {
    const AutomaticPresentation& entry = m_automaticPresentations[it->second];
    if (entry.localDay != stamp && calendar.isSameDay(entry.date, date))
      ++count;
  }
  return count;
}

QJsonObject ScheduleLedger::toJson() const {
  QJsonArray entries;
  for (const AutomaticPresentation& entry : m_automaticPresentations)
    entries.append(entry.toJson());
  QJsonObject object{{QStringLiteral("automaticPresentations"), entries}};
  if (m_lastPresentation)
    object.insert(QStringLiteral("lastPresentation"), m_lastPresentation->toJson());
  return object;
}

ScheduleLedger ScheduleLedger::fromJson(const QJsonValue& value, const QString& path) {
  const JsonObjectReader reader(Json::toObject(value, path), path);
  const QJsonArray entries = reader.array(u"automaticPresentations");
  ScheduleLedger ledger;
  ledger.m_automaticPresentations.reserve(std::size_t(entries.size()));
  for (qsizetype i = 0; i < entries.size(); ++i) {
    const QString entryPath = Json::element(reader.pathOf(u"automaticPresentations"), i);
    ledger.m_automaticPresentations.push_back(AutomaticPresentation::fromJson(entries.at(i), entryPath));
    ledger.index(ledger.m_automaticPresentations.size() - 1);
  }
  ledger.m_lastPresentation = reader.optionalDate(u"lastPresentation");
  return ledger;
}

} // namespace brindlewick
