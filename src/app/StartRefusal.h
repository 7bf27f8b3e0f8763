#pragma once

#include "app/LaunchRequest.h"
#include "app/ReaderAppDelegate.h"

#include <QString>

namespace brindlewick {

// A start that cannot go on (no private runtime folder, a request the running reader would not
// take). A start from a launcher or a browser has nobody reading standard error, so the reason
// goes there and, where a display can show it, into an alert too.
namespace StartRefusal {

// Whether the platform shows windows to somebody (not the offscreen or minimal platform).
bool hasDisplay();

// Writes "Brindlewick: " and `description` to standard error and, with a display, shows the
// start-up alert with `description` brought forward as `request`'s start asked, then ends the
// desktop's launch feedback for it. Returns when the reader has dismissed the alert.
void report(const QString& description, const LaunchRequest& request,
            const ReaderAppDelegate::AlertPresenter& alert = {});

} // namespace StartRefusal

} // namespace brindlewick
