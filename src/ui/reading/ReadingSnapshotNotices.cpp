#include "ui/reading/ReadingSnapshotNotices.h"

#include "model/ReaderModel.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropNotice.h"

#include <QBoxLayout>
#include <QPointer>

namespace brindlewick {

QString ReadingSnapshotNotices::withdrawnText(const QString& reason) {
  return QStringLiteral("Withdrawn from delivery: ") + reason + QStringLiteral(". Your snapshot remains available.");
}

QString ReadingSnapshotNotices::correctedText(qint64 keptRevision) {
  return QStringLiteral("A corrected revision is available. You are reading revision ") +
         QString::number(keptRevision) + QStringLiteral("; your saved text is unchanged.");
}

QString ReadingSnapshotNotices::openTitle(qint64 currentRevision) {
  return QStringLiteral("Open corrected revision ") + QString::number(currentRevision);
}

QList<QWidget*> ReadingSnapshotNotices::add(ReaderModel& model, const DropSnapshot& snapshot, QBoxLayout* into) {
  QList<QWidget*> added;
  const ContentRepository& repository = model.repository();
  if (const auto reason = repository.withdrawals().constFind(snapshot.id()); reason != repository.withdrawals().cend()) {
    added.append(new DropNotice(withdrawnText(*reason), QStringLiteral("exclamationmark.triangle"),
                                DropNotice::Tone::info));
    into->addWidget(added.last());
  }
  // A withdrawn drop has no current snapshot, so in practice the two never show together.
  const std::optional<DropSnapshot> current = repository.snapshot(snapshot.id());
  if (current && current->lore.revision > snapshot.lore.revision) {
    // A column of the caller's stack rather than a widget: the button's shadow reaches into
    // the page's padding instead of being clipped.
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    auto* notice = new DropNotice(correctedText(snapshot.lore.revision),
                                  QStringLiteral("arrow.triangle.2.circlepath"), DropNotice::Tone::info);
    column->addWidget(notice);
    added.append(notice);
    if (model.storageHealthy() && model.account().isSignedIn()) {
      auto* open = new DropButton(openTitle(current->lore.revision), dropControl({}));
      open->setObjectName(QStringLiteral("detail.openCorrected"));
      QObject::connect(open, &QAbstractButton::clicked, open, [model = QPointer(&model), current = *current] {
        if (model && model->openWindow())
          model->openWindow()(ReaderTab::read, current);
      });
      column->addWidget(open, 0, Qt::AlignLeft);
      added.append(open);
    }
    into->addLayout(column);
  }
  return added;
}

} // namespace brindlewick
