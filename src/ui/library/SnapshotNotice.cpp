#include "ui/library/SnapshotNotice.h"

#include "model/ReaderModel.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropNotice.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brindlewick {

SnapshotNotice::SnapshotNotice(ReaderModel& model, const DropSnapshot& snapshot, QBoxLayout* into)
    : QObject(into), m_model(&model), m_snapshot(snapshot),
      m_withdrawal(new DropNotice({}, QStringLiteral("exclamationmark.triangle"), DropNotice::Tone::info)),
      m_correction(new QWidget),
      m_correctionNotice(new DropNotice({}, QStringLiteral("arrow.triangle.2.circlepath"),
                                        DropNotice::Tone::info, m_correction)),
      m_open(new DropButton(dropControl({}), m_correction)) {
  auto* block = new QVBoxLayout(m_correction);
  block->setContentsMargins(0, 0, 0, 0);
  block->setSpacing(6);
  block->addWidget(m_correctionNotice);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(m_open);
  buttonRow->addStretch(1);
  block->addLayout(buttonRow);
  m_open->setFocusPolicy(Qt::TabFocus);
  into->addWidget(m_withdrawal);
  into->addWidget(m_correction);
  connect(m_open, &QAbstractButton::clicked, this, [this] {
    if (m_model && m_current && m_model->openWindow())
      m_model->openWindow()(ReaderTab::read, m_current);
  });
  const auto changed = [this] { refresh(); };
  connect(&model.repository(), &ContentRepository::withdrawalsChanged, this, changed);
  connect(&model.repository(), &ContentRepository::releaseChanged, this, changed);
  connect(&model, &ReaderModel::storageHealthyChanged, this, changed);
  connect(&model.account(), &AccountController::isSignedInChanged, this, changed);
  refresh();
}

QString SnapshotNotice::withdrawnText(const QString& reason) {
  // A reason written as a sentence keeps its own full stop rather than gaining a second.
  QString sentence = reason;
  while (!sentence.isEmpty() && sentence.back().isSpace())
    sentence.chop(1);
  static const QString stops = QStringLiteral(".!?\u2026");
  if (sentence.isEmpty() || !stops.contains(sentence.back()))
    sentence += QLatin1Char('.');
  return QStringLiteral("Withdrawn from delivery: ") + sentence +
         QStringLiteral(" Your snapshot remains available.");
}

QString SnapshotNotice::correctedText(qint64 keptRevision) {
  return QStringLiteral("A corrected revision is available. You are reading revision ") +
         QString::number(keptRevision) + QStringLiteral("; your saved text is unchanged.");
}

QString SnapshotNotice::openTitle(qint64 currentRevision) {
  return QStringLiteral("Open corrected revision ") + QString::number(currentRevision);
}

void SnapshotNotice::refresh() {
  if (!m_model)
    return;
  const ContentRepository& repository = m_model->repository();
  const auto reason = repository.withdrawals().constFind(m_snapshot.id());
  const bool withdrawn = reason != repository.withdrawals().constEnd();
  if (withdrawn)
    m_withdrawal->setText(withdrawnText(*reason));
  m_withdrawal->setVisible(withdrawn);

  m_current = repository.snapshot(m_snapshot.id());
  if (m_current && m_current->lore.revision <= m_snapshot.lore.revision)
    m_current.reset();
  if (m_current) {
    m_correctionNotice->setText(correctedText(m_snapshot.lore.revision));
    m_open->setText(openTitle(m_current->lore.revision));
    // Its whole title, always: a layout hands a painted button a little less than it asks.
    m_open->setMinimumWidth(m_open->sizeHint().width());
  }
  m_open->setVisible(m_current && m_model->storageHealthy() && m_model->account().isSignedIn());
  m_correction->setVisible(m_current.has_value());
}

} // namespace brindlewick
