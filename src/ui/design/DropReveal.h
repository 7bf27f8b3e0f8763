#pragma once

#include "ui/design/DropMotion.h"

class QWidget;

namespace brindlewick {

// Content that is shown and hidden with an opacity transition: a page's empty state, a
// section's optional controls, the settings' save note. Content that appears fades in from
// transparent; content that goes fades out and is hidden at the end, keeping its place until
// then. A later call takes over from a running fade, from the opacity it reached.
//
// Nothing fades that nobody can see: under Reduce Motion, while the content's parent is not
// on screen, or when another graphics effect already paints the content, an ancestor or a
// descendant (effects do not nest: the inner one would not be painted), the end state comes at
// once. The opacity effect lives only while a fade runs: it renders the content offscreen on
// every frame.
namespace DropReveal {

// Shows or hides `widget`; nothing when it already is (or is already fading that way).
void setShown(QWidget* widget, bool shown, DropMotion::Kind kind = DropMotion::Kind::entrance);
// Fades in `widget`, already shown, from transparent: the same content with something new in it.
void fadeIn(QWidget* widget, DropMotion::Kind kind = DropMotion::Kind::entrance);
// Takes `widget` out of reach of the pointer and the keyboard at once, fades it out, hides it
// and deletes it later; never at once, so that it may be the sender of the signal being
// handled. Nothing for null.
void removeLater(QWidget* widget, DropMotion::Kind kind = DropMotion::Kind::entrance);
// Whether `widget` is shown and not fading out: where the last call left it.
bool isShown(const QWidget* widget);

} // namespace DropReveal

} // namespace brindlewick
