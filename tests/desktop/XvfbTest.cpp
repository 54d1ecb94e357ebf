// The desktop presentation under a real X server: the test dialog (laid out
// like the plug-in's) shown by a program of its own, typed into and clicked
// with xdotool, photographed with ImageMagick's import.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "XClose.h"
#include "XvfbServer.h"
#include "desktop/metrics.h"

using namespace desktop_test;

namespace {

constexpr char kCaption[] = "Total Variation Denoise";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;
};

// The dialog's font as the presentation measures it on this server (96
// dots per inch: the X server sets no other resolution).
win::desktop::DialogFont DialogFontAt96Dpi() {
  PangoContext* context = win::desktop::OffscreenPangoContext(96.0);
  const win::desktop::DialogFont font = win::desktop::MeasureDialogFont(context, 8);
  g_object_unref(context);
  return font;
}

class DesktopDialog : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string missing;
    if (!XvfbServer::ToolsAvailable(&missing)) return;
    s_server = std::make_unique<XvfbServer>();
  }
  static void TearDownTestSuite() { s_server.reset(); }

  void SetUp() override {
    std::string missing;
    if (!XvfbServer::ToolsAvailable(&missing)) GTEST_SKIP() << missing << " is not installed (setup.sh installs it)";
    ASSERT_TRUE(s_server && s_server->Running()) << "Xvfb did not start";
    m_font = DialogFontAt96Dpi();
  }

  const XvfbServer& Server() const { return *s_server; }

  // The visible windows with this caption.
  std::vector<std::string> WindowsNamed(const std::string& caption) const {
    return Lines(Server().Xdotool({"search", "--onlyvisible", "--name", "^" + caption + "$"}));
  }

  // Waits for the dialog's window; empty when it does not come.
  std::string WaitForDialog() const {
    std::string id;
    WaitUntil([&] {
      const std::vector<std::string> windows = WindowsNamed(kCaption);
      if (windows.size() == 1) id = windows.front();
      return !id.empty();
    });
    if (!id.empty()) Server().Xdotool({"windowfocus", "--sync", id});
    return id;
  }

  Geometry GeometryOf(const std::string& id) const {
    std::map<std::string, int> values;
    for (const std::string& line : Lines(Server().Xdotool({"getwindowgeometry", "--shell", id}))) {
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    }
    return Geometry{values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]};
  }

  // Clicks at a point given in dialog units of the client area.
  void ClickAtDialogUnits(const std::string& id, int x, int y) const {
    Server().Xdotool({"mousemove", "--window", id, "--sync", std::to_string(m_font.X(x)), std::to_string(m_font.Y(y))});
    Server().Xdotool({"click", "1"});
  }

  void Type(const std::string& text) const { Server().Xdotool({"type", "--delay", "30", text}); }
  void Key(const std::string& key) const { Server().Xdotool({"key", "--delay", "30", key}); }

  // The window as an image, and the colours of its pixels along a row.
  std::vector<std::string> RowColours(const std::string& id, int row, const std::string& name) const {
    mkdir(DESKTOP_SCREENSHOTS, 0755);
    const std::string file = std::string(DESKTOP_SCREENSHOTS) + "/" + name + ".png";
    Server().Run({"import", "-window", id, file});
    const std::string text = Server().Run({"convert", file, "-crop", "x1+0+" + std::to_string(row), "+repage",
                                           "-depth", "8", "txt:-"});
    std::vector<std::string> colours;
    for (const std::string& line : Lines(text)) {
      const std::size_t hash = line.find('#');
      if (line[0] != '#' && hash != std::string::npos) colours.push_back(line.substr(hash + 1, 6));
    }
    return colours;
  }

  // The middle of the run of thumb-coloured pixels on a row from `from` to
  // `to`; -1 when none.
  static double ThumbCentre(const std::vector<std::string>& colours, int from, int to) {
    int first = -1, last = -1;
    for (std::size_t x = from; x < colours.size() && static_cast<int>(x) < to; ++x) {
      if (colours[x] == "6B6B6B" || colours[x] == "3584E4") {
        if (first < 0) first = static_cast<int>(x);
        last = static_cast<int>(x);
      }
    }
    return first < 0 ? -1.0 : (first + last) / 2.0;
  }

  win::desktop::DialogFont m_font;
  static std::unique_ptr<XvfbServer> s_server;
};

