#pragma once

#include <Qt>

namespace brindlewick {

// When a control shows its focus ring: for focus the keyboard brought (Tab, Backtab or a
// shortcut), never for focus a mouse press brought. Qt also names Tab as the reason when the
// focused control is hidden or disabled and focus moves on to the next one: after a click
// (on "Get started", which turns the page) that is no keystroke and shows no ring; after a
// key (Space on the same button) the reader is on the keyboard, and the ring follows.
namespace DropFocusRing {

// Starts following how focus leaves controls (once per process; the controls that draw a
// ring call it when they are made).
void watchFocus();
// Whether the focus that arrived last was handed on by a control just hidden or disabled.
bool handedOn();
// Why the focus that arrived last came (told to the application's focus-change followers,
// which hear of a change after its focus-in).
Qt::FocusReason latestReason();
// Whether the reader's latest press was a key's rather than a mouse button's.
bool keyboardInUse();
// Whether focus that arrives now, for `reason`, shows the ring.
bool keyboardBrought(Qt::FocusReason reason);

} // namespace DropFocusRing

} // namespace brindlewick
