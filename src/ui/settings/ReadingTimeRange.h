#pragma once

#include <QString>
#include <QWidget>

class QComboBox;

namespace brindlewick {

// A daily window edited in 24-hour time: a "From" clock and an "Until" clock, each an hour and
// a minute picker, over minutes after midnight. The start runs 0 to 1439; the end 0 to 1440,
// where hour 24 is 24:00 (stored as exactly 1440, its minute picker disabled). An end before the
// start is left as it is: it continues into the next day.
//
// The editor keeps no value of its own. setMinutes() fills the pickers without writing
// anything back; a choice of the reader is reported as the new minutes through startEdited()
// or endEdited(), and the owner decides what to store.
class ReadingTimeRange : public QWidget {
  Q_OBJECT

public:
  static constexpr int pickerWidth = 64;
  static inline const QString note =
      QStringLiteral("24-hour time. An end before the start continues into the next day.");

  // The minutes after choosing hour `hour` (24 is the end of the day) or minute `minute`,
  // keeping the other part.
  static qint64 withHour(qint64 minutes, int hour);
  static qint64 withMinute(qint64 minutes, int minute);

  explicit ReadingTimeRange(const QString& title, QWidget* parent = nullptr);

  const QString& title() const { return m_title; }
  void setMinutes(qint64 start, qint64 end);

  // The pickers, named by the title, the column and "hour" or "minute" ("Quiet hours From hour").
  QComboBox* startHour() const { return m_startHour; }
  QComboBox* startMinute() const { return m_startMinute; }
  QComboBox* endHour() const { return m_endHour; }
  QComboBox* endMinute() const { return m_endMinute; }

Q_SIGNALS:
  void startEdited(qint64 minutes);
  void endEdited(qint64 minutes);

private:
  struct Clock {
    QComboBox* hour;
    QComboBox* minute;
  };
  QWidget* clock(const QString& column, bool allowsEndOfDay, Clock& pickers);
  static void fill(const Clock& clock, qint64 minutes);

  QString m_title;
  qint64 m_start = 0;
  qint64 m_end = 0;
  QComboBox* m_startHour = nullptr;
  QComboBox* m_startMinute = nullptr;
  QComboBox* m_endHour = nullptr;
  QComboBox* m_endMinute = nullptr;
};

} // namespace brindlewick
