#include "ui/onboarding/OnboardingStepIndicator.h"

#include "ui/design/DropDesign.h"

#include <QPainter>

#include <cmath>

namespace brindlewick {

namespace {

constexpr qreal dot = 7;
constexpr qreal current = 22;
constexpr qreal spacing = 8;

} // namespace

OnboardingStepIndicator::OnboardingStepIndicator(int pageCount, QWidget* parent)
    : QWidget(parent), m_pageCount(pageCount) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setObjectName(QStringLiteral("onboarding.steps"));
  setPosition(0);
}

void OnboardingStepIndicator::setPosition(qreal position) {
  m_position = position;
  setAccessibleName(QStringLiteral("Step %1 of %2").arg(qRound(position) + 1).arg(m_pageCount));
  update();
}

QSize OnboardingStepIndicator::sizeHint() const {
  return QSize(int(std::ceil(current + (m_pageCount - 1) * (dot + spacing))), int(dot));
}

void OnboardingStepIndicator::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  qreal x = (width() - sizeHint().width()) / 2.0;
  for (int page = 0; page < m_pageCount; ++page) {
    // 1 on the current page, 0 a page or more away.
    const qreal lit = std::max(0.0, 1 - std::abs(m_position - page));
    const qreal length = dot + (current - dot) * lit;
    painter.setBrush(DropDesign::withOpacity(DropDesign::paper(), 0.3 + 0.65 * lit));
    painter.drawRoundedRect(QRectF(x, (height() - dot) / 2, length, dot), dot / 2, dot / 2);
    x += length + spacing;
  }
}

} // namespace brindlewick
