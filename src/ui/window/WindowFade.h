#pragma once

class QWidget;

namespace brindlewick {

// The opacity transitions of the reader window's layers (the onboarding screen, the account
// dropdown): an ease-out over 0.24 s, none under Reduce Motion. The opacity effect lives
// only while the fade runs.
namespace WindowFade {

// Shows `layer` and fades it in from transparent.
void in(QWidget* layer);
// Lets the pointer and the keyboard pass `layer` at once, fades it out and deletes it.
void outAndDelete(QWidget* layer);

} // namespace WindowFade

} // namespace brindlewick
