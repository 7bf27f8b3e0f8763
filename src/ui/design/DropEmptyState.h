#pragma once

#include <QWidget>

namespace brindlewick {

class DropButton;
class DropTextBlock;

// What a list shows when it has nothing to show: a large light symbol, a title, a wrapped
// message and a prominent action button, centred in a column at most 390 wide, padded 24 on
// every side and centred in the width it is given.
class DropEmptyState : public QWidget {
  Q_OBJECT

public:
  DropEmptyState(const QString& symbol, const QString& title, const QString& message,
                 const QString& actionTitle, QWidget* parent = nullptr);

  DropTextBlock* titleLabel() const { return m_title; }
  DropTextBlock* messageLabel() const { return m_message; }
  DropButton* actionButton() const { return m_action; }

  static constexpr int columnWidth = 390;
  static constexpr int padding = 24;

Q_SIGNALS:
  void actionTriggered();

private:
  DropTextBlock* m_title;
  DropTextBlock* m_message;
  DropButton* m_action;
};

} // namespace brindlewick
