#pragma once

#include <QUrl>

#include <QCoroTask>

class QWidget;

namespace brindlewick {

// The one way a view opens an address the reader chose (a link in the text, a book's or a
// source's title, a menu command): through the shared UrlOpener, which answers whether the
// desktop's program took it. When nothing did, the reader is told where they clicked: a
// NotOpenedNotice under `origin` with the address to copy. Main thread only.
namespace LinkOpener {

// Opens `url` for a press on `origin`. The origin may go while the desktop answers (its card
// closed); the notice then shows where it was. A null or hidden origin (a command of the
// tray's menu) puts the notice at the top of the main screen. Never throws.
QCoro::Task<> open(QWidget* origin, QUrl url);

} // namespace LinkOpener

} // namespace brindlewick
