#pragma once

#include "TestOutput.h"
#include "ui/design/DropDesign.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropStandardWidgets.h"
#include "ui/design/UiEnvironment.h"

#include <QApplication>
#include <QImage>
#include <QLayout>
#include <QList>
#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace brindlewick::testing {

// Pictures of live widgets for a person to look at: each state is captured as it stands, in
// the light and the dark scheme side by side, under a caption, on the window's backdrop.
class ContactSheet {
public:
  static constexpr qreal ratio = 2;

  // Registers the typefaces and draws end states: a fade would catch widgets half shown.
  ContactSheet() {
    DropFonts::registerFonts();
    QApplication::setFont(DropFonts::rounded(DropFonts::bodySize).font());
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
  }
  ~ContactSheet() { UiEnvironment::instance().setOverrides({}); }
  ContactSheet(const ContactSheet&) = delete;
  ContactSheet& operator=(const ContactSheet&) = delete;

  // Lays `widget` out `width` wide (its height for that width) and captures it in both schemes.
  void add(const QString& caption, QWidget& widget, int width) {
    Row row{caption, {}};
    for (const ColorScheme scheme : {ColorScheme::light, ColorScheme::dark}) {
      UiEnvironment::instance().setOverrides({.scheme = scheme, .reduceMotion = true});
      DropStandardWidgets::refresh(&widget);
      // Shown and hidden children re-lay their parents out through posted requests.
      QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
      if (QLayout* layout = widget.layout())
        layout->activate();
      const int height =
          widget.hasHeightForWidth() ? widget.heightForWidth(width) : widget.sizeHint().height();
      widget.resize(width, std::max(height, widget.minimumSizeHint().height()));
      if (QLayout* layout = widget.layout())
        layout->activate();
      QImage image((QSizeF(widget.size()) * ratio + QSizeF(2 * margin, 2 * margin) * ratio).toSize(),
                   QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(ratio);
      QPainter painter(&image);
      DropDesign::paintWorkspaceBackground(painter, QRectF(QPointF(), QSizeF(image.size()) / ratio), scheme);
      widget.render(&painter, QPoint(margin, margin), QRegion(), QWidget::DrawChildren);
      row.pictures.append(image);
    }
    UiEnvironment::instance().setOverrides({.reduceMotion = true});
    m_rows.append(row);
  }

  void write(const QString& fileName) const {
    int width = 0;
    int height = 0;
    for (const Row& row : m_rows) {
      width = std::max(width, int(row.pictures[0].width() / ratio + row.pictures[1].width() / ratio));
      height += captionHeight + int(std::max(row.pictures[0].height(), row.pictures[1].height()) / ratio);
    }
    QImage sheet(QSize(width, height) * ratio, QImage::Format_ARGB32_Premultiplied);
    sheet.setDevicePixelRatio(ratio);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.setFont(DropFonts::rounded(12, QFont::DemiBold).font());
    int y = 0;
    for (const Row& row : m_rows) {
      painter.setPen(Qt::black);
      painter.drawText(QRect(8, y, width - 16, captionHeight), Qt::AlignVCenter, row.caption);
      y += captionHeight;
      painter.drawImage(QPointF(0, y), row.pictures[0]);
      painter.drawImage(QPointF(row.pictures[0].width() / ratio, y), row.pictures[1]);
      y += int(std::max(row.pictures[0].height(), row.pictures[1].height()) / ratio);
    }
    painter.end();
    sheet.save(testOutputPath(fileName));
  }

private:
  static constexpr int margin = 16;
  static constexpr int captionHeight = 24;
  struct Row {
    QString caption;
    QList<QImage> pictures;
  };
  QList<Row> m_rows;
};

} // namespace brindlewick::testing
