#pragma once

#include "ui/design/DropDesign.h"

#include <QWidget>

class QLabel;

namespace brindlewick {

class ReaderModel;

// The sign-in page's address, for when this computer could not open it in a browser: shown
// as plain, selectable text under the code, so the reader can open it in a browser elsewhere
// (another computer, a phone) and approve the code that stays on screen.
class SignInAddress : public QWidget {
  Q_OBJECT

public:
  // `color` is the address's; the line above it takes `captionColor`. Both lines take
  // `alignment`.
  SignInAddress(ReaderModel& model, DropDesign::ColorFor color, DropDesign::ColorFor captionColor,
                Qt::Alignment alignment = Qt::AlignLeft, QWidget* parent = nullptr);

  // Whether the model holds a sign-in page its browser could not open.
  static bool needed(const ReaderModel& model);
  // The address shown; empty while hidden.
  QString address() const;

private:
  void refresh();

  ReaderModel& m_model;
  QLabel* m_address;
};

} // namespace brindlewick
