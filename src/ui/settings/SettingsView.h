#pragma once

#include "ui/settings/ThisComputerSection.h"

#include <QList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

namespace brindlewick {

class DropButton;
class DropTextBlock;
class ReaderModel;
class ReadingTimeRange;
class SettingsController;
class SettingsSaveBar;
class TopicGrid;

// The settings page: the account card, then the synced settings as a draft ("When drops
// arrive" while signed in, "Follow your curiosity", "Reading"), the settings of this computer,
// and the save bar at the foot. The draft is taken from the stored preferences when the page
// is made; Ctrl+S saves it when the save button may.
class SettingsView : public QWidget {
  Q_OBJECT

public:
  static inline const QString previewText = QStringLiteral("A small idea. Room to think.");
  static constexpr qreal previewSize = 17;

  explicit SettingsView(ReaderModel& model, QWidget* parent = nullptr);
  // With this computer's services given (tests); the model's own otherwise.
  SettingsView(ReaderModel& model, const ThisComputerSection::Services& computer, QWidget* parent = nullptr);

  SettingsController& controller() const { return *m_controller; }
  SettingsSaveBar* saveBar() const { return m_saveBar; }
  TopicGrid* topicGrid() const { return m_topics; }
  ThisComputerSection* thisComputer() const { return m_computer; }

private:
  QWidget* buildDelivery();
  QWidget* buildCuriosity();
  QWidget* buildReading();
  void refresh();
  void focusFirstSetting();

  ReaderModel& m_model;
  SettingsController* m_controller;
  QWidget* m_delivery = nullptr;
  QComboBox* m_interval = nullptr;
  ReadingTimeRange* m_working = nullptr;
  QCheckBox* m_quiet = nullptr;
  ReadingTimeRange* m_quietHours = nullptr;
  QCheckBox* m_paused = nullptr;
  QWidget* m_nextDrop = nullptr;
  QLabel* m_nextDropValue = nullptr;
  QCheckBox* m_surprise = nullptr;
  TopicGrid* m_topics = nullptr;
  QList<QCheckBox*> m_topicBoxes;
  QList<DropButton*> m_textSizes;
  DropTextBlock* m_preview = nullptr;
  QCheckBox* m_activity = nullptr;
  QWidget* m_readCount = nullptr;
  QLabel* m_readCountValue = nullptr;
  ThisComputerSection* m_computer = nullptr;
  SettingsSaveBar* m_saveBar = nullptr;
};

} // namespace brindlewick
