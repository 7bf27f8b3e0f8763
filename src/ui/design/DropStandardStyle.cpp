#include "ui/design/DropStandardStyle.h"

#include "ui/design/DropDesign.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropMenuRowStyle.h"
#include "ui/design/DropOverlayScrollBar.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/DropSymbols.h"
#include "ui/design/RestingPointer.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QStyleOption>
#include <QStyledItemDelegate>
#include <QTextCharFormat>

#include <algorithm>
#include <cmath>

namespace brindlewick {

namespace {

using DropDesign::grey;

constexpr qreal kMenuFontSize = 13;
constexpr int kCheckColumn = 18; // a menu's check marks, before the labels
constexpr int kShortcutGap = 24; // between a label and its shortcut
constexpr int kSeparatorHeight = 9;
constexpr int kSubmenuArrow = 12;
constexpr int kThumbWidth = 6;
constexpr int kListScrollBarWidth = 12;

QFont menuFont() {
  return DropFonts::rounded(kMenuFontSize).font();
}

DropStandardStyle::Colors colorsFor(const QWidget* widget) {
  return DropStandardStyle::colors(UiEnvironment::instance().traitsOf(widget));
}

// Scroll bars in pop-ups and those laid over their content are a thin thumb on a clear
// track.
bool thinBar(const QWidget* widget) {
  return widget != nullptr && (widget->window()->windowType() == Qt::Popup ||
                               widget->property(DropOverlayScrollBar::overlayProperty).toBool());
}

} // namespace

void DropStandardStyle::paintPopupSurface(QPainter& painter, const QRectF& rect, const Colors& colors) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  painter.fillRect(rect, Qt::transparent); // the corners stay clear of what was there before
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  painter.fillPath(DropDesign::roundedRect(rect, DropStandardStyle::popupRadius), colors.popupSurface);
  DropDesign::strokeInnerEdge(painter, rect, DropStandardStyle::popupRadius, colors.popupEdge);
  painter.restore();
}

namespace {

void paintRowFill(QPainter& painter, const QRectF& row, const QColor& fill) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(DropDesign::roundedRect(row, DropMenuRowStyle::cornerRadius), fill);
  painter.restore();
}

QPainterPath checkMark(const QRectF& box) {
  QPainterPath mark;
  mark.moveTo(box.left() + box.width() * 0.22, box.top() + box.height() * 0.52);
  mark.lineTo(box.left() + box.width() * 0.42, box.top() + box.height() * 0.72);
  mark.lineTo(box.left() + box.width() * 0.78, box.top() + box.height() * 0.30);
  return mark;
}

void strokeCheckMark(QPainter& painter, const QRectF& box, const QColor& color) {
  QPen pen(color, std::max<qreal>(1.5, box.width() / 8));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  painter.strokePath(checkMark(box), pen);
}

// Paints the rounded surface of a combo box's pop-up list behind the list, which is clear,
// and widens a list narrower than its rows (the box gives it its own width) as it opens,
// keeping it on the screen.
class PopupSurface : public QObject {
public:
  PopupSurface(QWidget* popup, QAbstractItemView* list) : QObject(popup), m_popup(popup), m_list(list) {
    popup->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != m_popup)
      return false;
    if (event->type() == QEvent::Paint) {
      QPainter painter(m_popup);
      DropStandardStyle::paintPopupSurface(painter, QRectF(m_popup->rect()), colorsFor(m_popup));
    } else if (event->type() == QEvent::Show) {
      widen();
    }
    return false;
  }

private:
  void widen() {
    const QScrollBar* bar = m_list->verticalScrollBar();
    // The bar's own width, not the one it has: the first time the list opens, the bar has not
    // been laid out yet and is a hidden widget's 100 pixels wide.
    const int barWidth = bar->maximum() > bar->minimum() ? bar->sizeHint().width() : 0;
    const int needed = m_list->sizeHintForColumn(0) + barWidth + (m_popup->width() - m_list->width());
    if (needed <= m_popup->width())
      return;
    QRect frame = m_popup->geometry();
    frame.setWidth(needed);
    if (const QScreen* screen = m_popup->screen(); screen != nullptr)
      frame.moveRight(std::min(frame.right(), screen->availableGeometry().right()));
    m_popup->setGeometry(frame);
  }

  QWidget* m_popup;
  QAbstractItemView* m_list;
};

