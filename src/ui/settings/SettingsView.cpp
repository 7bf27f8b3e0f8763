#include "ui/settings/SettingsView.h"

#include "model/ReaderModel.h"
#include "ui/account/AccountText.h"
#include "ui/account/AccountView.h"
#include "ui/design/AccessibleRole.h"
#include "ui/design/ButtonShortcut.h"
#include "ui/design/DropButton.h"
#include "ui/design/DropFocusRing.h"
#include "ui/design/DropReveal.h"
#include "ui/design/DropScreenHeader.h"
#include "ui/design/DropTextBlock.h"
#include "ui/design/ShapeLayoutItem.h"
#include "ui/settings/ReadingTimeRange.h"
#include "ui/settings/SettingsController.h"
#include "ui/settings/SettingsSaveBar.h"
#include "ui/settings/SettingsSection.h"
#include "ui/settings/SettingsWidgets.h"
#include "ui/settings/TopicGrid.h"
#include "ui/settings/TopicToggle.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace brindlewick {

namespace {

constexpr int pageInset = 24;

void setChecked(QCheckBox* box, bool checked) {
  const QSignalBlocker blocker(box);
  box->setChecked(checked);
}

QWidget* rowWidget(QLayout* row) {
  auto* widget = new QWidget;
  row->setContentsMargins(0, 0, 0, 0);
  widget->setLayout(row);
  return widget;
}

} // namespace

SettingsView::SettingsView(ReaderModel& model, QWidget* parent)
    : SettingsView(model, ThisComputerSection::Services::of(model), parent) {}

SettingsView::SettingsView(ReaderModel& model, const ThisComputerSection::Services& computer, QWidget* parent)
    : QWidget(parent), m_model(model),
      m_controller(new SettingsController(std::make_unique<ModelSettingsBackend>(model), this)) {
  setObjectName(QStringLiteral("settings"));
  auto* page = new QVBoxLayout(this);
  page->setContentsMargins(0, 0, 0, 0);
  page->setSpacing(0);

  auto* header = new DropScreenHeader(QStringLiteral("Make it yours"), QStringLiteral("Settings"));
  auto* headerBox = new QVBoxLayout;
  headerBox->setContentsMargins(pageInset, pageInset, pageInset, pageInset);
  headerBox->addWidget(header);
  page->addLayout(headerBox);

  auto* column = new QVBoxLayout;
  column->setContentsMargins(pageInset, 0, pageInset, pageInset);
  column->setSpacing(24);
  column->addWidget(new AccountView(model, true));
  m_delivery = buildDelivery();
  column->addWidget(m_delivery);
  column->addWidget(buildCuriosity());
  column->addWidget(buildReading());
  m_computer = new ThisComputerSection(*m_controller, computer);
  column->addWidget(m_computer);
  page->addLayout(column);
  page->addStretch(1);

  page->addWidget(AccountText::divider(0.12));
  m_saveBar = new SettingsSaveBar(*m_controller);
  auto* barBox = new QVBoxLayout;
  barBox->setContentsMargins(pageInset, 16, pageInset, 16);
  barBox->addWidget(m_saveBar);
  page->addLayout(barBox);
  connect(m_saveBar, &SettingsSaveBar::keyboardLeavesReload, this, &SettingsView::focusFirstSetting);

  // The page's own key, answered wherever the focus is in the window while the page is shown:
  // gone with the page, and refused whenever the button is.
  ButtonShortcut::install(this, QKeySequence(Qt::CTRL | Qt::Key_S),
                          [this] { return m_saveBar->saveButton(); });

  for (auto changed : {&SettingsController::draftChanged, &SettingsController::timesChanged,
                       &SettingsController::signedInChanged})
    connect(m_controller, changed, this, &SettingsView::refresh);
  connect(&model, &ReaderModel::nextDeliveryChanged, this, &SettingsView::refresh);
  connect(&model.account(), &AccountController::metricsChanged, this, &SettingsView::refresh);
  refresh();
}

