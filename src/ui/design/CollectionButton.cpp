#include "ui/design/CollectionButton.h"

#include "model/ReaderModel.h"
#include "ui/design/DropAccessibility.h"

#include <QPainter>

namespace brindlewick {

CollectionButton::CollectionButton(ReaderModel& model, const DropSnapshot& snapshot, Action action,
                                   bool reader, bool iconOnly, const QString& context, QWidget* parent)
    : DropButton(dropControl({.reader = reader, .iconOnly = iconOnly}), parent), m_model(&model),
      m_snapshot(snapshot), m_action(action), m_reader(reader), m_context(context) {
  const auto changed = [this] { refresh(true); };
  connect(&model,
          action == Action::save ? &ReaderModel::savedSnapshotsChanged : &ReaderModel::lovedSnapshotsChanged,
          this, changed);
  connect(&model, &ReaderModel::collectionBusyChanged, this, changed);
  connect(this, &QPushButton::clicked, this, [this] {
    if (m_model)
      m_model->changeCollection(m_snapshot, m_action == Action::love);
  });
  refresh(false);
}

void CollectionButton::setSnapshot(const DropSnapshot& snapshot) {
  const bool sameIdea = snapshot.id() == m_snapshot.id();
  m_snapshot = snapshot;
  // Another idea is not a change of this one's state: no cross-fade.
  refresh(sameIdea);
}

bool CollectionButton::isOn() const {
  if (!m_model)
    return false;
  return m_action == Action::save ? m_model->isSaved(m_snapshot) : m_model->isLoved(m_snapshot);
}

void CollectionButton::refresh(bool animated) {
  const bool on = isOn();
  setText(title(m_action, on));
  setSymbol(symbolFor(m_action, on));
  DropAccessibility::describe(
      this, m_context + (m_action == Action::save ? QStringLiteral(".save") : QStringLiteral(".love")),
      accessibleLabel(m_action, on), help(m_action, on));
  setEnabled(m_model && !m_model->collectionBusy());
  m_on.set(on, animated);
}

QColor CollectionButton::tint(Action action, ColorScheme scheme) {
  if (scheme == ColorScheme::dark)
    return action == Action::save ? QColor::fromRgbF(1.0f, 0.76f, 0.34f)
                                  : QColor::fromRgbF(1.0f, 0.47f, 0.6f);
  return action == Action::save ? QColor::fromRgbF(0.95f, 0.55f, 0.0f) : QColor::fromRgbF(0.96f, 0.1f, 0.4f);
}

QString CollectionButton::symbolFor(Action action, bool on) {
  const QString base = action == Action::save ? QStringLiteral("bookmark") : QStringLiteral("heart");
  return on ? base + QStringLiteral(".fill") : base;
}

QString CollectionButton::title(Action action, bool on) {
  if (action == Action::save)
    return on ? QStringLiteral("Saved") : QStringLiteral("Save");
  return on ? QStringLiteral("Loved") : QStringLiteral("Love");
}

QString CollectionButton::accessibleLabel(Action action, bool on) {
  if (on)
    return action == Action::save ? QStringLiteral("Remove from Saved") : QStringLiteral("Unlove this idea");
  return title(action, false) + QStringLiteral(" this idea");
}

QString CollectionButton::help(Action action, bool on) {
  if (action == Action::save)
    return on ? QStringLiteral("Remove this idea from Saved")
              : QStringLiteral("Save this idea to your collection");
  return on ? QStringLiteral("Remove your love for this idea")
            : QStringLiteral("Love this idea, separately from saving it");
}

void CollectionButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const UiTraits traits = UiEnvironment::instance().traitsOf(this);
  const bool on = m_on.isOn();
  const std::optional<QColor> tinted =
      m_reader ? std::nullopt : std::optional<QColor>(tint(m_action, traits.scheme));
  DropButtonStyle style = buttonStyle();
  style.tint = on ? tinted : std::nullopt;
  const qreal fade = m_on.value();
  const bool iconOnly = style.iconOnly;
  DropButtonStyle::paint(painter, capsuleRect(), style, controlState(), traits,
                         [&](QPainter& label, const QRectF& content, const QColor& color, const QFont& font) {
                           // Outline and filled looks cross-fade; at rest exactly one is painted.
                           for (const bool state : {false, true}) {
                             const qreal weight = state ? fade : 1 - fade;
                             if (weight <= 0)
                               continue;
                             label.save();
                             label.setOpacity(label.opacity() * weight);
                             // Only the symbol takes the tint: the title keeps the label's
                             // colour, which reads on any glass.
                             DropButtonStyle::paintLabel(
                                 label, content, iconOnly ? QString() : title(m_action, state),
                                 symbolFor(m_action, state), color, font, state ? tinted : std::nullopt);
                             label.restore();
                           }
                         });
}

} // namespace brindlewick
