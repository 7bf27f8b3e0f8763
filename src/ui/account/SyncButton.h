#pragma once

#include "ui/design/DropButton.h"

#include <QBasicTimer>

namespace brindlewick {

class ReaderModel;

// "Sync now" of the account card: starts the model's sync and shows it running with a
// spinner and "Syncing…", whoever started it. Enabled only with a stored session, an idle
// account service and no sync running. The model keeps the sync: the button may go away
// while it runs.
class SyncButton : public DropButton {
  Q_OBJECT

public:
  static inline const QString title = QStringLiteral("Sync now");
  static inline const QString busyTitle = QStringLiteral("Syncing…");
  static inline const QString symbolName = QStringLiteral("arrow.triangle.2.circlepath");

  explicit SyncButton(ReaderModel& model, QWidget* parent = nullptr);

  // The shortcut hint of the application's sync command, as this desktop writes it.
  static QString shortcutHint();
  static QString helpText();
  bool showsProgress() const { return m_refreshing; }

protected:
  qreal naturalLabelWidth(const QFont& font) const override;
  void paintLabel(QPainter& painter, const QRectF& content, const QColor& color, const QFont& font) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

private:
  void refreshState();
  void updateTimer();

  ReaderModel& m_model;
  bool m_refreshing = false;
  int m_phase = 0;
  QBasicTimer m_timer;
};

} // namespace brindlewick
