#pragma once

#include <QCoreApplication>
#include <QEventLoop>

#include <QCoro/QCoroTask>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace brindlewick {

// What became of a coroutine a test started: not finished yet, a value, or an exception.
// Void tasks give std::monostate as their value.
template <typename T> struct TaskOutcome {
  bool finished = false;
  std::optional<T> value;
  std::exception_ptr error;

  // The exception as E, when the task threw one of that type.
  template <typename E> std::optional<E> errorAs() const {
    if (!error)
      return std::nullopt;
    try {
      std::rethrow_exception(error);
    } catch (const E& caught) {
      return caught;
    } catch (...) {
      return std::nullopt;
    }
  }
};

template <typename T>
using TaskOutcomeOf = TaskOutcome<std::conditional_t<std::is_void_v<T>, std::monostate, T>>;

// Runs the task as far as it goes without the event loop and records how it ends; tests then
// deliver events or fire fakes and look at the outcome. Unlike QCoro::waitFor, an exception
// is kept instead of leaving the waiter stuck.
template <typename T> std::shared_ptr<TaskOutcomeOf<T>> startTask(QCoro::Task<T> task) {
  auto outcome = std::make_shared<TaskOutcomeOf<T>>();
  [](QCoro::Task<T> running, std::shared_ptr<TaskOutcomeOf<T>> result) -> QCoro::Task<> {
    try {
      if constexpr (std::is_void_v<T>) {
        co_await running;
        result->value.emplace();
      } else {
        result->value = co_await running;
      }
    } catch (...) {
      result->error = std::current_exception();
    }
    result->finished = true;
  }(std::move(task), outcome);
  return outcome;
}

// Runs the task to its end, serving events meanwhile. For tasks that are bounded by their
// own timeouts (or answer at once); a task that never ends would keep the test waiting.
template <typename T> TaskOutcomeOf<T> finishTask(QCoro::Task<T> task) {
  const auto outcome = startTask(std::move(task));
  while (!outcome->finished)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return *outcome;
}

} // namespace brindlewick
