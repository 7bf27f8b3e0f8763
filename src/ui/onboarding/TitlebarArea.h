#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

namespace brindlewick {

// A transparent strip along the top of a full-bleed screen that stands in for the title
// bar it covers: a press drags the window (a third press too), and a double click does what
// the desktop does on a title bar's double click.
class TitlebarArea : public QWidget {
  Q_OBJECT

public:
  static constexpr int height = 52;

  enum class DoubleClick { toggleMaximised, minimise, none };
  // "Minimize" minimises, "None" does nothing; no value or any other value toggles
  // maximised. Exact, case-sensitive.
  static DoubleClick doubleClickAction(const std::optional<QString>& setting);

  // The desktop's double-click setting in the values above; none when it says nothing.
  using SettingProvider = std::function<std::optional<QString>()>;
  // GNOME's "action-double-click-titlebar" as the settings portal passes it through, read
  // once in the background ("minimize" and "none" become "Minimize" and "None").
  static SettingProvider desktopSetting();

  // What the strip does to its window; the system's unless a test says otherwise.
  struct WindowActions {
    std::function<void(QWidget* window)> startMove;
    std::function<void(QWidget* window)> toggleMaximised;
    std::function<void(QWidget* window)> minimise;
    static WindowActions system();
  };

  explicit TitlebarArea(SettingProvider setting = desktopSetting(),
                        WindowActions actions = WindowActions::system(), QWidget* parent = nullptr);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
  SettingProvider m_setting;
  WindowActions m_actions;
};

} // namespace brindlewick
