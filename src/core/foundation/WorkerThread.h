#pragma once

#include "foundation/Completion.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>

#include <exception>
#include <optional>
#include <utility>

namespace brindlewick {

// Runs `work` on a thread of the global pool, off the main thread, and settles the completion
// it returns with what `work` gives, or with what it throws, back on the main thread's event
// loop. `work` holds copies of all it needs (its caller may be gone before it ends). Call from
// the main thread, and keep the completion in a variable of its own while awaiting it.
template <typename T, typename Work> Completion<T> onWorkerThread(Work work) {
  Completion<T> done;
  QThreadPool::globalInstance()->start([done, work = std::move(work)]() mutable {
    std::optional<T> value;
    std::exception_ptr error;
    try {
      value.emplace(work());
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [done, value = std::move(value), error]() mutable {
          if (error)
            done.fail(error);
          else
            done.resolve(std::move(*value));
        },
        Qt::QueuedConnection);
  });
  return done;
}

} // namespace brindlewick