std::unique_ptr<XvfbServer> DesktopDialog::s_server;

TEST_F(DesktopDialog, AppearsWithItsCaptionSizedByTheFontsMetrics) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty()) << "no window named " << kCaption;
  const Geometry geometry = GeometryOf(id);
  // The template's 178 by 62 dialog units through "Sans 8".
  EXPECT_EQ(geometry.width, m_font.X(178));
  EXPECT_EQ(geometry.height, m_font.Y(62));
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
}

TEST_F(DesktopDialog, TypedValuesComeBackOnOk) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  // The first field has the focus with its text selected: typing replaces it.
  Type("500");
  Key("Tab");
  Key("alt+i");  // the mnemonic of "&Iterations:" goes to its field
  Type("300");
  Key("Return");  // the default button
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_EQ(client.Output(), "OK 500 300\n");
}

TEST_F(DesktopDialog, AValueOutOfRangeShowsTheBoxAndTheFocusReturnsToTheField) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  Type("2000");
  Key("Tab");
  // The box comes over the dialog, with the dialog's caption.
  EXPECT_TRUE(WaitUntil([&] { return WindowsNamed(kCaption).size() == 2; })) << "no message box";
  Key("Return");
  EXPECT_TRUE(WaitUntil([&] { return WindowsNamed(kCaption).size() == 1; })) << "the box stayed";
  // Back in the field, its text selected: what is typed replaces it.
  Type("7");
  Key("Return");
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_EQ(client.Output(), "OK 7 20\n");
}

TEST_F(DesktopDialog, EscapeCancels) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  ASSERT_FALSE(WaitForDialog().empty());
  Type("123");
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
  EXPECT_EQ(client.Output(), "Cancel\n");
}

TEST_F(DesktopDialog, TheCloseButtonCancels) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  ASSERT_TRUE(SendDeleteWindow(Server().Display(), std::stoul(id)));
  EXPECT_EQ(client.WaitForExit(), 1);
  EXPECT_EQ(client.Output(), "Cancel\n");
}

TEST_F(DesktopDialog, TheMousePagesATrackbarAndClicksOk) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  // On the first trackbar's channel, right of its thumb (at 5 of 0..1000):
  // a page (50) towards the click.
  ClickAtDialogUnits(id, 160, 12);
  // The OK button (7, 41, 50 by 14).
  ClickAtDialogUnits(id, 32, 48);
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_EQ(client.Output(), "OK 55 20\n");
}

TEST_F(DesktopDialog, TheWheelMovesTheFocusedTrackbarByALine) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  Key("Tab");  // to the first trackbar, at 5
  Server().Xdotool({"mousemove", "--window", id, "--sync", std::to_string(m_font.X(120)), std::to_string(m_font.Y(30))});
  Server().Xdotool({"click", "--repeat", "3", "--delay", "30", "5"});  // down: towards the end
  Server().Xdotool({"click", "4"});                                     // up: back one
  Key("Return");
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_EQ(client.Output(), "OK 7 20\n");
}

TEST_F(DesktopDialog, RepaintsWhatTheWindowSystemChanges) {
  Client client(Server(), {DESKTOP_DIALOG_FIXTURE});
  const std::string id = WaitForDialog();
  ASSERT_FALSE(id.empty());
  // The first trackbar's row (8 to 17 dialog units), from 93 to 171 units,
  // and the first field's (7 to 19), from 61 to 91.
  const int row = (m_font.Y(8) + m_font.Y(17)) / 2;
  const int left = m_font.X(93), right = m_font.X(171);
  const double quarter = (right - left) / 4.0;
  const int fieldRow = (m_font.Y(7) + m_font.Y(19)) / 2;
  auto field = [&](const std::vector<std::string>& colours) {
    const auto from = colours.begin() + std::min<std::size_t>(colours.size(), m_font.X(61));
    const auto to = colours.begin() + std::min<std::size_t>(colours.size(), m_font.X(91));
    return std::vector<std::string>(from, to);
  };
  const std::vector<std::string> fieldBefore = field(RowColours(id, fieldRow, "dialog"));
  const double before = ThumbCentre(RowColours(id, row, "dialog"), left, right);
  EXPECT_GE(before, left);
  EXPECT_LT(before, left + quarter);
  // Typing changes the field alone: its text is drawn anew.
  Type("1000");
  EXPECT_TRUE(WaitUntil([&] { return field(RowColours(id, fieldRow, "dialog-typed")) != fieldBefore; }))
      << "the field was not repainted";
  // Leaving the field sets the trackbar, which moves its thumb to the end.
  Key("Tab");
  EXPECT_TRUE(WaitUntil([&] {
    const double after = ThumbCentre(RowColours(id, row, "dialog-at-1000"), left, right);
    return after > right - quarter && after <= right;
  })) << "the thumb did not move to the end";
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
}

