#pragma once

#include <QWidget>

namespace brindlewick {

// One capsule per page, the current one long and bright. `position` runs from 0 (first
// page) to pageCount − 1 and may stand between two pages while the page changes. Read as
// one element: "Step 1 of 2".
class OnboardingStepIndicator : public QWidget {
  Q_OBJECT

public:
  explicit OnboardingStepIndicator(int pageCount, QWidget* parent = nullptr);

  void setPosition(qreal position);
  qreal position() const { return m_position; }

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  int m_pageCount;
  qreal m_position = 0;
};

} // namespace brindlewick
