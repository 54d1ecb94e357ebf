#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "TestFiles.h"
#include "app/HelpPage.h"

namespace calvane::app {
namespace {

using ::testing::HasSubstr;

// The page is copied beside the program at build time, and the tests live
// beside the program.
TEST(HelpPage, TheShippedPageExplainsTheParameters) {
  const std::string path = FindHelpPage("Calvane.htm");
  ASSERT_FALSE(path.empty());
  const std::string page = test::ReadText(path);
  for (const char* text : {"Noise Type", "Noise Variance", "Iterations", "Additive", "Multiplicative", "calvane --variance"}) {
    EXPECT_THAT(page, HasSubstr(text));
  }
}

TEST(HelpPage, OnlyTheFileNameOfAPageCounts) {
  EXPECT_EQ(FindHelpPage("/somewhere/else/Calvane.htm"), FindHelpPage("Calvane.htm"));
  EXPECT_EQ(FindHelpPage("../../../etc/passwd"), "");
  EXPECT_EQ(FindHelpPage(".."), "");
}

TEST(HelpPage, WithoutADesktopItsPathIsPrinted) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  ::testing::internal::CaptureStderr();
  OpenHelpPage("Calvane.htm");
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(printed, "calvane: help: " + FindHelpPage("Calvane.htm") + "\n");
}

}  // namespace
}  // namespace calvane::app
