#pragma once

#include "delivery/DayGreeting.h"
#include "foundation/DelayScheduler.h"
#include "ui/design/DropTextBlock.h"

namespace brindlewick {

class ReaderModel;

// The dashboard's greeting in the display face. It reads the model's clock and calendar (the
// zone as it is at each tick) and wakes on the model's scheduler at every minute boundary,
// changing its own text and nothing else of the page.
class DayGreetingLabel : public DropTextBlock {
  Q_OBJECT

public:
  explicit DayGreetingLabel(ReaderModel& model, QWidget* parent = nullptr);
  ~DayGreetingLabel() override;

  DayGreeting greeting() const { return m_greeting; }
  // The display face first, then the colour emoji: Qt does not pick a colour face for a
  // presentation selector by itself, and the usual fallback draws the sun in black and white.
  static QFont greetingFont();

private:
  void tick();

  ReaderModel& m_model;
  DelayScheduler::TimerId m_timer = 0;
  DayGreeting m_greeting;
};

} // namespace brindlewick
