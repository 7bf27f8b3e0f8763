#pragma once

#include "delivery/Calendar.h"
#include "foundation/Date.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

#include <array>
#include <exception>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

namespace brindlewick {

// Refuses a schedule that could never deliver anything. The message is shown to the reader
// unchanged.
class ScheduleValidationError : public std::exception {
public:
  enum class Case { invalidInterval, noEligibleTime };

  explicit ScheduleValidationError(Case errorCase);

  Case errorCase() const { return m_case; }
  QString errorDescription() const;
  const char* what() const noexcept override { return m_what.constData(); }

  friend bool operator==(const ScheduleValidationError& a, const ScheduleValidationError& b) {
    return a.m_case == b.m_case;
  }

private:
  Case m_case;
  QByteArray m_what;
};

// A daily window of minutes after local midnight. When the start is later than the end the
// window wraps past midnight; 0 to 1440 is the whole day.
class ScheduleInterval {
public:
  // Throws invalidInterval unless 0 <= start <= 1439, 0 <= end <= 1440 and start != end.
  ScheduleInterval(qint64 startMinute, qint64 endMinute);

  // 09:00 to 18:00, a new reader's working hours.
  static ScheduleInterval standardWorkingHours() { return ScheduleInterval(540, 1080); }

  qint64 startMinute() const { return m_startMinute; }
  qint64 endMinute() const { return m_endMinute; }

  // False for any minute outside 0 to 1439.
  bool contains(qint64 minute) const;

  QJsonObject toJson() const;
  // Throws JsonDecodingError for a malformed object, invalidInterval for a bad pair.
  static ScheduleInterval fromJson(const QJsonValue& value, const QString& path = {});

  friend bool operator==(const ScheduleInterval&, const ScheduleInterval&) = default;

private:
  qint64 m_startMinute;
  qint64 m_endMinute;
};

// The reader's delivery rules: how far apart the day's slots lie, the working hours they lie
// in, the quiet hours they avoid, and whether automatic delivery is paused.
class ScheduleSettings {
public:
  // The raw value is the number of hours between slots.
  enum class Interval {
    hourly = 1,
    everyTwoHours = 2,
    everyFourHours = 4,
    everySixHours = 6,
    everyTwelveHours = 12
  };

  static constexpr std::array<Interval, 5> allIntervals{Interval::hourly, Interval::everyTwoHours,
                                                        Interval::everyFourHours, Interval::everySixHours,
                                                        Interval::everyTwelveHours};
  static constexpr qint64 hours(Interval interval) { return static_cast<qint64>(interval); }
  static constexpr qint64 spacingMinutes(Interval interval) { return hours(interval) * 60; }
  static constexpr qint64 spacingSeconds(Interval interval) { return hours(interval) * 3600; }
  // "Every hour", "Every 2 hours", …
  static QString label(Interval interval);
  // Only 1, 2, 4, 6 and 12 name an interval.
  static std::optional<Interval> intervalFromHours(qint64 hours);
  // On its own an interval is coded as its hours; any other integer is refused.
  static QJsonValue intervalToJson(Interval interval);
  static Interval intervalFromJson(const QJsonValue& value, const QString& path = {});

  // Throws noEligibleTime when no minute of the day lies inside the working hours and
  // outside the quiet hours.
  ScheduleSettings(Interval interval, ScheduleInterval workingHours,
                   std::optional<ScheduleInterval> quietHours, bool paused);

  Interval interval() const { return m_interval; }
  void setInterval(Interval interval) { m_interval = interval; }
  // The windows are fixed when the value is made, so no later change can leave the
  // schedule without an eligible minute.
  const ScheduleInterval& workingHours() const { return m_workingHours; }
  const std::optional<ScheduleInterval>& quietHours() const { return m_quietHours; }
  bool paused() const { return m_paused; }
  void setPaused(bool paused) { m_paused = paused; }

