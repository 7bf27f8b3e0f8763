#pragma once

#include "desktop/UrlOpener.h"
#include "foundation/Completion.h"

#include <QList>
#include <QUrl>

namespace brindlewick {

// An opener that starts no program: it records each address and answers `opens`, from the
// event loop as the desktop's would, or, while `holding`, only when release() is called.
class FakeUrlOpener final : public UrlOpener {
public:
  // An address still held is answered as a desktop that went away answers: not opened.
  ~FakeUrlOpener() override {
    opens = false;
    release();
  }

  bool opens = true;
  bool holding = false;
  QList<QUrl> opened;

  QCoro::Task<bool> open(QUrl url) override {
    opened.append(url);
    Completion<bool> answer;
    if (holding)
      m_held.append(answer);
    else
      answerLater(answer, opens);
    co_return co_await answer;
  }

  // Answers every held address with `opens`.
  void release() {
    for (Completion<bool>& answer : std::exchange(m_held, {}))
      answerLater(answer, opens);
  }

private:
  static void answerLater(Completion<bool> answer, bool opens) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [answer, opens]() mutable { answer.resolve(opens); }, Qt::QueuedConnection);
  }

  QList<Completion<bool>> m_held;
};

// Installs `opener` as the shared one for a scope.
struct InstalledUrlOpener {
  explicit InstalledUrlOpener(UrlOpener& opener) { UrlOpener::install(&opener); }
  ~InstalledUrlOpener() { UrlOpener::install(nullptr); }
  InstalledUrlOpener(const InstalledUrlOpener&) = delete;
  InstalledUrlOpener& operator=(const InstalledUrlOpener&) = delete;
};

} // namespace brindlewick
