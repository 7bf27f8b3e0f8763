#pragma once

#include "ui/design/DropTextBlock.h"

namespace brindlewick {

// A small tracked caption over a section, upper-cased, in the secondary label colour.
class DropSectionLabel : public DropTextBlock {
  Q_OBJECT

public:
  explicit DropSectionLabel(const QString& text, QWidget* parent = nullptr);
};

} // namespace brindlewick
