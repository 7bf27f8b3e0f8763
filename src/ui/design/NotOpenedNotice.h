#pragma once

#include "ui/design/UiEnvironment.h"

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <QWindow>

#include <optional>

class QUrl;

namespace brindlewick {

class DropButton;
class DropTextBlock;

// What the reader sees when the desktop answered that nothing took an address: a small
// pop-up in the design's look, placed under what they clicked, that says so in a title and
// a line, may show the address as plain text to select, and offers one button that copies
// the way out (the address, or the text that was to be sent) and closes the notice. A click
// elsewhere or Escape closes it too.
//
// It belongs to no other window, so it outlives a card or row that closes meanwhile; one is
// shown at a time (a new one replaces it), and it deletes itself once closed or when the
// application quits. Every text is plain, never markup.
class NotOpenedNotice : public QWidget {
  Q_OBJECT

public:
  struct Content {
    QString identifier; // the object name; the copy button's is this + ".copy"
    QString title;
    QString text;
    QString address; // shown selectable under the text; empty: none is shown
    QString copyTitle;
    QString copied; // what the button puts on the clipboard
  };

  // Where a notice goes: under `area` (global coordinates), in the scheme forced on what was
  // clicked (the always-dark card), else the environment's. The notice stands in front of
  // `window` while that lives (a compositor places a pop-up only relative to a window of ours).
  struct Anchor {
    QRect area;
    std::optional<ColorScheme> scheme = std::nullopt;
    QPointer<QWindow> window = nullptr;

    // Under `widget`; for a whole window, a line near its top across its middle.
    static Anchor under(const QWidget* widget);
    // For a press with no window on show (the tray's menu): the top of the main screen.
    static Anchor screenTop();
  };

  static constexpr int noticeWidth = 320;

  static inline const QString browserTitle = QStringLiteral("No browser opened");
  static inline const QString browserText =
      QStringLiteral("Copy the address to open it in a browser, here or on another device.");
  static inline const QString copyAddressTitle = QStringLiteral("Copy address");

  // The notice for `url`, which no browser took.
  static Content forAddress(const QUrl& url);

  // Shows `content` under `anchor`, or over it where the screen has no room below, kept on
  // the anchor's screen. Returns the notice shown.
  static NotOpenedNotice* present(const Content& content, const Anchor& anchor);
  // The notice on show, if any.
  static NotOpenedNotice* current();

  QString title() const;
  QString text() const;
  QString address() const;
  DropButton* copyButton() const { return m_copy; }

protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  explicit NotOpenedNotice(const Content& content);
  void place(const QRect& anchor);

  DropTextBlock* m_title;
  DropTextBlock* m_text;
  DropTextBlock* m_address;
  DropButton* m_copy;
};

} // namespace brindlewick
