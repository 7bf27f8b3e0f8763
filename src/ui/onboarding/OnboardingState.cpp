#include "ui/onboarding/OnboardingState.h"

namespace brindlewick {

bool OnboardingState::apply(Event event) {
  switch (event) {
  case Event::getStarted:
    if (m_page == Page::welcome)
      m_page = Page::signIn;
    return false;
  case Event::back:
    if (m_page == Page::signIn)
      m_page = Page::welcome;
    return false;
  case Event::notNow:
    if (m_page != Page::signIn)
      return false;
    m_page = Page::welcome;
    return true;
  case Event::cancel: return m_page == Page::signIn;
  }
  return false;
}

bool OnboardingState::declinedChanged(int declined) {
  if (declined == m_declined)
    return false;
  m_declined = declined;
  const bool moved = m_page != Page::welcome;
  m_page = Page::welcome;
  return moved;
}

QString OnboardingState::stepLabel() const {
  return QStringLiteral("Step %1 of %2").arg(int(m_page) + 1).arg(pageCount);
}

QString OnboardingState::displayedCode(const QString& code) {
  if (code.size() != 8)
    return code;
  return code.left(4) + QChar(0x2013) + code.right(4);
}

} // namespace brindlewick
