#include "ui/card/CardPanelContent.h"

#include "ui/card/ReaderCard.h"
#include "ui/card/ReaderTeaser.h"
#include "ui/design/CategoryAccent.h"

namespace brindlewick {

PanelContentFactories cardPanelContent() {
  PanelContentFactories factories;
  factories.teaser = [](const DropSnapshot& drop, double textScale, std::function<void()> open) -> QWidget* {
    return new ReaderTeaser(drop, textScale, std::move(open));
  };
  factories.card = [](ReaderModel& model) -> QWidget* { return new ReaderCard(model, false); };
  factories.cardFittingHeight = &ReaderCard::fittingHeight;
  // The teaser is always dark, and so are its edges.
  factories.accent = [](Category topic) { return accent(topic, ColorScheme::dark); };
  return factories;
}

} // namespace brindlewick
