#pragma once

#include <QString>
#include <QWidget>

class QVBoxLayout;

namespace brindlewick {

// The titled card of each settings section: a small caption over the section's controls, 24
// points in on every side, on a rounded surface with a hairline border. Surface and border are
// painted, not laid over the content, so a click at the card's very edge reaches the control
// there. The surface is the account card's, which stands first among them. Every card is named
// "layout.settings.card".
class SettingsSection : public QWidget {
  Q_OBJECT

public:
  static constexpr int padding = 24;
  static constexpr int spacing = 16;

  explicit SettingsSection(const QString& title, QWidget* parent = nullptr);

  const QString& title() const { return m_title; }
  // Where the section's controls go, in order.
  QVBoxLayout* content() const { return m_content; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString m_title;
  QVBoxLayout* m_content;
};

} // namespace brindlewick
