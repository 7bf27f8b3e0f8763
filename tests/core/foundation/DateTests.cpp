#include "foundation/Date.h"
#include "foundation/Json.h"

#include <QTimeZone>

#include <gtest/gtest.h>

using namespace brindlewick;

TEST(Date, CountsSecondsFromTheStartOf2001InUtc) {
  const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
  EXPECT_EQ(Date::fromQDateTime(reference), Date(0));
  const QDateTime later(QDate(2024, 2, 29), QTime(12, 30, 15, 250), QTimeZone::utc());
  EXPECT_EQ(Date::fromQDateTime(later).toQDateTime(), later);
  EXPECT_EQ(Date::fromQDateTime(later).unixSeconds(), later.toMSecsSinceEpoch() / 1000.0);
  EXPECT_EQ(Date::distantFuture().toQDateTime(), QDateTime(QDate(4001, 1, 1), QTime(0, 0), QTimeZone::utc()));
}

TEST(Date, KeepsSubMillisecondPrecisionThroughJson) {
  const Date precise(788918400.123456789);
  EXPECT_EQ(Json::toDate(Json::parse(Json::serialize(precise.toJson())), QString()), precise);
  EXPECT_EQ(Date(10).addingSeconds(-10.5).secondsSince(Date(0)), -0.5);
}