QWidget* SettingsView::buildDelivery() {
  auto* section = new SettingsSection(QStringLiteral("When drops arrive"));
  QVBoxLayout* content = section->content();
  m_interval =
      SettingsWidgets::comboBox(QStringLiteral("settings.interval"), QStringLiteral("Deliver a drop"));
  for (const ScheduleSettings::Interval interval : ScheduleSettings::allIntervals)
    m_interval->addItem(ScheduleSettings::label(interval), QVariant::fromValue(int(interval)));
  connect(m_interval, &QComboBox::activated, this, [this](int index) {
    ReaderPreferences draft = m_controller->draft();
    draft.schedule.setInterval(ScheduleSettings::allIntervals[std::size_t(index)]);
    m_controller->setDraft(draft);
  });
  content->addLayout(SettingsWidgets::labelledRow(QStringLiteral("Deliver a drop"), m_interval));
  content->addWidget(AccountText::callout(
      QStringLiteral(
          "Drops arrive only within your working hours. Missed drops are not caught up after sleep."),
      AccountText::secondary()));

  m_working = new ReadingTimeRange(QStringLiteral("Working hours"));
  connect(m_working, &ReadingTimeRange::startEdited, m_controller, &SettingsController::setStart);
  connect(m_working, &ReadingTimeRange::endEdited, m_controller, &SettingsController::setEnd);
  content->addWidget(m_working);
  m_quiet = SettingsWidgets::checkBox(QStringLiteral("Use quiet hours"), QStringLiteral("settings.quiet"));
  connect(m_quiet, &QCheckBox::clicked, m_controller, &SettingsController::setQuiet);
  content->addWidget(m_quiet);
  m_quietHours = new ReadingTimeRange(QStringLiteral("Quiet hours"));
  connect(m_quietHours, &ReadingTimeRange::startEdited, m_controller, &SettingsController::setQuietStart);
  connect(m_quietHours, &ReadingTimeRange::endEdited, m_controller, &SettingsController::setQuietEnd);
  content->addWidget(m_quietHours);
  m_paused = SettingsWidgets::checkBox(QStringLiteral("Pause drops"), QStringLiteral("settings.paused"));
  connect(m_paused, &QCheckBox::clicked, this, [this](bool paused) {
    ReaderPreferences draft = m_controller->draft();
    draft.schedule.setPaused(paused);
    m_controller->setDraft(draft);
  });
  content->addWidget(m_paused);
  m_nextDropValue = new QLabel;
  m_nextDrop = rowWidget(SettingsWidgets::valueRow(QStringLiteral("Next drop"), m_nextDropValue));
  m_nextDrop->setObjectName(QStringLiteral("settings.nextDrop"));
  content->addWidget(m_nextDrop);
  return section;
}

QWidget* SettingsView::buildCuriosity() {
  auto* section = new SettingsSection(QStringLiteral("Follow your curiosity"));
  QVBoxLayout* content = section->content();
  m_surprise =
      SettingsWidgets::checkBox(QStringLiteral("Surprise me"), QStringLiteral("settings.surpriseMe"));
  connect(m_surprise, &QCheckBox::clicked, this, [this](bool on) {
    ReaderPreferences draft = m_controller->draft();
    draft.surpriseMe = on;
    m_controller->setDraft(draft);
  });
  content->addWidget(m_surprise);
  content->addWidget(AccountText::callout(QStringLiteral("Make room for ideas beyond your chosen topics."),
                                          AccountText::secondary()));
  m_topics = new TopicGrid;
  m_topics->setObjectName(QStringLiteral("settings.topics"));
  for (const Category category : allCases<Category>()) {
    auto* box = new TopicToggle(category);
    connect(box, &QCheckBox::clicked, this,
            [this, category](bool on) { m_controller->setTopic(category, on); });
    m_topics->addCell(box);
    m_topicBoxes.append(box);
  }
  content->addWidget(m_topics);
  return section;
}

