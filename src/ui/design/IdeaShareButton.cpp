#include "ui/design/IdeaShareButton.h"

#include "content/ShareText.h"
#include "desktop/UrlOpener.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/NotOpenedNotice.h"

#include <QClipboard>
#include <QPointer>
#include <QPushButton>
#include <QGuiApplication>
#include <QMenu>

namespace brindlewick {

IdeaShareButton::IdeaShareButton(const DropSnapshot& snapshot, bool reader, const QString& context,
                                 QWidget* parent)
    : DropButton(dropControl({.reader = reader, .iconOnly = true}), parent), m_snapshot(snapshot),
      m_menu(new QMenu(this)) {
  setSymbol(QStringLiteral("square.and.arrow.up"));
  DropAccessibility::describe(this, context + QStringLiteral(".share"), QStringLiteral("Share this idea"),
                              QStringLiteral("Share this idea with its book attribution and sources"));
  DropStandardWidgets::adopt(m_menu);
  m_menu->addAction(QStringLiteral("Copy"), this, [this] { copyToClipboard(shareText(m_snapshot)); });
  m_menu->addAction(QStringLiteral("E-mail\u2026"), this, [this] { mail(); });
  connect(this, &QPushButton::clicked, this, [this] { popUpBelow(m_menu); });
}

void IdeaShareButton::setSnapshot(const DropSnapshot& snapshot) {
  m_snapshot = snapshot;
}

QUrl IdeaShareButton::mailUrl(const QString& text) {
  QString body = text;
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return QUrl(QStringLiteral("mailto:?body=") + QString::fromLatin1(QUrl::toPercentEncoding(body)),
              QUrl::StrictMode);
}

void IdeaShareButton::copyToClipboard(const QString& text) {
  QGuiApplication::clipboard()->setText(text);
}

// Touches the button after the wait only through the guard: it may have gone with its row or
// card by then (the notice then shows where it was), and the text is the one the reader
// chose to send.
QCoro::Task<> IdeaShareButton::mail() {
  const QString text = shareText(m_snapshot);
  const QPointer<IdeaShareButton> guard(this);
  const NotOpenedNotice::Anchor clicked = NotOpenedNotice::Anchor::under(this);
  QCoro::Task<bool> opening = UrlOpener::shared().open(mailUrl(text));
  if (co_await std::move(opening))
    co_return;
  NotOpenedNotice::present(
      {QStringLiteral("share.noMailProgram"), noMailTitle, noMailText, {}, QStringLiteral("Copy"), text},
      guard && guard->isVisible() ? NotOpenedNotice::Anchor::under(guard) : clicked);
}

} // namespace brindlewick