// The rows of a combo box's list, in the menu-row style, inset from the surface's edge. Only
// the current row is filled: the list makes the row under a moving pointer current, and Qt's
// hover would also light the row a scroll brings under a pointer at rest.
class MenuRowDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const DropStandardStyle::Colors colors = colorsFor(option.widget);
    const QRectF row =
        QRectF(option.rect).adjusted(DropStandardStyle::popupInset, 0, -DropStandardStyle::popupInset, 0);
    const bool enabled = (option.state & QStyle::State_Enabled) != 0;
    painter->save();
    if (enabled && (option.state & QStyle::State_Selected) != 0)
      paintRowFill(*painter, row, colors.rowFill);
    if (!enabled)
      painter->setOpacity(DropMenuRowStyle::disabledOpacity);
    const QRectF label = row.adjusted(DropMenuRowStyle::padding, 0, -DropMenuRowStyle::padding, 0);
    painter->setFont(menuFont());
    painter->setPen(colors.text);
    const QString text =
        QFontMetricsF(menuFont())
            .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, label.width());
    painter->drawText(label, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
    painter->restore();
  }

  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    const qreal text = QFontMetricsF(menuFont()).horizontalAdvance(index.data(Qt::DisplayRole).toString());
    const qreal around = 2 * (DropStandardStyle::popupInset + DropMenuRowStyle::padding);
    return QSize(int(std::ceil(text + around)), int(DropMenuRowStyle::height));
  }
};

} // namespace

DropStandardStyle::Colors DropStandardStyle::colors(const UiTraits& traits) {
  const bool dark = traits.scheme == ColorScheme::dark;
  const bool strong = traits.increasedContrast;
  Colors colors;
  colors.popupSurface = dark ? grey(0.17) : grey(1);
  colors.popupEdge = dark ? grey(1, strong ? 0.5 : 0.16) : grey(0, strong ? 0.5 : 0.14);
  colors.text = DropDesign::primaryLabel(traits.scheme);
  // Stronger than the window's secondary labels, which stay under 4.5:1 on a hovered row.
  colors.secondaryText = dark ? grey(1, 0.65) : grey(0, 0.6);
  colors.rowFill = DropMenuRowStyle::fill(traits.scheme, false);
  colors.controlFill = dark ? grey(0.24) : grey(1);
  colors.controlEdge = dark ? grey(strong ? 0.75 : 0.55) : grey(strong ? 0.30 : 0.47);
  colors.checkedFill = DropDesign::highlight(DropDesign::Highlight::teal, traits.scheme);
  colors.checkMark = dark ? DropDesign::ink() : grey(1);
  colors.focusRing = DropFocusRing::color(traits.scheme);
  colors.scrollThumb = dark ? grey(1, strong ? 0.6 : 0.45) : grey(0, strong ? 0.6 : 0.5);
  colors.barSurface = dark ? DropDesign::underPageBackground(traits.scheme) : grey(0.965);
  return colors;
}

DropStandardStyle::DropStandardStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

void DropStandardStyle::dressPopup(QComboBox* combo) {
  combo->setMaxVisibleItems(visibleListRows);
  combo->setItemDelegate(new MenuRowDelegate(combo));
  QAbstractItemView* list = combo->view();
  QWidget* popup = list->parentWidget(); // the list's own window
  popup->setAttribute(Qt::WA_TranslucentBackground);
  new PopupSurface(popup, list);
  list->setFrameShape(QFrame::NoFrame);
  list->viewport()->setAutoFillBackground(false);
  list->setAutoFillBackground(false);
  // Room above the first row and below the last, inside the rounded surface.
  list->setContentsMargins(0, popupInset, 0, popupInset);
  DropStandardWidgets::adopt(list);
  DropStandardWidgets::adopt(list->verticalScrollBar());
  // After the combo box's own watcher, which makes the row under any move the current one.
  RestingPointer::ignoreUntilMoved(list, popup);
}

