#pragma once

#include "content/ContentSnapshots.h"
#include "ui/design/DropButton.h"

#include <QUrl>

#include <QCoroTask>

class QMenu;

namespace brindlewick {

// Shares one idea as plain text with its book attribution and sources (shareText()). The
// desktop has no share picker of its own, so a press pops up a small menu: "Copy" puts the
// text on the clipboard as plain text and nothing else, "E-mail…" opens a new message with
// the text as its body in the reader's mail program (through the shared UrlOpener). When
// the desktop answers that no mail program took it, a notice under the button says so and
// offers "Copy" as the way out (NotOpenedNotice, as for a link no browser took). The text is
// made from the snapshot the button holds at the moment of choosing. An icon-only button,
// never disabled: sharing needs no account.
class IdeaShareButton : public DropButton {
  Q_OBJECT

public:
  IdeaShareButton(const DropSnapshot& snapshot, bool reader, const QString& context,
                  QWidget* parent = nullptr);

  void setSnapshot(const DropSnapshot& snapshot);
  QMenu* shareMenu() const { return m_menu; }

  // A mailto: address with `text` as its body: every byte outside the unreserved characters
  // percent-encoded, line breaks as CR LF, no subject.
  static QUrl mailUrl(const QString& text);
  static void copyToClipboard(const QString& text);

  static inline const QString noMailTitle = QStringLiteral("No mail program opened");
  static inline const QString noMailText =
      QStringLiteral("This computer has no mail program set up to write a new message. Copy puts the "
                     "idea on the clipboard, to paste into any message.");

private:
  QCoro::Task<> mail();

  DropSnapshot m_snapshot;
  QMenu* m_menu;
};

} // namespace brindlewick
