#pragma once

#include "RequiredValue.h"

#include <QCoroTask>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

namespace brindlewick {

// The observed end of a coroutine under test: not finished yet, a value, or an exception.
template <typename T> struct AsyncOutcome {
  using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
  bool finished = false;
  std::optional<Value> value;
  std::exception_ptr error;

  // The coroutine's value. Rethrows its exception so a test can EXPECT_THROW on it; where it
  // has not finished, throws MissingValue, which fails the test with that reason.
  Value get() const {
    requireValue();
    return *value;
  }
  // The same, in place: for a value the test goes on to use or to move out (`std::move(result())`).
  Value& result() {
    requireValue();
    return *value;
  }
  // The exception's object when it is of type E, else nullptr.
  template <typename E> std::optional<E> errorAs() const {
    if (!error) {
      return std::nullopt;
    }
    try {
      std::rethrow_exception(error);
    } catch (const E& e) {
      return e;
    } catch (...) {
      return std::nullopt;
    }
  }

private:
  void requireValue() const {
    if (error) {
      std::rethrow_exception(error);
    }
    if (!finished || !value.has_value()) {
      throw MissingValue("the coroutine under test has not finished");
    }
  }
};

namespace detail {
template <typename T>
QCoro::Task<void> observe(QCoro::Task<T> task, std::shared_ptr<AsyncOutcome<T>> outcome) {
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(task);
      outcome->value.emplace();
    } else {
      outcome->value.emplace(co_await std::move(task));
    }
  } catch (...) {
    outcome->error = std::current_exception();
  }
  outcome->finished = true;
}
} // namespace detail

// Starts a coroutine and records how it ends, without blocking.
template <typename T> std::shared_ptr<AsyncOutcome<T>> startTask(QCoro::Task<T> task) {
  auto outcome = std::make_shared<AsyncOutcome<T>>();
  detail::observe(std::move(task), outcome);
  return outcome;
}

// Runs the event loop until `condition` holds or `timeoutMs` of real time passed (a safety net
// for tests that talk to a socket; nothing is timed by it). The loop sleeps between events; a
// coarse tick wakes it so that the safety net is checked.
template <typename Condition> bool waitUntil(Condition condition, int timeoutMs = 10000) {
  QDeadlineTimer deadline(timeoutMs);
  QTimer tick;
  tick.start(25);
  while (!condition() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
  return condition();
}

// Runs the event loop until the coroutine has finished; see waitUntil.
template <typename T>
bool waitUntilFinished(const std::shared_ptr<AsyncOutcome<T>>& outcome, int timeoutMs = 10000) {
  return waitUntil([&] { return outcome->finished; }, timeoutMs);
}

// Runs the coroutine to its end, serving events meanwhile, and returns how it ended. For
// tasks bounded by their own timeouts; the safety net of waitUntil applies.
template <typename T> AsyncOutcome<T> finishTask(QCoro::Task<T> task, int timeoutMs = 30000) {
  const auto outcome = startTask(std::move(task));
  waitUntilFinished(outcome, timeoutMs);
  return *outcome;
}

} // namespace brindlewick
