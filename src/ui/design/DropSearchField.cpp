#include "ui/design/DropSearchField.h"

#include "ui/design/DropAccessibility.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropGlass.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/ReadingSearchInput.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>

namespace brindlewick {

namespace {

constexpr int kHeight = 40;
constexpr qreal kSearchSymbolSize = 15; // a symbol in the 13-point face

// The clear button: a plain symbol, no surface of its own.
class ClearButton : public QAbstractButton {
public:
  explicit ClearButton(QWidget* parent) : QAbstractButton(parent) {
    setFixedSize(24, 24);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
    QColor color = DropDesign::secondaryLabel(scheme);
    if (isDown())
      color = DropDesign::primaryLabel(scheme);
    DropSymbols::paint(painter, QStringLiteral("xmark.circle.fill"), rect(), kSearchSymbolSize, QFont::Normal,
                       color);
  }
};

} // namespace

DropSearchField::DropSearchField(const QString& prompt, QWidget* parent)
    : QWidget(parent), m_input(new ReadingSearchInput(prompt, this)), m_clear(new ClearButton(this)) {
  auto* glass = new DropSymbolView(QStringLiteral("magnifyingglass"), kSearchSymbolSize, QFont::Normal, this);
  glass->setColor([this](const UiTraits& traits) { return glassColor(m_focus.value(), traits.scheme); });
  DropAccessibility::describe(m_clear, QStringLiteral("search.clear"), QStringLiteral("Clear search"));
  m_clear->hide();

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 0, 16, 0);
  row->setSpacing(10);
  row->addWidget(glass);
  row->addWidget(m_input, 1);
  row->addWidget(m_clear);
  setFixedHeight(kHeight);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFocusProxy(m_input);
  UiEnvironment::repaintOnChange(this);

  connect(m_input, &ReadingSearchInput::searchEdited, this, &DropSearchField::textEdited);
  connect(m_input, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_clear->setVisible(!text.isEmpty()); });
  connect(m_input, &ReadingSearchInput::editingChanged, this, [this](bool editing) { m_focus.set(editing); });
  connect(m_clear, &QAbstractButton::clicked, this, [this] {
    m_input->setSearchText(QString());
    Q_EMIT textEdited(QString());
  });
}

QString DropSearchField::text() const {
  return m_input->text();
}

void DropSearchField::setText(const QString& text) {
  m_input->setSearchText(text);
}

QColor DropSearchField::glassColor(qreal focus, ColorScheme scheme) {
  return DropDesign::mixed(DropDesign::secondaryLabel(scheme), DropDesign::foreground(scheme), focus);
}

void DropSearchField::paintCapsule(QPainter& painter, const QRectF& rect, qreal focus, ColorScheme scheme) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(DropGlass::capsule(rect),
                   scheme == ColorScheme::dark ? DropDesign::windowBackground(scheme) : QColor(Qt::white));
  const QColor resting = DropDesign::withOpacity(DropDesign::secondaryLabel(scheme), 0.25);
  const QColor editing = DropDesign::withOpacity(DropDesign::foreground(scheme), 0.85);
  const qreal width = 1 + focus;
  const qreal inset = width / 2;
  painter.strokePath(DropGlass::capsule(rect.adjusted(inset, inset, -inset, -inset)),
                     QPen(DropDesign::mixed(resting, editing, focus), width));
  painter.restore();
}

QSize DropSearchField::sizeHint() const {
  return QSize(260, kHeight);
}

void DropSearchField::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintCapsule(painter, rect(), m_focus.value(), UiEnvironment::instance().schemeOf(this));
}

void DropSearchField::mousePressEvent(QMouseEvent* event) {
  // A press anywhere on the capsule starts editing.
  m_input->setFocus(Qt::MouseFocusReason);
  event->accept();
}

} // namespace brindlewick
