#include "ui/reading/DetailView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/card/BookLine.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/ButtonShortcut.h"
#include "ui/design/CategoryAccent.h"
#include "ui/design/CollectionButton.h"
#include "ui/design/DropAccessibility.h"
#include "ui/design/DropArticleSection.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropEmptyState.h"
#include "ui/design/DropEyebrow.h"
#include "ui/design/DropTextBlock.h"
#include "ui/library/SnapshotNotice.h"
#include "ui/reading/ReadingText.h"
#include "ui/reading/RelatedIdeaButton.h"
#include "ui/reading/SourceRow.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include <cmath>

namespace brindlewick {

namespace {

const QString kEmptyTitle = QStringLiteral("An idea, in full");
const QString kEmptyMessage = QStringLiteral("Choose an idea from Discover, Saved, or Recently Seen.");

QFont::Weight pageWeight(const UiTraits& traits) {
  return traits.boldText ? QFont::DemiBold : QFont::Normal;
}

// The page's text at `size` × the reader's scale, with `spacing` between its lines.
ReadingText* pageText(const QString& text, qreal size, qreal spacing = 0, bool secondary = false) {
  auto* block = new ReadingText(text);
  block->setTextStyle([size, spacing, secondary](const UiTraits& traits) {
    return ReadingText::Style{DropFonts::rounded(size, pageWeight(traits)), spacing, secondary};
  });
  return block;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
  auto* layout = new QVBoxLayout(owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

} // namespace

DetailView::DetailView(ReaderModel& model, std::optional<DropSnapshot> snapshot, QWidget* parent)
    : QWidget(parent), m_model(&model), m_snapshot(std::move(snapshot)), m_root(column(this, 0)) {
  setObjectName(QStringLiteral("detail"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);

  // Each key presses its button, so a disabled button (a collection request running)
  // ignores it. Owned by the page, the keys go with it on a change of tab.
  ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::Key_BracketLeft), [this] { return m_back; });
  ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L), [this] { return m_love; });
  ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::Key_S), [this] { return m_save; });

  const auto follow = [this] { refresh(false); };
  connect(&model, &ReaderModel::storageHealthyChanged, this, follow);
  connect(&model, &ReaderModel::savedSnapshotsChanged, this, follow);
  connect(&model, &ReaderModel::lovedSnapshotsChanged, this, follow);
  connect(&model.account(), &AccountController::isSignedInChanged, this, follow);
  connect(&model.preferences(), &PreferencesStore::valueChanged, this, follow);
  // Another release can withdraw, correct or add the ideas the page names.
  const auto rebuild = [this] { refresh(true); };
  connect(&model.repository(), &ContentRepository::releaseChanged, this, rebuild);
  connect(&model.repository(), &ContentRepository::withdrawalsChanged, this, rebuild);
  refresh(true);
}

DetailView::~DetailView() = default;

qreal DetailView::articleLineSpacing(double textScale) {
  return std::round(textScale * bodySize * 0.3);
}

qreal DetailView::explanationLineSpacing(double textScale) {
  return std::round(textScale * explanationSize * 0.12);
}

QString DetailView::groundingLabel(EpistemicStatus status) {
  QStringList words = rawValue(status).split(QLatin1Char('_'));
  for (QString& word : words) {
    word = word.toLower();
    if (!word.isEmpty())
      word[0] = word[0].toUpper();
  }
  return words.join(QLatin1Char(' '));
}

DetailView::Attribution DetailView::bookAttribution(const Book& book, const DropSnapshot& snapshot) {
  // The card's book lines follow the same rule.
  const std::optional<BookLine::Link> link = BookLine::link(snapshot, book);
  return Attribution{book.title, link ? std::optional<QUrl>(link->url) : std::nullopt,
                     book.authors.join(QStringLiteral(", "))};
}

