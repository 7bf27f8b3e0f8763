#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

namespace brindlewick {

// Catches the addresses the desktop is asked to open: install it for a scheme with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open").
class UrlCatcher : public QObject {
  Q_OBJECT

public:
  QList<QUrl> urls;

public Q_SLOTS:
  void open(const QUrl& url) { urls.append(url); }
};

} // namespace brindlewick
