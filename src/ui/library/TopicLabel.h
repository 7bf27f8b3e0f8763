#pragma once

#include "content/ContentContracts.h"

#include <QWidget>

namespace brindlewick {

class DropTextBlock;

// A topic chip: a dot in the topic's accent, then the topic's name capitalised.
class TopicLabel : public QWidget {
  Q_OBJECT

public:
  static constexpr int dotSize = 8;

  explicit TopicLabel(Category category, QWidget* parent = nullptr);

  Category category() const { return m_category; }
  // "Psychology".
  static QString name(Category category);
  DropTextBlock* nameLabel() const { return m_name; }

private:
  Category m_category;
  DropTextBlock* m_name;
};

} // namespace brindlewick