#ifdef CALVANE_PROGRAM
// calvane -i on a desktop: the plug-in's own dialog, on the values given;
// what is typed there is the set the run uses (--dry-run prints it).
TEST_F(DesktopDialog, CalvaneShowsThePluginsDialogOnTheDesktopAndUsesWhatIsTyped) {
  Client client(Server(), {CALVANE_PROGRAM, "-i", "--dry-run", "--variance", "12", "--iterations", "30"});
  ASSERT_FALSE(WaitForDialog().empty()) << "no dialog on the desktop";
  Type("18");  // the variance field has the focus, its text selected
  Key("alt+i");
  Type("45");
  Key("Return");
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_EQ(client.Output(), "Noise Type: Additive\nNoise Variance: 18 (maximum 10000000)\nIterations: 45\n");
}

TEST_F(DesktopDialog, CalvaneOnTheDesktopCancelsWithEscape) {
  Client client(Server(), {CALVANE_PROGRAM, "-i", "--ui", "desktop", "--dry-run", "--variance", "12"});
  ASSERT_FALSE(WaitForDialog().empty()) << "no dialog on the desktop";
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
  EXPECT_EQ(client.Output(), "") << "nothing printed after a cancel";
}

// The picture window beside the dialog and the run, on files of the test's own.
class CalvanePicture : public DesktopDialog {
 protected:
  void SetUp() override {
    DesktopDialog::SetUp();
    if (IsSkipped()) return;
    char folder[] = "/tmp/calvane-picture-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    m_folder = folder;
    // In a sanitized build, the program started here draws its picture
    // through GTK, whose display connection and software GL renderer keep
    // what they allocate until the process ends: no leak check for it (the
    // leak checker still watches every test process and the program's own
    // tests elsewhere).
    const char* options = std::getenv("LSAN_OPTIONS");
    m_leakOptions = options != nullptr ? std::optional<std::string>(options) : std::nullopt;
    setenv("LSAN_OPTIONS", ((options != nullptr ? std::string(options) + ":" : std::string()) + "detect_leaks=0").c_str(), 1);
  }
  void TearDown() override {
    if (m_leakOptions) {
      setenv("LSAN_OPTIONS", m_leakOptions->c_str(), 1);
    } else {
      unsetenv("LSAN_OPTIONS");
    }
    if (!m_folder.empty()) Server().Run({"rm", "-rf", m_folder});
  }

  std::optional<std::string> m_leakOptions;

  std::string Path(const std::string& name) const { return m_folder + "/" + name; }
  static bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
  }

  // The picture window's id once it is shown; empty when it does not come.
  std::string WaitForPicture() const {
    std::string id;
    WaitUntil([&] {
      const std::vector<std::string> windows = Lines(Server().Xdotool({"search", "--onlyvisible", "--name", "^calvane"}));
      if (windows.size() == 1) id = windows.front();
      return !id.empty();
    });
    return id;
  }

  // The window's pixels in `region` (ImageMagick's geometry), as text lines
  // of its "txt:" format.
  std::string Screenshot(const std::string& id, const std::string& name, const std::string& region = "256x256+0+0") const {
    mkdir(DESKTOP_SCREENSHOTS, 0755);
    const std::string file = std::string(DESKTOP_SCREENSHOTS) + "/" + name + ".png";
    // import asks for a window to be clicked when the id has gone: bounded.
    if (!Exists(file) || std::remove(file.c_str()) == 0) Server().Run({"timeout", "5", "import", "-window", id, file});
    return Server().Run({"convert", file, "-crop", region, "+repage", "-depth", "8", "txt:-"});
  }

  std::string m_folder;
};

