#include "ui/onboarding/OnboardingState.h"

#include <gtest/gtest.h>

using namespace brindlewick;

namespace {

using Page = OnboardingState::Page;
using Event = OnboardingState::Event;

TEST(OnboardingState, EventsMoveOnlyFromTheirOwnPage) {
  const struct {
    Page from;
    Event event;
    Page to;
    bool cancels;
  } cases[] = {
      {Page::welcome, Event::getStarted, Page::signIn, false},
      {Page::welcome, Event::back, Page::welcome, false},
      {Page::welcome, Event::notNow, Page::welcome, false},
      {Page::welcome, Event::cancel, Page::welcome, false},
      {Page::signIn, Event::getStarted, Page::signIn, false},
      {Page::signIn, Event::back, Page::welcome, false},
      {Page::signIn, Event::notNow, Page::welcome, true},
      {Page::signIn, Event::cancel, Page::signIn, true},
  };
  for (const auto& c : cases) {
    OnboardingState state(0);
    if (c.from == Page::signIn)
      state.apply(Event::getStarted);
    EXPECT_EQ(state.apply(c.event), c.cancels) << int(c.from) << " " << int(c.event);
    EXPECT_EQ(state.page(), c.to) << int(c.from) << " " << int(c.event);
    EXPECT_EQ(state.stepLabel(), c.to == Page::welcome ? "Step 1 of 2" : "Step 2 of 2");
  }
}

TEST(OnboardingState, OnlyDeclinesAfterShowingReturnToWelcome) {
  OnboardingState state(3);
  state.apply(Event::getStarted);
  EXPECT_FALSE(state.declinedChanged(3)); // the value found at showing
  EXPECT_EQ(state.page(), Page::signIn);
  EXPECT_TRUE(state.declinedChanged(4));
  EXPECT_EQ(state.page(), Page::welcome);
  state.apply(Event::getStarted);
  EXPECT_FALSE(state.declinedChanged(4));
  EXPECT_TRUE(state.declinedChanged(5));
  EXPECT_FALSE(state.declinedChanged(6)); // already on welcome: nothing moves
  EXPECT_EQ(state.page(), Page::welcome);
}

TEST(OnboardingState, OnlyEightCharacterCodesAreGrouped) {
  for (const char* code : {"ABCDEFG", "ABCDEFGHI"})
    EXPECT_EQ(OnboardingState::displayedCode(code), code);
  EXPECT_EQ(OnboardingState::displayedCode("ABCDEFGH"), QString::fromUtf16(u"ABCD\u2013EFGH"));
}

} // namespace
