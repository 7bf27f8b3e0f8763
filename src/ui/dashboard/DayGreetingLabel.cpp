#include "ui/dashboard/DayGreetingLabel.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/DropFonts.h"

#include <cmath>

namespace brindlewick {

DayGreetingLabel::DayGreetingLabel(ReaderModel& model, QWidget* parent)
    : DropTextBlock(QString(), parent), m_model(model), m_greeting(model.now(), model.calendar()) {
  setFont(greetingFont());
  setTextStyle(Style{std::nullopt, -0.6});
  setText(m_greeting.rawValue());
  setAccessibleName(m_greeting.rawValue());
  setObjectName(QStringLiteral("dashboard.greeting"));
  AccessibleRole::set(this, QAccessible::Heading);
  tick();
}

DayGreetingLabel::~DayGreetingLabel() {
  m_model.scheduler().cancel(m_timer);
}

QFont DayGreetingLabel::greetingFont() {
  QFont font = DropFonts::display(36, QFont::DemiBold).font();
  font.setFamilies({DropFonts::displayFamily(), QStringLiteral("Noto Color Emoji")});
  return font;
}

void DayGreetingLabel::tick() {
  const Date now = m_model.now();
  const DayGreeting greeting(now, m_model.calendar());
  if (greeting != m_greeting) {
    m_greeting = greeting;
    setText(greeting.rawValue());
    setAccessibleName(greeting.rawValue());
  }
  // The reference date falls on a minute boundary, and so does every zone's minute.
  double intoMinute = std::fmod(now.secondsSinceReference(), 60.0);
  if (intoMinute < 0)
    intoMinute += 60;
  const double delay = std::isfinite(intoMinute) ? 60 - intoMinute : 60;
  m_timer = m_model.scheduler().schedule(delay, [this] { tick(); });
}

} // namespace brindlewick
