#include "CalendarFixtures.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace brindlewick::testing {

namespace {

QDateTime parse(const QString& text, const QTimeZone& zone) {
  QDateTime dateTime = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (!dateTime.isValid())
    dateTime = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm"));
  EXPECT_TRUE(dateTime.isValid()) << text.toStdString();
  return QDateTime(dateTime.date(), dateTime.time(), zone);
}

} // namespace

Calendar calendarIn(const char* zoneId) {
  const QTimeZone zone(zoneId);
  EXPECT_TRUE(zone.isValid()) << "time zone " << zoneId << " is not installed (tzdata)";
  return Calendar(zone);
}

Date localDate(const Calendar& calendar, const QString& text) {
  return Date::fromQDateTime(parse(text, calendar.timeZone()));
}

Date utcDate(const QString& text) {
  return Date::fromQDateTime(parse(text, QTimeZone::utc()));
}

QString describe(const Calendar& calendar, Date date) {
  return date.toQDateTime().toTimeZone(calendar.timeZone()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss t"));
}

} // namespace brindlewick::testing