void DropStandardStyle::polish(QWidget* widget) {
  QProxyStyle::polish(widget);
  // The rounded surface leaves its corners clear; set before the menu has a window.
  if (qobject_cast<QMenu*>(widget) != nullptr)
    widget->setAttribute(Qt::WA_TranslucentBackground);
  // Its titles measured in the font they are drawn in.
  if (qobject_cast<QMenuBar*>(widget) != nullptr)
    widget->setFont(menuFont());
}

int DropStandardStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const {
  switch (hint) {
  // A list, not a menu laid over the box: it opens below (or above) the box within the
  // screen and shows visibleListRows rows at a time, so 60 minutes scroll within it.
  case SH_ComboBox_Popup: return 0;
  case SH_ComboBox_PopupFrameStyle: return QFrame::NoFrame;
  case SH_ComboBox_ListMouseTracking: return 1;
  case SH_Menu_Scrollable: return 1;
  // Qt tints the link the keyboard is on with a faint dotted outline; our texts ring it
  // themselves (ReadingText), so no mark of Qt's is laid over it.
  case SH_TextControl_FocusIndicatorTextCharFormat:
    if (auto* variant = qstyleoption_cast<QStyleHintReturnVariant*>(returnData))
      variant->variant = QTextCharFormat();
    return 1;
  default: return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
}

int DropStandardStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                   const QWidget* widget) const {
  switch (metric) {
  case PM_MenuPanelWidth:
  case PM_MenuBarPanelWidth: return 0;
  case PM_MenuHMargin:
  case PM_MenuVMargin: return popupInset;
  case PM_ScrollBarExtent:
    if (thinBar(widget))
      return kListScrollBarWidth;
    break;
  default: break;
  }
  return QProxyStyle::pixelMetric(metric, option, widget);
}

QSize DropStandardStyle::sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                                          const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (type != CT_MenuItem || item == nullptr)
    return QProxyStyle::sizeFromContents(type, option, size, widget);
  if (item->menuItemType == QStyleOptionMenuItem::Separator)
    return QSize(size.width(), kSeparatorHeight);
  const QFontMetricsF metrics(menuFont());
  const QStringList parts = item->text.split(QLatin1Char('\t'));
  qreal width = 2 * DropMenuRowStyle::padding + metrics.horizontalAdvance(parts.value(0));
  if (item->menuHasCheckableItems || item->maxIconWidth > 0)
    width += kCheckColumn + 4;
  if (parts.size() > 1)
    width += kShortcutGap + metrics.horizontalAdvance(parts.value(1));
  if (item->menuItemType == QStyleOptionMenuItem::SubMenu)
    width += kShortcutGap + kSubmenuArrow;
  return QSize(int(std::ceil(width)), int(DropMenuRowStyle::height));
}

QRect DropStandardStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                        SubControl sub, const QWidget* widget) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (control != CC_ScrollBar || bar == nullptr || !thinBar(widget))
    return QProxyStyle::subControlRect(control, option, sub, widget);
  // A thin bar is a thumb in a clear track, without arrow buttons.
  const QRect track = bar->rect;
  const int range = bar->maximum - bar->minimum;
  const int length =
      range > 0 ? std::max(track.height() * bar->pageStep / (range + bar->pageStep), 24) : track.height();
  const int top = track.top() + sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition,
                                                        track.height() - length, bar->upsideDown);
  const QRect thumb(track.left(), top, track.width(), length);
  switch (sub) {
  case SC_ScrollBarSlider: return thumb;
  case SC_ScrollBarGroove: return track;
  case SC_ScrollBarSubPage: return QRect(track.left(), track.top(), track.width(), top - track.top());
  case SC_ScrollBarAddPage:
    return QRect(track.left(), thumb.bottom() + 1, track.width(), track.bottom() - thumb.bottom());
  default: return QRect();
  }
}

void DropStandardStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                      const QWidget* widget) const {
  switch (element) {
  case PE_PanelMenu: paintPopupSurface(*painter, QRectF(option->rect), colorsFor(widget)); return;
  case PE_FrameMenu: return; // the surface has its edge
  case PE_IndicatorCheckBox: {
    const Colors colors = colorsFor(widget);
    const QRectF box = QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool on = (option->state & (State_On | State_NoChange)) != 0;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if ((option->state & State_Enabled) == 0)
      painter->setOpacity(0.45);
    const QPainterPath shape = DropDesign::roundedRect(box, 3.5);
    painter->fillPath(shape, on ? colors.checkedFill : colors.controlFill);
    if (!on)
      painter->strokePath(shape, QPen(colors.controlEdge, 1));
    if ((option->state & State_On) != 0)
      strokeCheckMark(*painter, box, colors.checkMark);
    else if ((option->state & State_NoChange) != 0)
      painter->fillRect(
          QRectF(box.left() + box.width() * 0.25, box.center().y() - 0.75, box.width() * 0.5, 1.5),
          colors.checkMark);
    painter->restore();
    return;
  }
  case PE_FrameFocusRect: {
    // Only for focus the keyboard brought.
    if ((option->state & State_KeyboardFocusChange) == 0)
      return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->strokePath(DropDesign::roundedRect(QRectF(option->rect).adjusted(0.5, 0.5, -0.5, -0.5), 4),
                        QPen(colorsFor(widget).focusRing, 1));
    painter->restore();
    return;
  }
  default: QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
}

void DropStandardStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const {
  switch (element) {
  case CE_MenuItem: drawMenuItem(option, painter, widget); return;
  case CE_MenuEmptyArea: return; // the surface is already there
  case CE_MenuBarEmptyArea: painter->fillRect(option->rect, colorsFor(widget).barSurface); return;
  case CE_MenuBarItem: drawMenuBarItem(option, painter, widget); return;
  default: QProxyStyle::drawControl(element, option, painter, widget);
  }
}

void DropStandardStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                           QPainter* painter, const QWidget* widget) const {
  if (control == CC_ComboBox && qstyleoption_cast<const QStyleOptionComboBox*>(option) != nullptr) {
    drawComboBox(option, painter, widget);
    return;
  }
  if (control == CC_ScrollBar && thinBar(widget)) {
    drawScrollBar(option, painter, widget);
    return;
  }
  QProxyStyle::drawComplexControl(control, option, painter, widget);
}

