#include "AsyncProbe.h"
#include "RequiredValue.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

using namespace brindlewick;

namespace {

// The message of the MissingValue `action` throws, or what happened instead.
template <typename Action> std::string missingValueMessage(Action action) {
  try {
    action();
  } catch (const MissingValue& missing) {
    return missing.what();
  } catch (...) {
    return "(another exception)";
  }
  return "(no exception)";
}

TEST(RequiredValue, AnEmptyOptionalFailsTheTestWithWhereAndWhatInsteadOfBeingRead) {
  const std::string message =
      missingValueMessage([] { requiredValue(std::optional<std::vector<int>>(), "the parse of \"1.x\""); });
  EXPECT_TRUE(message.starts_with(__FILE__ ":")) << message;
  EXPECT_TRUE(message.ends_with(": the parse of \"1.x\" gave no value")) << message;

  std::unique_ptr<int> held = requiredValue(std::make_optional(std::make_unique<int>(7)), "a pointer");
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(*held, 7);
}

// A coroutine that has not ended has no value to read, however the test goes on to use it.
TEST(AsyncOutcome, AValueOfAnUnfinishedCoroutineFailsTheTestAndAnErrorIsRethrown) {
  AsyncOutcome<std::unique_ptr<int>> pending;
  EXPECT_EQ(missingValueMessage([&] { pending.result(); }), "the coroutine under test has not finished");
  AsyncOutcome<int> waiting;
  EXPECT_EQ(missingValueMessage([&] { waiting.get(); }), "the coroutine under test has not finished");

  AsyncOutcome<int> failed;
  failed.finished = true;
  failed.error = std::make_exception_ptr(std::runtime_error("refused"));
  EXPECT_THROW(failed.get(), std::runtime_error);

  AsyncOutcome<std::unique_ptr<int>> done;
  done.finished = true;
  done.value.emplace(std::make_unique<int>(3));
  const std::unique_ptr<int> taken = std::move(done.result());
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(*taken, 3);
}

} // namespace
