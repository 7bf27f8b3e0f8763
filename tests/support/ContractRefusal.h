#pragma once

#include "content/ContentContracts.h"

#include <QString>

#include <functional>

namespace brindlewick {

// The ContractValidationError message of the call, or "" when it succeeds. Any other
// exception escapes and fails the test.
inline QString contractRefusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const ContractValidationError& error) {
    return error.message();
  }
  return {};
}

} // namespace brindlewick
