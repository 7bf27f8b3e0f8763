#pragma once

#include <QWidget>

namespace brindlewick {

class DropTextBlock;

// The small window a start shows while it waits for the keyring, which may be asking the
// reader to unlock it: without it nothing at all would show until the keyring answers. It
// says what the start waits for and spins; it has no controls, and closing it only hides it.
class KeyringWaitWindow final : public QWidget {
  Q_OBJECT

public:
  static inline const QString headline = QStringLiteral("Waiting for the keyring to be unlocked…");
  static inline const QString explanation =
      QStringLiteral("Brindlewick keeps your sign-in in the system keyring. Unlock it in the prompt on your "
                     "screen and Brindlewick opens.");
  static constexpr int width = 420;

  explicit KeyringWaitWindow(QWidget* parent = nullptr);

  DropTextBlock* headlineLabel() const { return m_headline; }
  DropTextBlock* explanationLabel() const { return m_explanation; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  DropTextBlock* m_headline;
  DropTextBlock* m_explanation;
};

} // namespace brindlewick
