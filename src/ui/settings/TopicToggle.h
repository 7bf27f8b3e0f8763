#pragma once

#include "content/ContentContracts.h"

#include <QCheckBox>

namespace brindlewick {

class TopicLabel;

// A topic's toggle in the settings: a checkbox whose label is the topic's chip (its dot and
// name). The whole cell answers the pointer, as a checkbox's text does.
class TopicToggle : public QCheckBox {
  Q_OBJECT

public:
  explicit TopicToggle(Category category, QWidget* parent = nullptr);

  Category category() const { return m_category; }
  TopicLabel* label() const { return m_label; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  bool hitButton(const QPoint& position) const override;
  void resizeEvent(QResizeEvent* event) override;

private:
  // Where a checkbox would write its text.
  QRect labelArea() const;

  Category m_category;
  TopicLabel* m_label;
};

} // namespace brindlewick
