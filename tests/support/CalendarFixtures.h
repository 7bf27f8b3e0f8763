#pragma once

#include "delivery/Calendar.h"
#include "foundation/Date.h"

#include <QString>

namespace brindlewick::testing {

// A calendar in the named IANA zone; fails the calling test when tzdata lacks it.
Calendar calendarIn(const char* zoneId);

// "yyyy-MM-dd HH:mm" or "yyyy-MM-dd HH:mm:ss" read as the clock in `calendar`'s zone. Only
// for clock times that occur exactly once; use utcDate around daylight-saving changes.
Date localDate(const Calendar& calendar, const QString& text);
Date utcDate(const QString& text);

// "yyyy-MM-dd HH:mm:ss" of a date in `calendar`'s zone, for readable failure messages.
QString describe(const Calendar& calendar, Date date);

} // namespace brindlewick::testing