TEST_F(CalvanePicture, ThePictureIsShownBesideTheDialogWhichKeepsTheKeyboard) {
  // Red on the left, blue on the right, 256 by 192: shown at 1:1.
  Server().Run({"convert", "-size", "128x192", "xc:red", "-size", "128x192", "xc:blue", "+append", Path("in.png")});
  ASSERT_TRUE(Exists(Path("in.png")));
  Client client(Server(), {CALVANE_PROGRAM, "-i", Path("in.png"), Path("out.png")});
  std::vector<std::string> dialogs;
  ASSERT_TRUE(WaitUntil([&] { return (dialogs = WindowsNamed(kCaption)).size() == 1; })) << "no dialog";
  const std::string picture = WaitForPicture();
  ASSERT_FALSE(picture.empty()) << "no picture window";
  EXPECT_NE(picture, dialogs.front());
  const Geometry geometry = GeometryOf(picture);
  EXPECT_EQ(geometry.width, 256);
  EXPECT_EQ(geometry.height, 192);
  std::vector<std::string> row;
  EXPECT_TRUE(WaitUntil([&] {
    row = RowColours(picture, 96, "picture-beside-dialog");
    return row.size() == 256 && row[10] == "FF0000" && row[127] == "FF0000" && row[128] == "0000FF" &&
           row[250] == "0000FF";
  })) << "the picture does not show the image: " << (row.size() > 10 ? row[10] + " " + row[250] : "no row");
  // Shown and painted, the picture has not taken the keyboard from the dialog.
  EXPECT_EQ(Server().Xdotool({"getwindowfocus"}), dialogs.front()) << "the picture took the keyboard";
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
  EXPECT_FALSE(Exists(Path("out.png")));
}

// The mean and standard deviation of a screenshot's red samples.
struct Spread {
  double mean = 0.0, deviation = 0.0;
};
Spread SpreadOf(const std::string& pixels) {
  double sum = 0.0, squares = 0.0;
  std::size_t count = 0;
  for (const std::string& line : Lines(pixels)) {
    const std::size_t hash = line.find('#');
    if (line[0] == '#' || hash == std::string::npos) continue;
    const double red = std::stoi(line.substr(hash + 1, 2), nullptr, 16);
    sum += red;
    squares += red * red;
    ++count;
  }
  if (count == 0) return Spread{};
  const double mean = sum / count;
  return Spread{mean, std::sqrt(std::max(0.0, squares / count - mean * mean))};
}

// A noisy grey picture the run visibly smooths, large enough that its run
// lasts seconds.
void MakeNoisyPicture(const XvfbServer& server, const std::string& path) {
  server.Run({"convert", "-seed", "7", "-size", "2048x1536", "xc:gray50", "-attenuate", "3", "+noise", "Gaussian",
              path});
}

TEST_F(CalvanePicture, TheRunIsShownAsItGoesAndEnds) {
  MakeNoisyPicture(Server(), Path("in.png"));
  Client client(Server(), {CALVANE_PROGRAM, "-i", Path("in.png"), Path("out.png"), "--variance", "20000", "--iterations",
                           "300"});
  ASSERT_FALSE(WaitForDialog().empty());
  const std::string picture = WaitForPicture();
  ASSERT_FALSE(picture.empty());
  // Grey 50% (128 of 255) with its noise: the picture, not the window's
  // dark background (64), is shown. The picture is fitted at a quarter of
  // its size into 512x384; the dialog's preview covers its middle
  // megapixel, so the corner is looked at.
  const std::string corner = "96x64+0+0";
  Spread before;
  ASSERT_TRUE(WaitUntil([&] {
    before = SpreadOf(Screenshot(picture, "run-before", corner));
    return std::abs(before.mean - 128) < 8 && before.deviation > 4;
  })) << "the noisy picture is not shown: mean " << before.mean << ", deviation " << before.deviation;
  Key("Return");  // OK: the run begins
  // While the run goes on the picture is the working image: the same grey,
  // its noise smoothed away.
  Spread during;
  EXPECT_TRUE(WaitUntil([&] {
    during = SpreadOf(Screenshot(picture, "run-during", corner));
    return std::abs(during.mean - before.mean) < 4 && during.deviation < before.deviation / 2;
  })) << "the picture was not redrawn during the run: mean " << during.mean << ", deviation " << during.deviation
      << " (before " << before.deviation << ")";
  EXPECT_EQ(client.WaitForExit(), 0);
  EXPECT_TRUE(Exists(Path("out.png")));
}

