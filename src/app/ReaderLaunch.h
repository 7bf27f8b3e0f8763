#pragma once

#include "app/ReaderAppDelegate.h"
#include "model/ReaderModel.h"

#include <memory>

namespace brindlewick {

class LaunchRequestQueue;

// A normal start once it is the one running instance: the model, when it could be built, and
// the shell around it. The delegate goes first, as the model must outlive it.
struct ReaderLaunch {
  std::unique_ptr<ReaderModel> model;
  std::unique_ptr<ReaderAppDelegate> delegate;
};

// Builds the model from `services`, serving events until it is built, then launches the shell:
// the tray icon and its menus, and the reader window, or the start-up alert when the model
// could not be built (the reason is written to standard error; nothing is reset or retried).
// The window's frame is kept in the services' application defaults file. Once the shell is up it
// carries out what `requests` kept while the model opened, in order, and every later one.
ReaderLaunch launchReader(ReaderModel::Services services, ReaderAppDelegate::Options options,
                          LaunchRequestQueue* requests = nullptr);

} // namespace brindlewick
