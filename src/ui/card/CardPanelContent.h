#pragma once

#include "model/PanelContentFactories.h"

namespace brindlewick {

// The views the model puts into its panels: the teaser, the reading card, the card's fitting
// height and the topic accent of the teaser panel's edges.
PanelContentFactories cardPanelContent();

} // namespace brindlewick