TEST_F(CalvanePicture, TheDialogsValuesArePreviewedOnThePictureBeforeOk) {
  // 512x384 shows at 1:1 and is previewed whole.
  Server().Run({"convert", "-seed", "11", "-size", "512x384", "xc:gray50", "-attenuate", "3", "+noise", "Gaussian",
                Path("in.png")});
  Client client(Server(), {CALVANE_PROGRAM, "-i", Path("in.png"), Path("out.png"), "--variance", "2", "--iterations",
                           "200"});
  const std::string dialog = WaitForDialog();
  ASSERT_FALSE(dialog.empty());
  const std::string picture = WaitForPicture();
  ASSERT_FALSE(picture.empty());
  const auto previewOf = [&](const std::string& level, const std::string& name) {
    const std::string caption = "calvane - preview, Noise Variance " + level + ", Iterations 200";
    EXPECT_TRUE(WaitUntil([&] { return Server().Xdotool({"getwindowname", picture}) == caption; }))
        << "no finished preview of level " << level << ": the caption is "
        << Server().Xdotool({"getwindowname", picture});
    Spread spread;
    // Painted once the caption says so; the picture is looked at until
    // two screenshots agree.
    WaitUntil([&] {
      const Spread last = spread;
      spread = SpreadOf(Screenshot(picture, name));
      return spread.deviation == last.deviation;
    });
    return spread;
  };
  // The dialog opens on the command line's level: held within 2 of the
  // noisy picture, the preview keeps nearly all of its noise.
  const Spread low = previewOf("2", "preview-level-2");
  EXPECT_GT(low.deviation, 10);
  EXPECT_NEAR(low.mean, 128, 8);
  // A level typed in the dialog and validated (Tab) is previewed: the same
  // grey, its noise smoothed away.
  Key("alt+v");
  Server().Xdotool({"type", "--delay", "30", "20000"});
  Key("Tab");
  const Spread high = previewOf("20000", "preview-level-20000");
  EXPECT_NEAR(high.mean, low.mean, 4);
  EXPECT_LT(high.deviation, low.deviation / 3) << "the preview did not follow the level";
  // S in the picture: the original left of a line across the middle, the
  // preview right of it (above where the dialog may cover the picture).
  Server().Xdotool({"windowfocus", "--sync", picture});
  Key("s");
  Spread left, right;
  EXPECT_TRUE(WaitUntil([&] {
    left = SpreadOf(Screenshot(picture, "split-left", "200x300+0+0"));
    right = SpreadOf(Screenshot(picture, "split-right", "200x300+300+0"));
    return left.deviation > 10 && right.deviation < left.deviation / 3;
  })) << "no before/after line: deviations " << left.deviation << " and " << right.deviation;
  Server().Xdotool({"windowfocus", "--sync", dialog});
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 1);
  EXPECT_FALSE(Exists(Path("out.png")));
}

TEST_F(CalvanePicture, EscapeInThePictureStopsTheRunAsCtrlCDoes) {
  MakeNoisyPicture(Server(), Path("in.png"));
  Client client(Server(), {CALVANE_PROGRAM, "-i", Path("in.png"), Path("out.png"), "--variance", "2000", "--iterations",
                           "1000"});
  ASSERT_FALSE(WaitForDialog().empty());
  const std::string picture = WaitForPicture();
  ASSERT_FALSE(picture.empty());
  Key("Return");
  ASSERT_TRUE(WaitUntil([&] {
    return Server().Xdotool({"getwindowname", picture}).find("denoising") != std::string::npos;
  })) << "the run's progress is not in the caption";
  Server().Xdotool({"windowfocus", "--sync", picture});
  Key("Escape");
  EXPECT_EQ(client.WaitForExit(), 130);
  EXPECT_FALSE(Exists(Path("out.png")));
}
#endif

}  // namespace
