#pragma once

#include "content/ContentContracts.h"
#include "ui/design/DropTextBlock.h"

namespace brindlewick {

// The caption above an idea: its topic and kind in upper case ("SCIENCE  ·  BELIEF VS
// REALITY"), tracked, in the topic's accent. On the dark reading card it is smaller, in the
// dark scheme's accent whatever the scheme (white under increased contrast), and medium
// rather than regular under Bold Text. It wraps when short of width.
class DropEyebrow : public DropTextBlock {
  Q_OBJECT

public:
  // `kind` is the kind's wire value ("belief_vs_reality").
  DropEyebrow(Category category, const QString& kind, bool reader, QWidget* parent = nullptr);

  static QString caption(Category category, const QString& kind);
  static QColor color(Category category, bool reader, const UiTraits& traits);
  static DropTextBlock::Style style(bool reader, const UiTraits& traits);
};

} // namespace brindlewick
