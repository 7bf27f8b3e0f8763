#pragma once

#include "service/UpdateConfiguration.h"

#include <QObject>

namespace brindlewick {

// Something that can install new versions of the application from a signed update feed: the
// application's FeedUpdater (and tests bring a fake). Main thread only.
class UpdaterBackend : public QObject {
  Q_OBJECT

public:
  using QObject::QObject;

  // Begins the backend's own scheduled checks against the validated feed and key. Called at
  // most once, before any other call.
  virtual void start(const UpdateConfiguration& configuration) = 0;
  // Whether a check asked for by the reader could start now (none is running).
  virtual bool canCheckForUpdates() const = 0;
  // A check the reader asked for, with the backend's own interface.
  virtual void checkForUpdates() = 0;

Q_SIGNALS:
  void canCheckForUpdatesChanged();
};

} // namespace brindlewick
