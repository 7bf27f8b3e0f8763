#pragma once

#include <optional>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace brindlewick {

// What a test throws where it needs a value the code under test did not give. GoogleTest
// reports the exception as the test's failure, with its message: dereferencing the empty
// optional instead is undefined behaviour, which aborted a whole test program (or passed).
class MissingValue : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

// The value `value` holds; `what` names where it came from, for the message when it holds none.
template <typename T>
T requiredValue(std::optional<T> value, std::string_view what,
                std::source_location where = std::source_location::current()) {
  if (!value.has_value()) {
    throw MissingValue(std::string(where.file_name()) + ':' + std::to_string(where.line()) + ": " +
                       std::string(what) + " gave no value");
  }
  return std::move(*value);
}

} // namespace brindlewick
