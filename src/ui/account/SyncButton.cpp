#include "ui/account/SyncButton.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountState.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropSpinner.h"

#include <QFontMetricsF>
#include <QKeySequence>
#include <QPainter>
#include <QTimerEvent>

namespace brindlewick {

namespace {

constexpr qreal spinnerGap = 6;

} // namespace

SyncButton::SyncButton(ReaderModel& model, QWidget* parent)
    : DropButton(title, DropButtonStyle{DropButtonStyle::Appearance::secondary}, parent), m_model(model) {
  setSymbol(symbolName);
  setFocusPolicy(Qt::TabFocus);
  DropAccessibility::describe(this, QStringLiteral("account.sync"), title, helpText());
  // The model keeps the sync's task; nothing here waits for it.
  connect(this, &QPushButton::clicked, this, [this] { m_model.refresh(true); });
  AccountState::watch(model, this, [this] { refreshState(); });
  refreshState();
}

QString SyncButton::shortcutHint() {
  return QKeySequence(Qt::CTRL | Qt::Key_R).toString(QKeySequence::NativeText);
}

QString SyncButton::helpText() {
  return QStringLiteral("Sync your account and drops now (%1)").arg(shortcutHint());
}

void SyncButton::refreshState() {
  const AccountState state = AccountState::read(m_model);
  setEnabled(state.canSync());
  if (state.refreshing != m_refreshing) {
    m_refreshing = state.refreshing;
    setAccessibleName(m_refreshing ? busyTitle : title);
    updateGeometry();
    update();
    updateTimer();
  }
}

void SyncButton::updateTimer() {
  if (m_refreshing && isVisible())
    m_timer.start(DropSpinner::stepMilliseconds, this);
  else
    m_timer.stop();
}

qreal SyncButton::naturalLabelWidth(const QFont& font) const {
  if (!m_refreshing)
    return DropButton::naturalLabelWidth(font);
  return DropSpinner::small + spinnerGap + QFontMetricsF(font).horizontalAdvance(busyTitle);
}

void SyncButton::paintLabel(QPainter& painter, const QRectF& content, const QColor& color,
                            const QFont& font) {
  if (!m_refreshing) {
    DropButton::paintLabel(painter, content, color, font);
    return;
  }
  const qreal width = std::min(naturalLabelWidth(font), content.width());
  const qreal left = content.center().x() - width / 2;
  const QRectF spinner(left, content.center().y() - DropSpinner::small / 2, DropSpinner::small,
                       DropSpinner::small);
  DropSpinner::paint(painter, spinner, m_phase, color);
  const QRectF text(spinner.right() + spinnerGap, content.top(),
                    content.right() - spinner.right() - spinnerGap, content.height());
  painter.save();
  painter.setPen(color);
  painter.setFont(font);
  painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetricsF(font).elidedText(busyTitle, Qt::ElideRight, text.width()));
  painter.restore();
}

void SyncButton::showEvent(QShowEvent* event) {
  DropButton::showEvent(event);
  updateTimer();
}

void SyncButton::hideEvent(QHideEvent* event) {
  DropButton::hideEvent(event);
  m_timer.stop();
}

void SyncButton::timerEvent(QTimerEvent* event) {
  if (event->timerId() != m_timer.timerId()) {
    DropButton::timerEvent(event);
    return;
  }
  m_phase = (m_phase + 1) % DropSpinner::spokes;
  update();
}

} // namespace brindlewick
