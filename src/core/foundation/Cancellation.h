#pragma once

#include <QByteArray>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

namespace brindlewick {

// Raised when an asynchronous operation stops because its caller cancelled it. It is its own
// type so that callers can tell a cancellation from a failure (a cancelled request is never
// reported as an unreachable service).
class CancelledError : public std::exception {
public:
  const char* what() const noexcept override;
};

class CancellationSource;
class CancellationRegistration;
namespace detail {
struct CancellationState;
}

// The read side of a cancellation: operations take a token and either poll it between steps
// or register a callback that stops their pending work. A default token can never be cancelled.
// Tokens are cheap to copy; all copies of one source's token see the same state.
// Confined to the main thread, like every asynchronous flow of the program.
class CancellationToken {
public:
  CancellationToken() = default;

  bool isCancelled() const;
  // Throws CancelledError when cancelled.
  void throwIfCancelled() const;

  // Runs `callback` once, synchronously, when the token is cancelled; at once if it already
  // is. The callback is dropped when the returned registration is destroyed first.
  [[nodiscard]] CancellationRegistration onCancel(std::function<void()> callback) const;

private:
  friend class CancellationSource;
  explicit CancellationToken(std::shared_ptr<detail::CancellationState> state) : m_state(std::move(state)) {}
  std::shared_ptr<detail::CancellationState> m_state;
};

// Keeps a cancellation callback alive; destroying it (or calling reset()) unregisters it.
class CancellationRegistration {
public:
  CancellationRegistration() = default;
  CancellationRegistration(CancellationRegistration&& other) noexcept;
  CancellationRegistration& operator=(CancellationRegistration&& other) noexcept;
  CancellationRegistration(const CancellationRegistration&) = delete;
  CancellationRegistration& operator=(const CancellationRegistration&) = delete;
  ~CancellationRegistration();

  void reset();

private:
  friend class CancellationToken;
  CancellationRegistration(std::weak_ptr<detail::CancellationState> state, std::uint64_t id)
      : m_state(std::move(state)), m_id(id) {}
  std::weak_ptr<detail::CancellationState> m_state;
  std::uint64_t m_id = 0;
};

// The write side: whoever starts a piece of work keeps the source and cancels it. A source made
// from a parent token is cancelled together with its parent (a cancelled sign-in cancels the
// poll it is waiting on), while cancelling the child leaves the parent running.
class CancellationSource {
public:
  CancellationSource();
  explicit CancellationSource(const CancellationToken& parent);
  CancellationSource(CancellationSource&&) noexcept = default;
  CancellationSource& operator=(CancellationSource&&) noexcept = default;
  CancellationSource(const CancellationSource&) = delete;
  CancellationSource& operator=(const CancellationSource&) = delete;
  ~CancellationSource();

  CancellationToken token() const { return CancellationToken(m_state); }
  bool isCancelled() const;
  // Idempotent; runs every registered callback once, in registration order.
  void cancel();

private:
  std::shared_ptr<detail::CancellationState> m_state;
  CancellationRegistration m_parentLink;
};

} // namespace brindlewick
