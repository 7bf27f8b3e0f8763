#include "ui/library/LibraryRow.h"

#include "model/ReaderModel.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/DropEyebrow.h"
#include "ui/design/DropFonts.h"
#include "ui/design/DropSymbolView.h"
#include "ui/design/DropTextBlock.h"
#include "ui/library/InstalledRevisions.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr qreal kCalloutSize = 12;
constexpr qreal kCaptionSize = 10;

QString withdrawnBadge(const QString& reason) {
  return QStringLiteral("Withdrawn: ") + reason;
}

const QString kCorrectedBadge = QStringLiteral("Corrected revision available. Your snapshot is unchanged.");

// A symbol at the top of a line of text beside it.
QWidget* symbolLine(DropSymbolView* symbol, DropTextBlock* text, QWidget* parent) {
  auto* line = new QWidget(parent);
  auto* layout = new QHBoxLayout(line);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(5);
  layout->addWidget(symbol, 0, Qt::AlignTop);
  layout->addWidget(text, 1);
  return line;
}

} // namespace

LibraryRow::LibraryRow(ReaderModel& model, const DropSnapshot& snapshot, QWidget* parent)
    : QWidget(parent), m_model(&model), m_snapshot(snapshot), m_eyebrow(new DropTextBlock({}, this)),
      m_explanation(new DropTextBlock({}, this)), m_books(new DropTextBlock({}, this)),
      m_badgeSymbol(new DropSymbolView(QStringLiteral("exclamationmark.triangle"), kCaptionSize + 1)),
      m_badge(new DropTextBlock({}, nullptr)) {
  m_eyebrow->setTextStyle([](const UiTraits& traits) { return DropEyebrow::style(false, traits); });
  m_explanation->setTextStyle(DropTextBlock::Style{DropFonts::display(17, QFont::Medium)});
  m_explanation->setLineSpacing(2);
  m_explanation->setMaximumLines(3);
  m_books->setTextStyle(DropTextBlock::Style{DropFonts::rounded(kCalloutSize)});
  m_books->setMaximumLines(2);
  m_badge->setTextStyle(DropTextBlock::Style{DropFonts::rounded(kCaptionSize)});
  const auto secondary = [](const UiTraits& traits) { return DropDesign::secondaryLabel(traits.scheme); };
  m_badge->setColor(secondary);
  m_badgeSymbol->setColor(secondary);
  auto* bookSymbol = new DropSymbolView(QStringLiteral("book.closed"), kCalloutSize);
  bookSymbol->setColor([this](const UiTraits& traits) {
    return DropDesign::withOpacity(accent(m_snapshot.lore.category, traits.scheme), 0.9);
  });
  m_books->setColor([this](const UiTraits& traits) {
    return DropDesign::withOpacity(accent(m_snapshot.lore.category, traits.scheme), 0.9);
  });
  m_explanation->setColor([](const UiTraits& traits) { return DropDesign::primaryLabel(traits.scheme); });
  m_badgeLine = symbolLine(m_badgeSymbol, m_badge, this);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(7);
  layout->addWidget(m_eyebrow);
  layout->addWidget(m_explanation);
  layout->addWidget(symbolLine(bookSymbol, m_books, this));
  layout->addWidget(m_badgeLine);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
  setAttribute(Qt::WA_TransparentForMouseEvents);

  InstalledRevisions::of(model.repository()); // before this row's handler below
  connect(&model.repository(), &ContentRepository::withdrawalsChanged, this, &LibraryRow::refreshBadge);
  connect(&model.repository(), &ContentRepository::releaseChanged, this, &LibraryRow::refreshBadge);
  setSnapshot(snapshot);
}

void LibraryRow::setSnapshot(const DropSnapshot& snapshot) {
  m_snapshot = snapshot;
  const Drop& drop = snapshot.lore;
  m_eyebrow->setText(DropEyebrow::caption(drop.category, rawValue(drop.kind)));
  m_eyebrow->setColor([category = drop.category](const UiTraits& traits) {
    return DropEyebrow::color(category, false, traits);
  });
  m_explanation->setText(drop.explanation);
  m_books->setText(booksText(snapshot));
  refreshBadge();
}

// Assistive technology reads the summary as one element of what it shows; the read button
// around it reads it.
void LibraryRow::describe() {
  QStringList shown{m_eyebrow->text(), m_explanation->text()};
  if (!m_books->text().isEmpty())
    shown.append(m_books->text());
  if (!m_badge->text().isEmpty())
    shown.append(m_badge->text());
  AccessibleRole::combine(this, shown.join(QStringLiteral(", ")));
}

QString LibraryRow::booksText(const DropSnapshot& snapshot) {
  QStringList books;
  for (const Book& book : snapshot.books)
    books.append(book.title + QStringLiteral(" \u2014 ") + book.authors.join(QStringLiteral(", ")));
  return books.join(QStringLiteral(" \u00B7 "));
}

QString LibraryRow::badgeText(const ReaderModel& model, const DropSnapshot& snapshot) {
  const ContentRepository& repository = model.repository();
  if (const auto reason = repository.withdrawals().constFind(snapshot.id());
      reason != repository.withdrawals().constEnd())
    return withdrawnBadge(*reason);
  // What snapshot(for:) would find, without walking the release: withdrawn drops were
  // answered above.
  if (const auto current = InstalledRevisions::of(repository).revision(snapshot.id());
      current && *current > snapshot.lore.revision)
    return kCorrectedBadge;
  return {};
}

void LibraryRow::refreshBadge() {
  const QString text = m_model ? badgeText(*m_model, m_snapshot) : QString();
  m_badge->setText(text);
  m_badgeSymbol->setName(text == kCorrectedBadge ? QStringLiteral("arrow.triangle.2.circlepath")
                                                 : QStringLiteral("exclamationmark.triangle"));
  m_badgeLine->setVisible(!text.isEmpty());
  describe();
}

} // namespace brindlewick
