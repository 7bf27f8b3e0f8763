#pragma once

class QKeyEvent;

namespace brindlewick {

// The keys that press a focused control of ours. Return and Enter press it as Space does,
// whatever the modifiers a keypad adds, so a control never waits for a dialog's default to
// take them; any other modifier leaves the key to shortcuts.
namespace PressKeys {

// Return or Enter.
bool isActivation(const QKeyEvent& event);
// Space, Return or Enter.
bool presses(const QKeyEvent& event);

} // namespace PressKeys

} // namespace brindlewick