DetailView::Shape DetailView::currentShape() const {
  Shape shape;
  if (!m_model)
    return shape;
  shape.readable = m_snapshot && m_model->canRead(*m_snapshot);
  shape.fullLibrary = m_model->storageHealthy() && m_model->account().isSignedIn();
  shape.textScale = m_model->preferences().value().textScale;
  return shape;
}

void DetailView::refresh(bool force) {
  const Shape shape = currentShape();
  if (!force && m_shape == shape)
    return;
  m_shape = shape;
  if (m_shown) {
    // One of its buttons may be what changed the page: it goes once that press is over.
    m_root->removeWidget(m_shown);
    m_shown->hide();
    m_shown->deleteLater();
  }
  m_empty = nullptr;
  m_article = nullptr;
  m_back = nullptr;
  m_explanation = nullptr;
  m_love = m_save = nullptr;
  m_related.clear();
  if (shape.readable) {
    m_shown = m_article = buildArticle(*m_snapshot, shape);
  } else {
    m_empty = new DropEmptyState(QStringLiteral("book"), kEmptyTitle, kEmptyMessage, QString());
    // The empty page offers nothing to do: the sidebar is where the reader goes next.
    m_empty->actionButton()->hide();
    m_shown = m_empty;
  }
  m_root->addWidget(m_shown);
  // Shown now rather than once the event loop gets to it: the page is measured at once.
  m_shown->show();
}

QWidget* DetailView::buildArticle(const DropSnapshot& snapshot, const Shape& shape) {
  const double scale = shape.textScale;
  const Category category = snapshot.lore.category;
  auto* page = new QWidget;
  auto* stack = column(page, 24);
  stack->setContentsMargins(padding, padding, padding, padding);

  stack->addLayout(backBar(snapshot, shape));
  new SnapshotNotice(*m_model, snapshot, stack);
  stack->addWidget(header(snapshot, scale));
  stack->addWidget(AccountText::divider(0.1));

  const auto article = [&](const QString& title, const QString& text) {
    auto* section = new DropArticleSection(title, std::nullopt);
    section->caption()->setColor(
        [category](const UiTraits& traits) { return accent(category, traits.scheme); });
    section->setContent(pageText(text, bodySize * scale, articleLineSpacing(scale)));
    stack->addWidget(section);
  };
  if (snapshot.lore.commonBelief)
    article(QStringLiteral("The common belief"), *snapshot.lore.commonBelief);
  article(QStringLiteral("The idea in full"), snapshot.lore.longExplanation);
  article(QStringLiteral("Why it is surprising"), snapshot.lore.whySurprising);
  stack->addWidget(AccountText::divider(0.1));

  auto* sources = new DropArticleSection(QStringLiteral("Sources"), std::nullopt);
  auto* rows = new QWidget;
  auto* rowStack = column(rows, 16);
  for (const Source& source : snapshot.sources)
    rowStack->addWidget(new SourceRow(source, detailSize * scale));
  sources->setContent(rows);
  stack->addWidget(sources);

  if (QWidget* more = related(snapshot, shape)) {
    stack->addWidget(AccountText::divider(0.1));
    stack->addWidget(more);
  }
  stack->addStretch(1);
  // Every text of the page can be selected, the section titles too.
  for (DropArticleSection* section : page->findChildren<DropArticleSection*>())
    section->caption()->setSelectable(true);
  return page;
}

QLayout* DetailView::backBar(const DropSnapshot& snapshot, const Shape& shape) {
  // A row of the page itself, not a widget of its own: the buttons' shadows reach into the
  // page's padding instead of being clipped at the row's edges.
  auto* row = new QHBoxLayout;
  const bool full = shape.fullLibrary;
  m_back =
      new DropButton(full ? QStringLiteral("Library") : QStringLiteral("Your collection"), dropControl({}));
  m_back->setSymbol(QStringLiteral("chevron.left"));
  DropAccessibility::describe(m_back, QStringLiteral("detail.back"), m_back->text());
  connect(m_back, &QAbstractButton::clicked, this, [this, full] {
    if (m_model)
      m_model->setNavigationTab(full ? ReaderTab::discover : ReaderTab::saved);
  });
  m_love = new CollectionButton(*m_model, snapshot, CollectionButton::Action::love, false, false,
                                QStringLiteral("detail"));
  m_save = new CollectionButton(*m_model, snapshot, CollectionButton::Action::save, false, false,
                                QStringLiteral("detail"));
  row->addWidget(m_back);
  row->addStretch(1);
  row->addWidget(m_love);
  row->addWidget(m_save);
  return row;
}

