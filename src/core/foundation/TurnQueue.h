#pragma once

#include "foundation/Completion.h"

#include <QCoroTask>

#include <optional>
#include <utility>
#include <variant>

namespace brindlewick {

// Lets coroutines take turns in the order they asked: a turn begins once every earlier turn
// has ended. For work whose effects must land in call order although each step suspends
// (keyring writes and removals of one item, say). Main thread only.
class TurnQueue {
public:
  // Held while it is its owner's turn; destroying it ends the turn and begins the next one.
  class Turn {
  public:
    Turn(Turn&& other) noexcept : m_done(std::exchange(other.m_done, std::nullopt)) {}
    Turn& operator=(Turn&&) = delete;
    ~Turn() { end(); }

    void end() {
      if (m_done)
        std::exchange(m_done, std::nullopt)->resolve({});
    }

  private:
    friend class TurnQueue;
    explicit Turn(Completion<std::monostate> done) : m_done(std::move(done)) {}
    std::optional<Completion<std::monostate>> m_done;
  };

  TurnQueue() { m_last.resolve({}); }

  // Waits until every turn taken before this call has ended. The queue itself is touched
  // only before the first suspension, so it may be destroyed while a caller waits.
  QCoro::Task<Turn> take() {
    const Completion<std::monostate> previous = m_last;
    Completion<std::monostate> mine;
    m_last = mine;
    Turn turn(mine);
    co_await previous;
    co_return std::move(turn);
  }

private:
  Completion<std::monostate> m_last;
};

} // namespace brindlewick
