#pragma once

#include "account/AccountContracts.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace brindlewick {

class DropTextBlock;
class ReaderModel;

// Stand-ins for the reader window's pages until the real ones land (see
// ReaderPageFactories.h, the one place that chooses them). Each is small but honest: it
// says which page it stands for and offers the one action the window cannot do without.

// A page of the workspace: its title in the display face over one line of plain text. The
// dashboard's stand-in also shows the width it was told (availableWidth).
class PlaceholderPage : public QWidget {
  Q_OBJECT
  Q_PROPERTY(qreal availableWidth READ availableWidth WRITE setAvailableWidth)

public:
  PlaceholderPage(const QString& title, const QString& caption, QWidget* parent = nullptr);

  qreal availableWidth() const { return m_availableWidth; }
  void setAvailableWidth(qreal width);

private:
  QString m_caption;
  qreal m_availableWidth = 0;
  DropTextBlock* m_captionBlock;
};

} // namespace brindlewick
