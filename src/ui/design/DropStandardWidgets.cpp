#include "ui/design/DropStandardWidgets.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropStandardStyle.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QPointer>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

namespace brindlewick {

namespace {

constexpr char kAdoptedProperty[] = "brindlewick.standardLook";

using DropDesign::grey;

void apply(QWidget* widget) {
  const UiEnvironment& environment = UiEnvironment::instance();
  widget->setPalette(
      DropStandardWidgets::palette(environment.schemeOf(widget), environment.increasedContrast()));
}

void applyForeground(QWidget* widget, const DropDesign::ColorFor& color) {
  QPalette colours = widget->palette();
  const QColor foreground = color(UiEnvironment::instance().traitsOf(widget));
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
    colours.setColor(role, foreground);
  widget->setPalette(colours);
}

// Runs `apply` again when the environment changes, the widget changes parents (and with
// them, perhaps, its scheme) or refresh() reaches it.
class LookKeeper : public QObject {
  Q_OBJECT

public:
  LookKeeper(QWidget* widget, std::function<void()> apply)
      : QObject(widget), m_widget(widget), m_apply(std::move(apply)) {
    widget->installEventFilter(this);
    connect(&UiEnvironment::instance(), &UiEnvironment::changed, this, &LookKeeper::apply);
    m_apply();
  }

  void apply() { m_apply(); }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // A pop-up is asked again as it opens: its owner may have moved into a forced scheme
    // (the card) since the pop-up was made.
    const bool opening = event->type() == QEvent::Show && m_widget->isWindow();
    if (watched == m_widget && (event->type() == QEvent::ParentChange || opening))
      m_apply();
    return false;
  }

private:
  QWidget* m_widget;
  std::function<void()> m_apply;
};

} // namespace

QPalette DropStandardWidgets::palette(ColorScheme scheme, bool increasedContrast) {
  const bool dark = scheme == ColorScheme::dark;
  const QColor text = dark ? DropDesign::paper() : DropDesign::ink();
  QPalette palette;
  palette.setColor(QPalette::Window, DropDesign::windowBackground(scheme));
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, dark ? grey(0.12) : Qt::white);
  palette.setColor(QPalette::AlternateBase, dark ? grey(0.16) : grey(0.96));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::PlaceholderText, DropDesign::secondaryLabel(scheme));
  palette.setColor(QPalette::Button, dark ? grey(0.24) : DropDesign::paper());
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, dark ? grey(0.16) : DropDesign::paper());
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Highlight, DropDesign::highlight(DropDesign::Highlight::teal, scheme));
  palette.setColor(QPalette::HighlightedText, dark ? DropDesign::ink() : Qt::white);
  palette.setColor(QPalette::Link,
                   dark ? QColor::fromRgbF(0.49f, 0.67f, 1.0f) : QColor::fromRgbF(0.13f, 0.37f, 0.86f));
  palette.setColor(QPalette::LinkVisited, DropDesign::highlight(DropDesign::Highlight::violet, scheme));
  // The bevel colours are what Fusion draws frames, grooves and handles with; increased
  // contrast pulls them towards the text colour.
  palette.setColor(QPalette::Light, dark ? grey(0.35) : Qt::white);
  palette.setColor(QPalette::Midlight, dark ? grey(0.30) : grey(0.94));
  palette.setColor(QPalette::Mid,
                   dark ? grey(increasedContrast ? 0.62 : 0.32) : grey(increasedContrast ? 0.40 : 0.72));
  palette.setColor(QPalette::Dark,
                   dark ? grey(increasedContrast ? 0.75 : 0.12) : grey(increasedContrast ? 0.25 : 0.60));
  palette.setColor(QPalette::Shadow, dark ? grey(0.02) : grey(increasedContrast ? 0.10 : 0.40));
  const QColor disabled = DropDesign::tertiaryLabel(scheme);
  for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, disabled);
  return palette;
}

QStyle* DropStandardWidgets::style() {
  static QPointer<QStyle> style;
  if (style.isNull()) {
    style = new DropStandardStyle;
    style->setParent(QCoreApplication::instance());
  }
  return style.data();
}

void DropStandardWidgets::adopt(QWidget* widget) {
  if (widget->property(kAdoptedProperty).toBool())
    return;
  widget->setProperty(kAdoptedProperty, true);
  widget->setStyle(style());
  keep(widget, [widget] { apply(widget); });
  if (auto* combo = qobject_cast<QComboBox*>(widget))
    DropStandardStyle::dressPopup(combo);
}

void DropStandardWidgets::keep(QWidget* widget, std::function<void()> apply) {
  new LookKeeper(widget, std::move(apply));
}

void DropStandardWidgets::keepForeground(QWidget* widget, DropDesign::ColorFor color) {
  keep(widget, [widget, color = std::move(color)] { applyForeground(widget, color); });
}

void DropStandardWidgets::refresh(QWidget* subtree) {
  // A widget's keepers are its children, so this finds those of the subtree's root too.
  for (LookKeeper* keeper : subtree->findChildren<LookKeeper*>())
    keeper->apply();
}

void DropStandardWidgets::followEnvironment(UiEnvironment& environment) {
  const auto update = [&environment] {
    QToolTip::setPalette(palette(environment.scheme(), environment.increasedContrast()));
    QToolTip::setFont(QApplication::font());
  };
  QObject::connect(&environment, &UiEnvironment::changed, &environment, update);
  update();
}

} // namespace brindlewick

#include "DropStandardWidgets.moc"
