#pragma once

#include "ui/design/DropButton.h"
#include "ui/design/DropDesign.h"

#include <QUrl>
#include <QWidget>

class QLabel;

namespace brindlewick {

class DropTextBlock;
class ReaderModel;

// The sign-in page's address, shown with the code for as long as one is shown: as plain,
// selectable text with a button that copies it, so that a reader whose browser did not open
// (none installed, none answering) can open the page in a browser elsewhere (another
// computer, a phone) and approve the code that stays on screen.
class SignInAddress : public QWidget {
  Q_OBJECT

public:
  static inline const QString copyTitle = QStringLiteral("Copy address");
  static inline const QString copiedTitle = QStringLiteral("Copied");
  static inline const QString captionText =
      QStringLiteral("Or open this address in a browser, here or on another device:");
  // Once the browser answered that it could not open the page.
  static inline const QString failedCaptionText =
      QStringLiteral("No browser opened. Open this address in a browser, here or on another device:");
  // The same for a page on this computer's own loopback address (a service running here, such
  // as the local stand-in), which no other device reaches.
  static inline const QString localCaptionText =
      QStringLiteral("Or open this address in a browser on this computer:");
  static inline const QString localFailedCaptionText =
      QStringLiteral("No browser opened. Open this address in a browser on this computer:");

  // The line above `page`, before and after the browser answered that it could not open it.
  static QString captionFor(const QUrl& page, bool browserFailed);

  // `color` is the address's; the line above it takes `captionColor`. Both lines take
  // `alignment`. The copy button takes `copyStyle`.
  SignInAddress(ReaderModel& model, DropDesign::ColorFor color, DropDesign::ColorFor captionColor,
                DropButtonStyle copyStyle, Qt::Alignment alignment = Qt::AlignLeft,
                QWidget* parent = nullptr);

  // Whether the model holds a pending sign-in with a code on show and a page to open.
  static bool needed(const ReaderModel& model);
  // Whether, with the address on show, the browser answered that it could not open it.
  static bool browserFailed(const ReaderModel& model);
  // The address shown; empty while hidden.
  QString address() const;
  QString caption() const;
  // The room the copy button draws in around its shape (shadow, focus ring), which the widget
  // keeps free at its edges: a host lines the address up with its column by placing the widget
  // that much beyond its cell (ShapeLayoutItem).
  QMargins copyButtonRoom() const { return m_copy->shapeMargins(); }

private:
  void refresh();
  void copy();

  ReaderModel& m_model;
  DropTextBlock* m_caption;
  QLabel* m_address;
  DropButton* m_copy;
};

} // namespace brindlewick
