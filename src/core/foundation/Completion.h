#pragma once

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <utility>

namespace brindlewick {

// A one-shot result that a coroutine can co_await and that callback code settles: the bridge
// between Qt's signals and our coroutines. The awaiting coroutine is always resumed from the
// event loop, never from inside resolve() or fail(): whoever settles it (a signal handler, a
// destructor cancelling its work) finishes first, and the resumed coroutine then finds a
// destroyed owner gone from its QPointer instead of half torn down.
// Copies share one state; only the first resolve() or fail() counts. Main thread only.
template <typename T> class Completion {
public:
  Completion() : m_state(std::make_shared<State>()) {}

  bool isSettled() const { return m_state->settled; }

  void resolve(T value) {
    if (m_state->settled) {
      return;
    }
    m_state->value.emplace(std::move(value));
    settle();
  }

  void fail(std::exception_ptr error) {
    if (m_state->settled) {
      return;
    }
    m_state->error = std::move(error);
    settle();
  }

  template <typename E> void fail(E error) { fail(std::make_exception_ptr(std::move(error))); }

  auto operator co_await() const {
    struct Awaiter {
      std::shared_ptr<typename Completion::State> state;
      bool await_ready() const noexcept { return state->settled; }
      void await_suspend(std::coroutine_handle<> handle) noexcept { state->waiter = handle; }
      T await_resume() {
        if (state->error) {
          std::rethrow_exception(state->error);
        }
        return std::move(*state->value);
      }
    };
    return Awaiter{m_state};
  }

private:
  struct State {
    bool settled = false;
    std::optional<T> value;
    std::exception_ptr error;
    std::coroutine_handle<> waiter;
  };

  void settle() {
    m_state->settled = true;
    if (!m_state->waiter) {
      return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [state = m_state] {
          if (auto handle = std::exchange(state->waiter, {})) {
            handle.resume();
          }
        },
        Qt::QueuedConnection);
  }

  std::shared_ptr<State> m_state;
};

} // namespace brindlewick
