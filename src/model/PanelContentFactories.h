#pragma once

#include "content/ContentContracts.h"
#include "content/ContentSnapshots.h"

#include <QColor>

#include <functional>

class QWidget;

namespace brindlewick {

class ReaderModel;

// What the model puts into its two panels comes from the interface layer above it, which the
// application installs here: the model decides when and where, the views decide how a drop
// looks. Any factory left empty is skipped (the panel keeps what it shows).
struct PanelContentFactories {
  // The teaser of `drop` at the reader's text scale. `open` opens the reading card; it does
  // nothing once the model is gone. The panel takes ownership of the view.
  std::function<QWidget*(const DropSnapshot& drop, double textScale, std::function<void()> open)> teaser;
  // The reading card, which reads and drives the model. The panel takes ownership.
  std::function<QWidget*(ReaderModel& model)> card;
  // The height the card needs at a content width (points); the panel grows to it.
  std::function<double(ReaderModel& model, double width)> cardFittingHeight;
  // A topic's accent colour: the teaser panel's edge.
  std::function<QColor(Category topic)> accent;
};

} // namespace brindlewick