QWidget* SettingsView::buildReading() {
  auto* section = new SettingsSection(QStringLiteral("Reading"));
  QVBoxLayout* content = section->content();
  // A segmented choice: the chosen size is the prominent button. Assistive technology hears
  // one group named by the row's label, holding the three choices; the label itself would
  // only say the name again.
  auto* choices = new QWidget(section);
  choices->setObjectName(QStringLiteral("settings.textScale"));
  AccessibleRole::set(choices, QAccessible::Grouping);
  choices->setAccessibleName(QStringLiteral("Text size"));
  auto* choiceRow = new QHBoxLayout(choices);
  choiceRow->setContentsMargins(0, 0, 0, 0);
  choiceRow->setSpacing(12);
  for (const SettingsController::TextSizeOption& option : SettingsController::textSizeOptions()) {
    auto* button = new DropButton(option.label, dropControl({.compact = true}));
    button->setObjectName(QStringLiteral("settings.textScale.") + option.label);
    // Heard as one of a set of choices, the chosen one checked.
    AccessibleRole::set(button, QAccessible::RadioButton);
    connect(button, &QPushButton::clicked, this,
            [this, scale = option.scale] { m_controller->setTextScale(scale); });
    choiceRow->addWidget(button, 0, Qt::AlignVCenter);
    m_textSizes.append(button);
  }
  QHBoxLayout* sizes = SettingsWidgets::labelledRow(QStringLiteral("Text size"), nullptr);
  AccessibleRole::setHidden(sizes->itemAt(0)->widget());
  const QMargins room(m_textSizes.first()->shapeMargins().left(), m_textSizes.first()->shapeMargins().top(),
                      m_textSizes.last()->shapeMargins().right(),
                      m_textSizes.last()->shapeMargins().bottom());
  sizes->insertItem(1, new ShapeLayoutItem(choices, room, Qt::AlignVCenter));
  content->addLayout(sizes);

  m_preview = new DropTextBlock(previewText);
  m_preview->setObjectName(QStringLiteral("settings.textPreview"));
  m_preview->setColor(AccountText::primary());
  m_preview->setContentsMargins(0, 4, 0, 4);
  content->addWidget(m_preview);
  content->addWidget(AccountText::divider(0.12));

  m_activity =
      SettingsWidgets::checkBox(QStringLiteral("Reading activity"), QStringLiteral("settings.activity"));
  connect(m_activity, &QCheckBox::clicked, this, [this](bool on) {
    ReaderPreferences draft = m_controller->draft();
    draft.analyticsConsent = on;
    m_controller->setDraft(draft);
  });
  content->addWidget(m_activity);
  content->addWidget(AccountText::callout(
      QStringLiteral("Optional. Keep a count of what you read over the last 30 days. Search text is never "
                     "collected, and activity never changes your interests."),
      AccountText::secondary()));
  m_readCountValue = new QLabel;
  m_readCount = rowWidget(
      SettingsWidgets::valueRow(QStringLiteral("Ideas opened in the last 30 days"), m_readCountValue));
  m_readCount->setObjectName(QStringLiteral("settings.readCount"));
  content->addWidget(m_readCount);
  return section;
}

// Fills every control from the controller and the model; nothing here writes the draft.
void SettingsView::refresh() {
  const ReaderPreferences& draft = m_controller->draft();
  const SettingsTimes& times = m_controller->times();
  const bool signedIn = m_controller->isSignedIn();

  m_delivery->setVisible(signedIn);
  {
    const QSignalBlocker blocker(m_interval);
    m_interval->setCurrentIndex(m_interval->findData(QVariant::fromValue(int(draft.schedule.interval()))));
  }
  m_working->setMinutes(times.start, times.end);
  setChecked(m_quiet, times.quiet);
  m_quietHours->setMinutes(times.quietStart, times.quietEnd);
  DropReveal::setShown(m_quietHours, times.quiet);
  setChecked(m_paused, draft.schedule.paused());
  const std::optional<Date>& next = m_model.nextDelivery();
  m_nextDrop->setVisible(next.has_value() && !draft.schedule.paused());
  if (next) {
    const QDateTime local = next->toQDateTime().toLocalTime();
    m_nextDropValue->setText(QLocale().toString(local.date(), QLocale::ShortFormat) + QStringLiteral(", ") +
                             ReaderModel::shortTime(local.time(), QLocale()));
  }

  setChecked(m_surprise, draft.surpriseMe);
  DropReveal::setShown(m_topics, !draft.surpriseMe);
  const auto categories = allCases<Category>();
  for (std::size_t index = 0; index < categories.size(); ++index)
    setChecked(m_topicBoxes[qsizetype(index)], m_controller->topic(categories[index]));

  const double scale = m_controller->textScale();
  for (qsizetype index = 0; index < m_textSizes.size(); ++index) {
    const bool chosen = SettingsController::textSizeOptions()[std::size_t(index)].scale == scale;
    m_textSizes[index]->setButtonStyle(dropControl({.prominent = chosen, .compact = true}));
    AccessibleRole::setSelected(m_textSizes[index], chosen);
  }
  m_preview->setTextStyle(
      DropTextBlock::Style{DropFonts::display(previewSize * draft.textScale, QFont::Medium)});

  setChecked(m_activity, draft.analyticsConsent);
  m_readCount->setVisible(signedIn && draft.analyticsConsent);
  m_readCountValue->setText(QString::number(m_model.account().metrics().readCount));
}

// Where a reader reapplies their changes after a reload: the first of the synced settings
// (which the page's scroll area shows, as it shows any control the keyboard lands on).
void SettingsView::focusFirstSetting() {
  QWidget* first = m_delivery->isVisible() ? static_cast<QWidget*>(m_interval) : m_surprise;
  first->setFocus(DropFocusRing::keyboardInUse() ? Qt::TabFocusReason : Qt::OtherFocusReason);
}

} // namespace brindlewick
