#include "ui/design/LinkOpener.h"

#include "desktop/UrlOpener.h"
#include "ui/design/NotOpenedNotice.h"

#include <QPointer>
#include <QWidget>

namespace brindlewick {

// Reads nothing of the origin after the wait but through the guard.
QCoro::Task<> LinkOpener::open(QWidget* origin, QUrl url) {
  const QPointer<QWidget> guard(origin);
  const NotOpenedNotice::Anchor clicked = origin != nullptr && origin->isVisible()
                                              ? NotOpenedNotice::Anchor::under(origin)
                                              : NotOpenedNotice::Anchor::screenTop();
  QCoro::Task<bool> opening = UrlOpener::shared().open(url);
  if (co_await std::move(opening))
    co_return;
  NotOpenedNotice::present(NotOpenedNotice::forAddress(url),
                           guard && guard->isVisible() ? NotOpenedNotice::Anchor::under(guard) : clicked);
}

} // namespace brindlewick