  // Inside the working hours and outside the quiet hours.
  bool isEligible(qint64 minute) const;
  // The day's delivery slots in minutes after midnight, ascending. The spacing counts
  // eligible minutes from the start of the working hours, so quiet hours push later slots
  // back by their own length.
  QList<qint64> opportunityMinutes() const;
  // The most automatic drops one calendar day may carry.
  qint64 dailyMaximum() const { return opportunityMinutes().size(); }

  // Written with "intervalHours"; "quietHours" only when there are quiet hours. Reading
  // falls back to the older "preset" key only when "intervalHours" is absent.
  QJsonObject toJson() const;
  static ScheduleSettings fromJson(const QJsonValue& value, const QString& path = {});

  friend bool operator==(const ScheduleSettings&, const ScheduleSettings&) = default;

private:
  Interval m_interval;
  ScheduleInterval m_workingHours;
  std::optional<ScheduleInterval> m_quietHours;
  bool m_paused;
};

// Every automatic presentation ever made, stamped with its calendar day, and the latest
// presentation of any kind. Entries are never pruned; an index by day and by date keeps the
// planner's questions independent of how many years the ledger holds.
class ScheduleLedger {
public:
  // The calendar day a presentation was recorded on, as that calendar named it.
  struct LocalDay {
    QString calendarIdentifier;
    qint64 era = 0;
    qint64 year = 0;
    qint64 month = 0;
    qint64 day = 0;
    bool isLeapMonth = false;

    LocalDay() = default;
    // Components the calendar cannot give for this date are 0.
    LocalDay(Date date, const Calendar& calendar);

    QJsonObject toJson() const;
    static LocalDay fromJson(const QJsonValue& value, const QString& path = {});

    friend bool operator==(const LocalDay&, const LocalDay&) = default;
    friend auto operator<=>(const LocalDay& a, const LocalDay& b) {
      if (const auto c = a.calendarIdentifier.compare(b.calendarIdentifier); c != 0)
        return c <=> 0;
      return std::tie(a.era, a.year, a.month, a.day, a.isLeapMonth) <=>
             std::tie(b.era, b.year, b.month, b.day, b.isLeapMonth);
    }
  };

  struct AutomaticPresentation {
    Date date;
    LocalDay localDay;

    QJsonObject toJson() const;
    static AutomaticPresentation fromJson(const QJsonValue& value, const QString& path = {});

    friend bool operator==(const AutomaticPresentation&, const AutomaticPresentation&) = default;
  };

  ScheduleLedger() = default;

  const std::vector<AutomaticPresentation>& automaticPresentations() const {
    return m_automaticPresentations;
  }
  std::optional<Date> lastPresentation() const { return m_lastPresentation; }
  // The latest date among the automatic presentations, whatever order they were recorded in.
  std::optional<Date> lastAutomaticPresentation() const;

  // Moves lastPresentation forward (never back); an automatic presentation is appended
  // unless one with exactly this date is already recorded.
  void recordSuccessfulPresentation(Date date, bool automatic, const Calendar& calendar);

  // Automatic presentations on the calendar day of `date`: those stamped with that day, and
  // those whose instant falls on it in this calendar (so a change of time zone is counted
  // both ways).
  qint64 automaticCount(Date date, const Calendar& calendar) const;

  // "lastPresentation" is left out when there is none. Reading takes the entries as stored,
  // duplicates included.
  QJsonObject toJson() const;
  static ScheduleLedger fromJson(const QJsonValue& value, const QString& path = {});

  friend bool operator==(const ScheduleLedger& a, const ScheduleLedger& b) {
    return a.m_automaticPresentations == b.m_automaticPresentations &&
           a.m_lastPresentation == b.m_lastPresentation;
  }

private:
  void index(std::size_t position);

  std::vector<AutomaticPresentation> m_automaticPresentations;
  std::optional<Date> m_lastPresentation;
  // Positions of the entries, by date and by day stamp.
  std::multimap<double, std::size_t> m_byDate;
  std::multimap<LocalDay, std::size_t> m_byDay;
};

} // namespace brindlewick
