#include "ui/design/DropNotice.h"

#include "ui/design/AccessibleRole.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbolView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr qreal kCornerRadius = 12;
constexpr qreal kCalloutSize = 12;
constexpr qreal kSymbolSize = 14;

} // namespace

DropNotice::DropNotice(const QString& text, const QString& symbol, Tone tone, QWidget* parent)
    : QWidget(parent), m_tone(tone), m_symbol(new DropSymbolView(symbol, kSymbolSize, QFont::Medium, this)),
      m_text(new QLabel(this)), m_action(new DropButton(dropControl({}), this)) {
  m_symbol->setColor([tone](const UiTraits& traits) { return DropNotice::tint(tone, traits.scheme); });
  m_text->setTextFormat(Qt::PlainText);
  m_text->setWordWrap(true);
  m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_text->setFont(DropFonts::rounded(kCalloutSize).font());
  m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  DropStandardWidgets::adopt(m_text);
  setText(text);

  // The symbol stands beside the first line, the button beside the whole message. The
  // message keeps its own height, centred beside a taller button, so that its first line
  // stays level with the symbol.
  auto* label = new QHBoxLayout;
  label->setSpacing(8);
  label->addWidget(m_symbol, 0, Qt::AlignTop);
  label->addWidget(m_text, 1);
  auto* centred = new QVBoxLayout;
  centred->addStretch();
  centred->addLayout(label);
  centred->addStretch();
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(14, 11, 14, 11);
  row->setSpacing(12);
  row->addLayout(centred, 1);
  row->addWidget(m_action, 0, Qt::AlignVCenter);
  connect(m_action, &QPushButton::clicked, this, &DropNotice::actionTriggered);
  m_action->hide();
  describe();
  UiEnvironment::repaintOnChange(this);
}

QString DropNotice::text() const {
  return m_text->text();
}

void DropNotice::setText(const QString& text) {
  m_text->setText(text);
  describe();
}

void DropNotice::setAction(const QString& title) {
  m_action->setText(title);
  m_action->setVisible(!title.isEmpty());
  describe();
}

bool DropNotice::showsAction() const {
  return !m_action->isHidden();
}

// With an action the button stays an element of its own; without one the notice is read
// as one item.
void DropNotice::describe() {
  AccessibleRole::combine(this, showsAction() ? QString() : m_text->text());
}

QColor DropNotice::tint(Tone tone, ColorScheme scheme) {
  const bool dark = scheme == ColorScheme::dark;
  if (tone == Tone::info)
    return dark ? DropDesign::paper() : DropDesign::ink();
  return dark ? QColor::fromRgbF(1.0f, 0.84f, 0.2f) : QColor::fromRgbF(0.72f, 0.5f, 0.0f);
}

qreal DropNotice::fillOpacity(Tone tone, bool increasedContrast) {
  if (tone == Tone::info)
    return increasedContrast ? 0.16 : 0.09;
  return increasedContrast ? 0.3 : 0.18;
}

qreal DropNotice::borderOpacity(Tone tone) {
  return tone == Tone::info ? 0.22 : 0.45;
}

QColor DropNotice::backing(Tone tone, const UiTraits& traits) {
  if (tone != Tone::warning || traits.reduceTransparency)
    return Qt::transparent;
  // In place of a thin blurred material: the window's surface, half see-through.
  return traits.scheme == ColorScheme::dark ? QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.5f)
                                            : QColor::fromRgbF(1, 1, 1, 0.5f);
}

void DropNotice::paintSurface(QPainter& painter, const QRectF& rect, Tone tone, const UiTraits& traits) {
  const QPainterPath shape = DropDesign::roundedRect(rect, kCornerRadius);
  const QColor color = tint(tone, traits.scheme);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor under = backing(tone, traits);
  if (under.alpha() > 0)
    painter.fillPath(shape, under);
  painter.fillPath(shape, DropDesign::withOpacity(color, fillOpacity(tone, traits.increasedContrast)));
  DropDesign::strokeInnerEdge(painter, rect, kCornerRadius,
                              DropDesign::withOpacity(color, borderOpacity(tone)));
  painter.restore();
}

void DropNotice::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintSurface(painter, rect(), m_tone, UiEnvironment::instance().traitsOf(this));
}

} // namespace brindlewick
