// The terminal presentation in a real pseudo-terminal (tmux): first with a
// dialog of its own, then with the plug-in's dialog in `calvane -i`.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "TmuxSession.h"
#include "term/canvas.h"

using namespace term_test;
using ::testing::HasSubstr;

namespace {

// Rows and columns of what is on the screen, in characters.
int RowOf(const std::vector<std::string>& screen, const std::string& text) {
  for (std::size_t row = 0; row < screen.size(); ++row) {
    if (screen[row].find(text) != std::string::npos) return static_cast<int>(row);
  }
  return -1;
}

int ColumnOf(const std::string& line, const std::string& text) {
  const std::u32string chars = win::term::DecodeUtf8(line);
  const std::size_t at = chars.find(win::term::DecodeUtf8(text));
  return at == std::u32string::npos ? -1 : static_cast<int>(at);
}

// The column of the thumb on the row that holds `label`.
int ThumbColumn(const std::vector<std::string>& screen, const std::string& label) {
  const int row = RowOf(screen, label);
  return row < 0 ? -1 : ColumnOf(screen[static_cast<std::size_t>(row)], "\u2588");
}

// An xterm mouse report (SGR form) of the left button at a screen cell.
std::string MouseReport(int code, int column, int row, bool release) {
  return "\033[<" + std::to_string(code) + ";" + std::to_string(column + 1) + ";" + std::to_string(row + 1) +
         (release ? "m" : "M");
}

class PseudoTerminal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TmuxSession::Available()) GTEST_SKIP() << "tmux is not installed (setup.sh installs it)";
  }
};

// ---- The presentation with a dialog of its own ---------------------------------------------

class DialogInTerminal : public PseudoTerminal {};

