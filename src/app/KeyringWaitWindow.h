#pragma once

#include <QWidget>

namespace brindlewick {

class DropTextBlock;

// The small window a start shows while it waits for the keyring, which may be asking the
// reader to unlock it or only starting: without it nothing at all would show until the
// keyring answers. It says what the start waits for and spins; it has no controls. Closing it
// is the reader's way to give up the start (`closed`).
class KeyringWaitWindow final : public QWidget {
  Q_OBJECT

public:
  // The keyring may be asking to be unlocked, or only starting: the words hold for both.
  static inline const QString headline = QStringLiteral("Waiting for the system keyring…");
  static inline const QString explanation =
      QStringLiteral("Brindlewick keeps your sign-in in the system keyring. If it asks to be unlocked, "
                     "unlock it in its prompt and Brindlewick opens.");
  static constexpr int width = 420;

  explicit KeyringWaitWindow(QWidget* parent = nullptr);

  DropTextBlock* headlineLabel() const { return m_headline; }
  DropTextBlock* explanationLabel() const { return m_explanation; }

Q_SIGNALS:
  // The reader closed the window (from the window manager): the start is to be given up.
  void closed();

protected:
  void paintEvent(QPaintEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  DropTextBlock* m_headline;
  DropTextBlock* m_explanation;
};

} // namespace brindlewick
