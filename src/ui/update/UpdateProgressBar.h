#pragma once

#include <QWidget>

namespace brindlewick {

// A thin capsule that fills from the leading edge as a download proceeds; with no total it
// shows a full, faint track (work whose length is unknown, such as a check).
class UpdateProgressBar : public QWidget {
  Q_OBJECT
  Q_PROPERTY(double fraction READ fraction WRITE setFraction NOTIFY fractionChanged)

public:
  explicit UpdateProgressBar(QWidget* parent = nullptr);

  // 0 to 1; a negative value for no known total.
  double fraction() const { return m_fraction; }
  void setFraction(double fraction);

  QSize sizeHint() const override;

Q_SIGNALS:
  void fractionChanged();

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  double m_fraction = 0;
};

} // namespace brindlewick
