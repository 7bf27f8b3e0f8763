#include "panel/FixturePanel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QToolButton>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

// Secondary text on the dark scheme: white at 55 %.
const QColor secondaryText = QColor::fromRgbF(1, 1, 1, 0.55f);
const QColor primaryText = Qt::white;

QFont systemFont(int pixelSize, QFont::Weight weight) {
  QFont font;
  font.setPixelSize(pixelSize);
  font.setWeight(weight);
  return font;
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, Qt::Alignment alignment,
              QWidget* parent) {
  auto* result = new QLabel(parent);
  result->setTextFormat(Qt::PlainText);
  result->setText(text);
  result->setFont(font);
  result->setAlignment(alignment);
  result->setWordWrap(true);
  QPalette palette = result->palette();
  palette.setColor(QPalette::WindowText, color);
  result->setPalette(palette);
  return result;
}

// A small drawn cross, so the button needs no icon theme.
QIcon crossIcon(const QColor& color) {
  QPixmap pixmap(QSize(18, 18));
  pixmap.setDevicePixelRatio(2);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(1.5, 1.5), QPointF(7.5, 7.5));
  painter.drawLine(QPointF(7.5, 1.5), QPointF(1.5, 7.5));
  return QIcon(pixmap);
}

} // namespace

FixturePanel::FixturePanel(std::function<void()> dismiss, QWidget* parent)
    : QWidget(parent), m_dismiss(std::move(dismiss)) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(24, 18, 24, 18);
  column->setSpacing(14);

  auto* header = new QHBoxLayout;
  QFont captionFont = systemFont(10, QFont::DemiBold);
  captionFont.setLetterSpacing(QFont::AbsoluteSpacing, 1.4);
  m_caption = label(tr("BRINDLEWICK · PROTOTYPE"), captionFont, captionColor(),
                    Qt::AlignLeft | Qt::AlignVCenter, this);
  m_caption->setWordWrap(false);
  m_closeButton = new QToolButton(this);
  m_closeButton->setAutoRaise(true);
  m_closeButton->setFocusPolicy(Qt::NoFocus);
  m_closeButton->setIcon(crossIcon(primaryText));
  m_closeButton->setIconSize(QSize(9, 9));
  m_closeButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
  m_closeButton->setAccessibleName(tr("Dismiss prototype"));
  m_closeButton->setToolTip(tr("Dismiss prototype"));
  connect(m_closeButton, &QToolButton::clicked, this, [this] {
    if (m_dismiss)
      m_dismiss();
  });
  header->addWidget(m_caption, 0, Qt::AlignVCenter);
  header->addStretch(1);
  header->addWidget(m_closeButton, 0, Qt::AlignVCenter);
  column->addLayout(header);

  column->addStretch(1);
  m_title = label(tr("A quiet moment, without taking focus."), systemFont(22, QFont::Bold), primaryText,
                  Qt::AlignCenter, this);
  column->addWidget(m_title);
  m_note =
      label(tr("Fixture text only. This gate tests safe display geometry and a nonactivating panel—not the "
               "reader or delivery schedule."),
            systemFont(12, QFont::Normal), secondaryText, Qt::AlignCenter, this);
  column->addWidget(m_note);
  column->addStretch(1);
  m_footer = label(tr("Dismiss here or from the menu bar."), systemFont(10, QFont::Normal), secondaryText,
                   Qt::AlignCenter, this);
  m_footer->setWordWrap(false);
  column->addWidget(m_footer, 0, Qt::AlignHCenter);
}

void FixturePanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), backgroundColor());
}

} // namespace brindlewick
