#include "ui/settings/ReadingTimeRange.h"

#include "ui/account/AccountText.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/FocusedWheel.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr qint64 endOfDay = 1440;

QComboBox* picker(int count, const QString& name) {
  auto* combo = new QComboBox;
  for (int value = 0; value < count; ++value)
    combo->addItem(QString::asprintf("%02d", value), value);
  combo->setFixedWidth(ReadingTimeRange::pickerWidth);
  combo->setFont(DropFonts::rounded(DropFonts::bodySize).font());
  DropStandardWidgets::adopt(combo);
  DropStandardWidgets::adopt(combo->view());
  FocusedWheel::install(combo);
  DropAccessibility::describe(combo, name, name);
  return combo;
}

} // namespace

qint64 ReadingTimeRange::withHour(qint64 minutes, int hour) {
  return hour == 24 ? endOfDay : hour * 60 + minutes % 60;
}

qint64 ReadingTimeRange::withMinute(qint64 minutes, int minute) {
  return minutes / 60 * 60 + minute;
}

ReadingTimeRange::ReadingTimeRange(const QString& title, QWidget* parent) : QWidget(parent), m_title(title) {
  setObjectName(QStringLiteral("layout.settings.") + title);
  auto* stack = new QVBoxLayout(this);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(10);

  auto* heading = new DropTextBlock(title);
  heading->setTextStyle(DropTextBlock::Style{DropFonts::rounded(13, QFont::DemiBold)});
  heading->setColor(AccountText::primary());
  stack->addWidget(heading);

  auto* clocks = new QHBoxLayout;
  clocks->setSpacing(16);
  Clock from{};
  Clock until{};
  clocks->addWidget(clock(QStringLiteral("From"), false, from));
  clocks->addWidget(clock(QStringLiteral("Until"), true, until));
  clocks->addStretch(1);
  stack->addLayout(clocks);
  m_startHour = from.hour;
  m_startMinute = from.minute;
  m_endHour = until.hour;
  m_endMinute = until.minute;

  stack->addWidget(AccountText::callout(note, AccountText::secondary()));

  // Only the reader's choices arrive here: filling runs under a signal blocker.
  connect(m_startHour, &QComboBox::currentIndexChanged, this,
          [this](int hour) { Q_EMIT startEdited(withHour(m_start, hour)); });
  connect(m_startMinute, &QComboBox::currentIndexChanged, this,
          [this](int minute) { Q_EMIT startEdited(withMinute(m_start, minute)); });
  connect(m_endHour, &QComboBox::currentIndexChanged, this,
          [this](int hour) { Q_EMIT endEdited(withHour(m_end, hour)); });
  connect(m_endMinute, &QComboBox::currentIndexChanged, this,
          [this](int minute) { Q_EMIT endEdited(withMinute(m_end, minute)); });
}

QWidget* ReadingTimeRange::clock(const QString& column, bool allowsEndOfDay, Clock& pickers) {
  auto* box = new QWidget;
  auto* stack = new QVBoxLayout(box);
  stack->setContentsMargins(0, 0, 0, 0);
  stack->setSpacing(4);
  auto* label = new DropTextBlock(column);
  label->setTextStyle(DropTextBlock::Style{DropFonts::rounded(11)});
  label->setColor(AccountText::secondary());
  stack->addWidget(label);

  auto* row = new QHBoxLayout;
  row->setSpacing(2);
  const QString name = m_title + QLatin1Char(' ') + column;
  pickers.hour = picker(allowsEndOfDay ? 25 : 24, name + QStringLiteral(" hour"));
  pickers.minute = picker(60, name + QStringLiteral(" minute"));
  auto* colon = new DropTextBlock(QStringLiteral(":"));
  colon->setColor(AccountText::secondary());
  colon->setWrapping(false);
  row->addWidget(pickers.hour);
  row->addWidget(colon);
  row->addWidget(pickers.minute);
  stack->addLayout(row);
  return box;
}

void ReadingTimeRange::setMinutes(qint64 start, qint64 end) {
  m_start = start;
  m_end = end;
  fill(Clock{m_startHour, m_startMinute}, start);
  fill(Clock{m_endHour, m_endMinute}, end);
}

// A value outside a picker's options (a start of 24:00 from a hand-edited file) selects nothing.
void ReadingTimeRange::fill(const Clock& clock, qint64 minutes) {
  const QSignalBlocker hourBlocker(clock.hour);
  const QSignalBlocker minuteBlocker(clock.minute);
  const qint64 hour = minutes / 60;
  clock.hour->setCurrentIndex(hour >= 0 && hour < clock.hour->count() ? int(hour) : -1);
  clock.minute->setCurrentIndex(minutes >= 0 ? int(minutes % 60) : -1);
  clock.minute->setEnabled(minutes != endOfDay);
}

} // namespace brindlewick
