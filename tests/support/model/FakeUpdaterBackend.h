#pragma once

#include "model/UpdaterBackend.h"

namespace brindlewick {

// An updater backend that installs nothing: it counts the checks the reader asks for, and a
// test says whether one could start now.
class FakeUpdaterBackend final : public UpdaterBackend {
public:
  explicit FakeUpdaterBackend(int& checks, bool canCheck = true) : m_checks(checks), m_canCheck(canCheck) {}

  void start(const UpdateConfiguration&) override {}
  bool canCheckForUpdates() const override { return m_canCheck; }
  void checkForUpdates() override { ++m_checks; }

  void setCanCheck(bool canCheck) {
    m_canCheck = canCheck;
    Q_EMIT canCheckForUpdatesChanged();
  }

private:
  int& m_checks;
  bool m_canCheck;
};

} // namespace brindlewick
