#pragma once

#include <QUrl>

#include <QCoroTask>

namespace brindlewick {

// Hands an address to the desktop's program for its scheme: the browser for https, the mail
// program for mailto. Unlike a fire-and-forget launch, it answers whether that program took
// the address, so a caller can tell the reader when nothing opened. Main thread only.
class UrlOpener {
public:
  virtual ~UrlOpener();

  // True once the desktop's program took `url`; false when the desktop has none for it, it
  // failed, or the opener went away first. Never throws.
  virtual QCoro::Task<bool> open(QUrl url) = 0;

  // The opener of the views that have no model to ask: the one installed, else one that opens
  // nothing and answers false (a process that installed none, such as a test, never starts a
  // browser).
  static UrlOpener& shared();
  // Replaces the shared opener; null goes back to the one that opens nothing. `opener` must
  // outlive its installation.
  static void install(UrlOpener* opener);
};

} // namespace brindlewick
