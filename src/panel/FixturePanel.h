#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

class QLabel;
class QToolButton;

namespace brindlewick {

// The placeholder content of a fresh panel: fixed text that shows the panel's geometry and
// behaviour without the reader, the content library or the delivery schedule.
class FixturePanel : public QWidget {
  Q_OBJECT

public:
  // Deep red-black behind the text.
  static QColor backgroundColor() { return QColor::fromRgb(26, 5, 12); }
  // The caption's colour: a warm white at 55 % opacity.
  static QColor captionColor() { return QColor::fromRgbF(0.98f, 0.93f, 0.90f, 0.55f); }

  // `dismiss` runs when the close button is pressed.
  explicit FixturePanel(std::function<void()> dismiss, QWidget* parent = nullptr);

  QLabel* caption() const { return m_caption; }
  QToolButton* closeButton() const { return m_closeButton; }
  QLabel* title() const { return m_title; }
  QLabel* note() const { return m_note; }
  QLabel* footer() const { return m_footer; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::function<void()> m_dismiss;
  QLabel* m_caption;
  QToolButton* m_closeButton;
  QLabel* m_title;
  QLabel* m_note;
  QLabel* m_footer;
};

} // namespace brindlewick
