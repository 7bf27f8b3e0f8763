#pragma once

#include "ui/design/UiEnvironment.h"

#include <QString>
#include <QWidget>

#include <optional>

namespace brindlewick {

class ReaderModel;

// The small block at the foot of the sidebar that says when the next drop comes and how
// often, or that drops are paused. It has no controls. Without usable storage, without a
// signed-in reader or without a planned delivery it is hidden and takes no space. It
// follows the model's signals; the model signals the label again at local midnight and
// after a clock or time-zone change, so "Tomorrow 09:00" becomes "09:00" without a timer here.
class SidebarNextDrop : public QWidget {
  Q_OBJECT

public:
  struct Status {
    QString title;
    QString detail;
    bool paused = false;

    friend bool operator==(const Status&, const Status&) = default;
  };

  explicit SidebarNextDrop(ReaderModel& model, QWidget* parent = nullptr);

  static std::optional<Status> status(const ReaderModel& model);
  const std::optional<Status>& shownStatus() const { return m_status; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  void refresh();

  ReaderModel& m_model;
  std::optional<Status> m_status;
};

} // namespace brindlewick
