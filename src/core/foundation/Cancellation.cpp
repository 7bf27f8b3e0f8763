#include "foundation/Cancellation.h"

#include <map>
#include <vector>

namespace brindlewick {

const char* CancelledError::what() const noexcept {
  return "The operation was cancelled.";
}

struct detail::CancellationState {
  bool cancelled = false;
  std::uint64_t nextId = 1;
  std::map<std::uint64_t, std::function<void()>> callbacks;

  void cancel() {
    if (cancelled) {
      return;
    }
    cancelled = true;
    // A callback may resume a coroutine that unregisters later callbacks or registers new
    // ones; each callback is taken out of the table before it runs, so none runs twice and an
    // unregistered one does not run at all.
    while (!callbacks.empty()) {
      auto first = callbacks.begin();
      std::function<void()> callback = std::move(first->second);
      callbacks.erase(first);
      callback();
    }
  }
};

bool CancellationToken::isCancelled() const {
  return m_state && m_state->cancelled;
}

void CancellationToken::throwIfCancelled() const {
  if (isCancelled()) {
    throw CancelledError();
  }
}

CancellationRegistration CancellationToken::onCancel(std::function<void()> callback) const {
  if (!m_state) {
    return {};
  }
  if (m_state->cancelled) {
    callback();
    return {};
  }
  const std::uint64_t id = m_state->nextId++;
  m_state->callbacks.emplace(id, std::move(callback));
  return CancellationRegistration(m_state, id);
}

CancellationRegistration::CancellationRegistration(CancellationRegistration&& other) noexcept
    : m_state(std::move(other.m_state)), m_id(other.m_id) {
  other.m_id = 0;
}

CancellationRegistration& CancellationRegistration::operator=(CancellationRegistration&& other) noexcept {
  if (this != &other) {
    reset();
    m_state = std::move(other.m_state);
    m_id = other.m_id;
    other.m_id = 0;
  }
  return *this;
}

CancellationRegistration::~CancellationRegistration() {
  reset();
}

void CancellationRegistration::reset() {
  if (auto state = m_state.lock()) {
    state->callbacks.erase(m_id);
  }
  m_state.reset();
  m_id = 0;
}

CancellationSource::CancellationSource() : m_state(std::make_shared<detail::CancellationState>()) {}

CancellationSource::CancellationSource(const CancellationToken& parent) : CancellationSource() {
  // The link holds the child's state weakly: a child that is gone costs its parent nothing.
  std::weak_ptr<detail::CancellationState> child = m_state;
  m_parentLink = parent.onCancel([child] {
    if (auto state = child.lock()) {
      state->cancel();
    }
  });
}

CancellationSource::~CancellationSource() = default;

bool CancellationSource::isCancelled() const {
  return m_state && m_state->cancelled;
}

void CancellationSource::cancel() {
  if (m_state) {
    // Keep the state alive even if a callback destroys this source.
    auto state = m_state;
    state->cancel();
  }
}

} // namespace brindlewick