TEST_F(DialogInTerminal, ShowsTheDialogAndTakesKeys) {
  TmuxSession session({TERM_DIALOG_FIXTURE});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  const std::vector<std::string> screen = session.Screen();
  EXPECT_GE(RowOf(screen, " Total Variation Denoise "), 0);
  EXPECT_GE(RowOf(screen, "[5     ]"), 0);
  EXPECT_GE(RowOf(screen, "[20    ]"), 0);
  EXPECT_GE(RowOf(screen, "[< OK >]"), 0);
  EXPECT_GE(RowOf(screen, "Esc: cancel"), 0);
  const int thumb = ThumbColumn(screen, "Noise variance:");

  session.Keys({"500", "Tab"});
  EXPECT_TRUE(session.WaitUntil([&](const std::vector<std::string>& now) {
    return RowOf(now, "[500   ]") >= 0 && ThumbColumn(now, "Noise variance:") > thumb;
  })) << session.ScreenText();
  session.Keys({"M-i", "300", "Enter"});
  EXPECT_EQ(session.WaitForExit(), 0) << session.ScreenText();
  EXPECT_TRUE(session.WaitForText("OK 500 300")) << session.ScreenText();
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(DialogInTerminal, TheMouseDragsAThumbAndClicksAButton) {
  TmuxSession session({TERM_DIALOG_FIXTURE});
  ASSERT_TRUE(session.WaitForText("Iterations:")) << session.ScreenText();
  std::vector<std::string> screen = session.Screen();
  const int row = RowOf(screen, "Iterations:");
  const int thumb = ThumbColumn(screen, "Iterations:");
  ASSERT_GT(thumb, 0) << session.ScreenText();
  // A mouse report that is the very first input after curses starts can be
  // dropped (curses or tmux, not the presentation): a key goes first.
  session.Keys({"M-i"});
  ASSERT_TRUE(session.WaitUntil([&](const std::vector<std::string>&) { return session.CursorY() == row; }));

  session.Bytes(MouseReport(0, thumb, row, false));
  session.Bytes(MouseReport(32, thumb + 5, row, false));
  session.Bytes(MouseReport(32, thumb + 10, row, false));
  session.Bytes(MouseReport(0, thumb + 10, row, true));
  ASSERT_TRUE(session.WaitUntil([&](const std::vector<std::string>& now) {
    return ThumbColumn(now, "Iterations:") == thumb + 10 && RowOf(now, "[20    ]") < 0;
  })) << session.ScreenText();
  screen = session.Screen();
  const std::string& line = screen[static_cast<std::size_t>(row)];
  const int field = ColumnOf(line, "[");
  const int value = std::atoi(win::term::EncodeUtf8(win::term::DecodeUtf8(line).substr(static_cast<std::size_t>(field) + 1, 6)).c_str());
  EXPECT_GT(value, 20);

  const int buttons = RowOf(screen, "[< OK >]");
  const int ok = ColumnOf(screen[static_cast<std::size_t>(buttons)], "[< OK >]") + 4;
  session.Bytes(MouseReport(0, ok, buttons, false));
  session.Bytes(MouseReport(0, ok, buttons, true));
  EXPECT_EQ(session.WaitForExit(), 0) << session.ScreenText();
  EXPECT_TRUE(session.WaitForText("OK 5 " + std::to_string(value))) << session.ScreenText();
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(DialogInTerminal, ARedrawFollowsAResizedTerminal) {
  TmuxSession session({TERM_DIALOG_FIXTURE});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  const int before = ColumnOf(session.Screen()[static_cast<std::size_t>(RowOf(session.Screen(), "Noise variance:"))], "Noise");
  session.Resize(60, 20);
  EXPECT_TRUE(session.WaitUntil([&](const std::vector<std::string>& now) {
    const int row = RowOf(now, "Noise variance:");
    return row >= 0 && ColumnOf(now[static_cast<std::size_t>(row)], "Noise") == before - 10;
  })) << session.ScreenText();
  session.Keys({"Escape"});
  EXPECT_EQ(session.WaitForExit(), 1);
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(DialogInTerminal, WhatGoesToStderrShowsOnTheBottomLineAndAfterwards) {
  TmuxSession session({TERM_DIALOG_FIXTURE, "--help-text", "help: /somewhere/Calvane.htm"});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  session.Keys({"F1"});
  EXPECT_TRUE(session.WaitUntil([](const std::vector<std::string>& now) {
    return now.size() == 24 && now.back().find("help: /somewhere/Calvane.htm") != std::string::npos;
  })) << session.ScreenText();
  session.Keys({"Escape"});
  EXPECT_EQ(session.WaitForExit(), 1);
  const std::vector<std::string> screen = session.Screen();
  EXPECT_GE(RowOf(screen, "help: /somewhere/Calvane.htm"), 0) << session.ScreenText();
  EXPECT_LT(RowOf(screen, "help: /somewhere/Calvane.htm"), RowOf(screen, "Cancel"));
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(DialogInTerminal, TheTerminalIsRestoredWhenTheProgramIsTerminated) {
  TmuxSession session({TERM_DIALOG_FIXTURE});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  const int pid = session.ProgramPid();
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  EXPECT_EQ(session.WaitForExit(), 128 + SIGTERM);
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(DialogInTerminal, TheTerminalIsRestoredWhenTheProgramCrashes) {
  TmuxSession session({TERM_DIALOG_FIXTURE, "--crash"});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  session.Keys({"F1"});
  EXPECT_EQ(session.WaitForExit(), 128 + SIGABRT);
  EXPECT_TRUE(session.TerminalRestored());
}

// ---- calvane -i ----------------------------------------------------------------------------------
#ifdef CALVANE_PROGRAM

class CalvaneInteractive : public PseudoTerminal {};

TEST_F(CalvaneInteractive, ShowsThePluginDialogOnTheValuesGivenAndEscapeCancels) {
  TmuxSession session({CALVANE_PROGRAM, "-i", "--ui", "terminal", "--dry-run", "--variance", "12", "--iterations", "30"});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  const std::vector<std::string> screen = session.Screen();
  EXPECT_GE(RowOf(screen, " Total Variation Denoise "), 0);
  const int variance = RowOf(screen, "Noise variance:");
  const int iterations = RowOf(screen, "Iterations:");
  EXPECT_GT(iterations, variance);
  EXPECT_THAT(screen[static_cast<std::size_t>(variance)], HasSubstr("[12    ]"));
  EXPECT_THAT(screen[static_cast<std::size_t>(iterations)], HasSubstr("[30    ]"));
  const int buttons = RowOf(screen, "[< OK >]");
  EXPECT_GT(buttons, iterations);
  EXPECT_THAT(screen[static_cast<std::size_t>(buttons)], HasSubstr("[ Cancel ]"));
  EXPECT_THAT(screen[static_cast<std::size_t>(buttons)], HasSubstr("[ Help ]"));
  // The focus starts in the variance field.
  EXPECT_EQ(session.CursorY(), variance);

  session.Keys({"Escape"});
  EXPECT_EQ(session.WaitForExit(), 1) << session.ScreenText();
  EXPECT_TRUE(session.WaitForText("cancelled")) << session.ScreenText();
  EXPECT_LT(RowOf(session.Screen(), "Noise Variance:"), 0) << "nothing printed after a cancel";
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(CalvaneInteractive, TypedValuesMoveTheThumbAndEndInThePrintedSet) {
  TmuxSession session({CALVANE_PROGRAM, "-i", "--ui", "terminal", "--dry-run"});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  const int thumb = ThumbColumn(session.Screen(), "Noise variance:");
  ASSERT_GE(thumb, 0) << session.ScreenText();

  session.Keys({"500", "Tab"});
  EXPECT_TRUE(session.WaitUntil([&](const std::vector<std::string>& now) {
    return RowOf(now, "[500   ]") >= 0 && ThumbColumn(now, "Noise variance:") > thumb;
  })) << session.ScreenText();
  session.Keys({"M-i", "250", "Enter"});
  EXPECT_EQ(session.WaitForExit(), 0) << session.ScreenText();
  EXPECT_TRUE(session.WaitForText("Iterations: 250")) << session.ScreenText();
  EXPECT_GE(RowOf(session.Screen(), "Noise Variance: 500 "), 0) << session.ScreenText();
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(CalvaneInteractive, AValueOutOfRangeShowsABoxAndTheFocusReturnsToTheField) {
  TmuxSession session({CALVANE_PROGRAM, "-i", "--ui", "terminal", "--dry-run"});
  ASSERT_TRUE(session.WaitForText("Iterations:")) << session.ScreenText();
  const int row = RowOf(session.Screen(), "Iterations:");
  session.Keys({"M-i", "2000", "Tab"});
  ASSERT_TRUE(session.WaitForText("Enter a whole number from 1 to 1000.")) << session.ScreenText();
  session.Keys({"Enter"});
  ASSERT_TRUE(session.WaitForTextGone("Enter a whole number")) << session.ScreenText();
  // Back in the iterations field, after its text.
  EXPECT_TRUE(session.WaitUntil([&](const std::vector<std::string>& now) {
    const int cursorColumn = session.CursorX();
    const int field = ColumnOf(now[static_cast<std::size_t>(row)], "[2000  ]");
    return session.CursorY() == row && field >= 0 && cursorColumn == field + 5;
  })) << session.ScreenText() << session.CursorX() << "," << session.CursorY();
  // Ctrl-C in the dialog is Cancel.
  session.Keys({"C-c"});
  EXPECT_EQ(session.WaitForExit(), 1) << session.ScreenText();
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(CalvaneInteractive, HelpShowsWhereThePageIsWithoutBreakingTheScreen) {
  TmuxSession session({CALVANE_PROGRAM, "-i", "--ui", "terminal", "--dry-run"});
  ASSERT_TRUE(session.WaitForText("Noise variance:")) << session.ScreenText();
  session.Keys({"F1"});
  EXPECT_TRUE(session.WaitUntil([](const std::vector<std::string>& now) {
    return now.size() == 24 && now.back().find("Calvane.htm") != std::string::npos;
  })) << session.ScreenText();
  EXPECT_GE(RowOf(session.Screen(), "Noise variance:"), 0);
  session.Keys({"Enter"});
  EXPECT_EQ(session.WaitForExit(), 0) << session.ScreenText();
  EXPECT_TRUE(session.TerminalRestored());
}

TEST_F(CalvaneInteractive, DenoisesTheFileWithTheConfirmedValues) {
  char directory[] = "/tmp/calvane-term-out-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string output = std::string(directory) + "/clean.png";
  {
    TmuxSession session({CALVANE_PROGRAM, "-i", "--ui", "terminal", CALVANE_SAMPLE_IMAGE, output});
    ASSERT_TRUE(session.WaitForText("Iterations:")) << session.ScreenText();
    session.Keys({"M-i", "3", "Enter"});
    EXPECT_EQ(session.WaitForExit(), 0) << session.ScreenText();
    EXPECT_TRUE(session.WaitForText("clean.png")) << session.ScreenText();
    EXPECT_TRUE(session.TerminalRestored());
  }
  EXPECT_EQ(access(output.c_str(), R_OK), 0);
  unlink(output.c_str());
  rmdir(directory);
}

TEST(CalvaneInteractiveWithoutTerminal, SaysSoAndExitsWithTheUsageStatus) {
  int err[2];
  ASSERT_EQ(pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  posix_spawn_file_actions_addclose(&actions, err[1]);
  std::string program = CALVANE_PROGRAM, i = "-i", ui = "--ui", terminal = "terminal", dryRun = "--dry-run";
  char* argv[] = {program.data(), i.data(), ui.data(), terminal.data(), dryRun.data(), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  close(err[1]);
  std::string message;
  char buffer[512];
  for (ssize_t got; (got = read(err[0], buffer, sizeof buffer)) > 0;) message.append(buffer, static_cast<std::size_t>(got));
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_THAT(message, HasSubstr("not a terminal"));
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
}

#endif

}  // namespace
