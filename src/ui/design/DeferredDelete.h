#pragma once

class QWidget;

namespace brindlewick {

// Takes a widget out of the interface now and deletes it once control is back in the event
// loop. A widget that a signal from inside it can reach (its own button's click, say) must
// not be deleted while that signal is still being delivered: the button would return into
// freed memory.
namespace DeferredDelete {

// Hides `widget`, detaches it from its parent and deletes it later; null is ignored.
void retire(QWidget* widget);

} // namespace DeferredDelete

} // namespace brindlewick
