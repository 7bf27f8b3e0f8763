#include "ui/window/SidebarNextDrop.h"

#include "model/ReaderModel.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSymbols.h"

#include <QFontMetricsF>
#include <QPainter>

namespace brindlewick {

namespace {

constexpr qreal kNextDropPadding = 10;
constexpr qreal kIcon = 28;
constexpr qreal kNextDropSpacing = 10;
constexpr qreal kLineGap = 2;
constexpr qreal kCornerRadius = 12;

QFont titleFont() {
  return DropFonts::rounded(12, QFont::DemiBold).font();
}

QFont detailFont() {
  return DropFonts::rounded(11).font();
}

qreal textHeight() {
  return QFontMetricsF(titleFont()).height() + kLineGap + QFontMetricsF(detailFont()).height();
}

} // namespace

SidebarNextDrop::SidebarNextDrop(ReaderModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
  setObjectName(QStringLiteral("sidebar.next"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  UiEnvironment::repaintOnChange(this);
  connect(&model, &ReaderModel::storageHealthyChanged, this, &SidebarNextDrop::refresh);
  connect(&model, &ReaderModel::nextDropLabelChanged, this, &SidebarNextDrop::refresh);
  connect(&model.account(), &AccountController::isSignedInChanged, this, &SidebarNextDrop::refresh);
  connect(&model.preferences(), &PreferencesStore::valueChanged, this, &SidebarNextDrop::refresh);
  refresh();
}

std::optional<SidebarNextDrop::Status> SidebarNextDrop::status(const ReaderModel& model) {
  if (!model.storageHealthy() || !model.account().isSignedIn())
    return std::nullopt;
  const ScheduleSettings& schedule = model.preferences().value().schedule;
  if (schedule.paused())
    return Status{QStringLiteral("Drops paused"), QStringLiteral("Show one anytime"), true};
  const std::optional<QString> label = model.nextDropLabel();
  if (!label)
    return std::nullopt;
  return Status{QStringLiteral("Next drop ") + *label, ScheduleSettings::label(schedule.interval()), false};
}

void SidebarNextDrop::refresh() {
  std::optional<Status> status = SidebarNextDrop::status(m_model);
  // Hidden, the block takes no room in the sidebar's column.
  setVisible(status.has_value());
  if (status == m_status)
    return;
  m_status = std::move(status);
  // Read as one element: the title, then the detail.
  setAccessibleName(m_status ? m_status->title + QStringLiteral(", ") + m_status->detail : QString());
  update();
}

QSize SidebarNextDrop::sizeHint() const {
  return QSize(200, int(std::ceil(2 * kNextDropPadding + std::max(kIcon, textHeight()))));
}

QSize SidebarNextDrop::minimumSizeHint() const {
  return QSize(int(2 * kNextDropPadding + kIcon), sizeHint().height());
}

void SidebarNextDrop::paintEvent(QPaintEvent*) {
  if (!m_status)
    return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const ColorScheme scheme = UiEnvironment::instance().schemeOf(this);
  const QColor strong = DropDesign::foreground(scheme);
  painter.setPen(Qt::NoPen);
  painter.setBrush(DropDesign::withOpacity(strong, 0.04));
  painter.drawPath(DropDesign::roundedRect(QRectF(rect()), kCornerRadius));

  const QRectF icon(kNextDropPadding, (height() - kIcon) / 2, kIcon, kIcon);
  painter.setBrush(DropDesign::withOpacity(strong, 0.08));
  painter.drawEllipse(icon);
  DropSymbols::paint(painter, m_status->paused ? QStringLiteral("pause.circle") : QStringLiteral("drop.fill"),
                     icon, 13, QFont::Medium, strong);

  const qreal left = icon.right() + kNextDropSpacing;
  const qreal width = std::max<qreal>(0, this->width() - left - kNextDropPadding);
  const QFontMetricsF title(titleFont());
  const QFontMetricsF detail(detailFont());
  const qreal top = (height() - textHeight()) / 2;
  painter.setFont(titleFont());
  painter.setPen(strong);
  painter.drawText(QPointF(left, top + title.ascent()),
                   title.elidedText(m_status->title, Qt::ElideRight, width));
  painter.setFont(detailFont());
  painter.setPen(DropDesign::secondaryLabel(scheme));
  painter.drawText(QPointF(left, top + title.height() + kLineGap + detail.ascent()),
                   detail.elidedText(m_status->detail, Qt::ElideRight, width));
}

} // namespace brindlewick
