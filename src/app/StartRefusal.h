#pragma once

#include "app/LaunchRequest.h"
#include "app/ReaderAppDelegate.h"
#include "app/SingleInstance.h"

#include <QString>

namespace brindlewick {

// A start that cannot go on (no private runtime folder, a request the running reader would not
// take). A start from a launcher or a browser has nobody reading standard error, so the reason
// goes there and, where a display can show it, into an alert too.
namespace StartRefusal {

// The alert's headline when the running reader did not take the request: that copy runs on.
inline const QString requestNotTakenTitle = QStringLiteral("Brindlewick could not take this request");

// Whether the platform shows windows to somebody (not the offscreen or minimal platform).
bool hasDisplay();

// Writes "Brindlewick: " and the error's description to standard error and, with a display,
// shows an alert with the start-up alert's headline over it (requestNotTakenTitle once
// the start reached the running copy), brought forward as `request`'s start asked, then
// ends the desktop's launch feedback for it. Returns when the reader has dismissed the alert.
void report(const SingleInstanceError& error, const LaunchRequest& request,
            const ReaderAppDelegate::AlertPresenter& alert = {});

} // namespace StartRefusal

} // namespace brindlewick