void DropStandardStyle::drawMenuItem(const QStyleOption* option, QPainter* painter,
                                     const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (item == nullptr)
    return;
  const Colors colors = colorsFor(widget);
  const QRectF row(item->rect);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  if (item->menuItemType == QStyleOptionMenuItem::Separator) {
    const qreal y = std::floor(row.center().y()) + 0.5;
    painter->setPen(QPen(colors.popupEdge, 1));
    painter->drawLine(QPointF(row.left() + DropMenuRowStyle::padding, y),
                      QPointF(row.right() - DropMenuRowStyle::padding, y));
    painter->restore();
    return;
  }
  const bool enabled = (item->state & State_Enabled) != 0;
  if (enabled && (item->state & State_Selected) != 0)
    paintRowFill(*painter, row,
                 (item->state & State_Sunken) != 0
                     ? DropMenuRowStyle::fill(UiEnvironment::instance().schemeOf(widget), true)
                     : colors.rowFill);
  if (!enabled)
    painter->setOpacity(DropMenuRowStyle::disabledOpacity);
  QRectF content = row.adjusted(DropMenuRowStyle::padding, 0, -DropMenuRowStyle::padding, 0);
  // Check marks and icons share one column before the labels.
  if (item->menuHasCheckableItems || item->maxIconWidth > 0) {
    const QRectF mark(content.left(), row.center().y() - 7, 14, 14);
    if (item->checked)
      strokeCheckMark(*painter, mark, colors.text);
    else if (!item->icon.isNull())
      item->icon.paint(painter, mark.toAlignedRect());
    content.setLeft(content.left() + kCheckColumn + 4);
  }
  if (item->menuItemType == QStyleOptionMenuItem::SubMenu) {
    const QRectF arrow(content.right() - kSubmenuArrow, row.center().y() - 5, 6, 10);
    QPainterPath chevron;
    chevron.moveTo(arrow.topLeft());
    chevron.lineTo(arrow.right(), arrow.center().y());
    chevron.lineTo(arrow.bottomLeft());
    painter->strokePath(chevron, QPen(colors.secondaryText, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    content.setRight(content.right() - kSubmenuArrow - kShortcutGap);
  }
  const QStringList parts = item->text.split(QLatin1Char('\t'));
  painter->setFont(menuFont());
  const int mnemonic =
      proxy()->styleHint(SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  if (parts.size() > 1) {
    painter->setPen(colors.secondaryText);
    painter->drawText(content, Qt::AlignVCenter | Qt::AlignRight | Qt::TextSingleLine, parts.value(1));
  }
  painter->setPen(colors.text);
  painter->drawText(content, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine | mnemonic,
                    parts.value(0));
  painter->restore();
}

void DropStandardStyle::drawMenuBarItem(const QStyleOption* option, QPainter* painter,
                                        const QWidget* widget) const {
  const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
  if (item == nullptr)
    return;
  const Colors colors = colorsFor(widget);
  painter->save();
  painter->fillRect(item->rect, colors.barSurface);
  const bool enabled = (item->state & State_Enabled) != 0;
  // The title under the pointer, or whose menu is open, as a menu row is lit.
  if (enabled && (item->state & (State_Selected | State_Sunken)) != 0)
    paintRowFill(*painter, QRectF(item->rect).adjusted(1, 2, -1, -2),
                 (item->state & State_Sunken) != 0
                     ? DropMenuRowStyle::fill(UiEnvironment::instance().schemeOf(widget), true)
                     : colors.rowFill);
  if (!enabled)
    painter->setOpacity(DropMenuRowStyle::disabledOpacity);
  const int mnemonic =
      proxy()->styleHint(SH_UnderlineShortcut, item, widget) ? Qt::TextShowMnemonic : Qt::TextHideMnemonic;
  painter->setFont(menuFont());
  painter->setPen(colors.text);
  painter->drawText(item->rect, Qt::AlignCenter | Qt::TextSingleLine | mnemonic, item->text);
  painter->restore();
}

void DropStandardStyle::drawComboBox(const QStyleOptionComplex* option, QPainter* painter,
                                     const QWidget* widget) const {
  const Colors colors = colorsFor(widget);
  const QRectF box = QRectF(option->rect).adjusted(1, 1, -1, -1);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  if ((option->state & State_Enabled) == 0)
    painter->setOpacity(0.45);
  const QPainterPath shape = DropDesign::roundedRect(box, controlRadius);
  painter->fillPath(shape, colors.controlFill);
  if ((option->state & State_MouseOver) != 0 && (option->state & State_Enabled) != 0)
    painter->fillPath(shape, colors.rowFill);
  painter->strokePath(DropDesign::roundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), controlRadius - 0.5),
                      QPen(colors.controlEdge, 1));
  if ((option->state & State_HasFocus) != 0 && (option->state & State_KeyboardFocusChange) != 0)
    DropFocusRing::stroke(*painter,
                          DropDesign::roundedRect(box.adjusted(-0.5, -0.5, 0.5, 0.5), controlRadius + 0.5),
                          colors.focusRing);
  const QRect arrow = proxy()->subControlRect(CC_ComboBox, option, SC_ComboBoxArrow, widget);
  DropSymbols::paint(*painter, QStringLiteral("chevron.down"), QRectF(arrow), 9, QFont::Medium, colors.text);
  painter->restore();
}

void DropStandardStyle::drawScrollBar(const QStyleOptionComplex* option, QPainter* painter,
                                      const QWidget* widget) const {
  const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
  if (bar == nullptr || bar->maximum <= bar->minimum)
    return;
  const QRect thumb = subControlRect(CC_ScrollBar, option, SC_ScrollBarSlider, widget);
  const QRectF capsule(thumb.center().x() - kThumbWidth / 2.0 + 0.5, thumb.top() + 2, kThumbWidth,
                       thumb.height() - 4);
  painter->save();
  painter->setRenderHint(QPainter::Antialiasing);
  painter->fillPath(DropDesign::roundedRect(capsule, kThumbWidth / 2.0), colorsFor(widget).scrollThumb);
  painter->restore();
}

} // namespace brindlewick