QWidget* DetailView::header(const DropSnapshot& snapshot, double scale) {
  auto* block = new QWidget;
  auto* stack = column(block, 14);
  auto* eyebrow = new DropEyebrow(snapshot.lore.category, rawValue(snapshot.lore.kind), false);
  eyebrow->setObjectName(QStringLiteral("detail.eyebrow"));
  eyebrow->setSelectable(true);
  stack->addWidget(eyebrow);

  m_explanation = new ReadingText(snapshot.lore.explanation);
  m_explanation->setTextStyle([scale](const UiTraits&) {
    return ReadingText::Style{DropFonts::display(explanationSize * scale, QFont::Medium),
                              explanationLineSpacing(scale)};
  });
  m_explanation->setObjectName(QStringLiteral("detail.explanation"));
  m_explanation->setAccessibleName(snapshot.lore.explanation);
  AccessibleRole::set(m_explanation, QAccessible::Heading);
  stack->addWidget(m_explanation);

  auto* facts = new QWidget;
  auto* factStack = column(facts, 4);
  for (const Book& book : snapshot.books) {
    const Attribution attribution = bookAttribution(book, snapshot);
    auto* line = pageText({}, detailSize * scale, 0, true);
    line->setLeadingSymbol(QStringLiteral("book.closed"));
    line->setRuns({ReadingText::Run{attribution.title, attribution.link},
                   ReadingText::Run{QStringLiteral(" \u00B7 ") + attribution.authors}});
    line->setObjectName(QStringLiteral("detail.book"));
    factStack->addWidget(line);
  }
  auto* grounding = pageText(groundingLabel(snapshot.lore.epistemicStatus), detailSize * scale, 0, true);
  grounding->setObjectName(QStringLiteral("detail.grounding"));
  factStack->addWidget(grounding);
  stack->addWidget(facts);
  return block;
}

QWidget* DetailView::related(const DropSnapshot& snapshot, const Shape& shape) {
  if (!shape.fullLibrary)
    return nullptr;
  QList<DropSnapshot> kept;
  for (const QString& id : snapshot.lore.relatedLoreIds) {
    if (std::optional<DropSnapshot> found = m_model->repository().snapshot(id))
      kept.append(*found);
  }
  if (kept.isEmpty())
    return nullptr;
  auto* section = new DropArticleSection(QStringLiteral("Keep exploring"), std::nullopt);
  auto* list = new QWidget;
  auto* stack = column(list, 10);
  for (const DropSnapshot& idea : kept) {
    auto* button = new RelatedIdeaButton(idea.lore.headline);
    DropAccessibility::describe(button, QStringLiteral("detail.related.") + idea.id(), idea.lore.headline);
    connect(button, &QAbstractButton::clicked, this, [this, idea] { openRelated(idea); });
    // Its height for its width, however much room the column has.
    stack->addWidget(button, 0, Qt::AlignLeft | Qt::AlignTop);
    m_related.append(button);
  }
  // The buttons line up with the caption; their shadows reach into the page's padding.
  section->setContent(list, m_related.first()->shapeMargins());
  return section;
}

void DetailView::openRelated(const DropSnapshot& related) {
  if (!m_model || !m_model->canRead(related))
    return;
  m_model->panel().dismiss(true);
  if (m_model->openWindow())
    m_model->openWindow()(ReaderTab::read, related);
}

} // namespace brindlewick
