#pragma once

class QWidget;

namespace brindlewick {

// Fades `page` in from transparent, easing out over 0.24 s, the first time it is shown; a
// page already on screen has appeared and does not fade. Each widget fades at most once, however
// often it is shown again or this is called; a page built anew fades anew. Under Reduce
// Motion, or when the page already carries a graphics effect (effects do not nest), it is
// opaque from its first frame. The opacity effect lives only while the fade runs: it
// renders the whole page offscreen on every frame.
void dropPageEntrance(QWidget* page);

} // namespace brindlewick
