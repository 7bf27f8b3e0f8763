#pragma once

#include "ui/design/DropDesign.h"
#include "ui/design/DropSelectionStyle.h"

#include <optional>

class QBoxLayout;

namespace brindlewick {

// A pressable card of the dashboard (a metric tile, the continue card): the dashboard's
// surface in its accent under the selection look, with the caller's label laid out inside.
// The accent is taken in the page's own scheme.
class DashboardCard : public DropSelectionItem {
  Q_OBJECT

public:
  // `accent` empty: the neutral surface.
  explicit DashboardCard(std::optional<DropDesign::Highlight> accent, QWidget* parent = nullptr);

  std::optional<QColor> accentColor() const;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  std::optional<DropDesign::Highlight> m_accent;
};

} // namespace brindlewick
