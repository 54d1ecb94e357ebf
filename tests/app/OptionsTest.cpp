#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/Options.h"

namespace calvane::app {
namespace {

struct Parsed {
  CommandLine line;
  std::string out;
  std::string err;
};

Parsed Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "calvane");
  std::ostringstream out;
  std::ostringstream err;
  Parsed parsed{ParseCommandLine(static_cast<int>(args.size()), args.data(), out, err), "", ""};
  parsed.out = out.str();
  parsed.err = err.str();
  return parsed;
}

TEST(Options, ReadsEveryOption) {
  const Parsed p = Parse({"--noise", "Multiplicative", "--variance", "12.5", "--iterations", "300", "-q", "--preview",
                          "p.png", "--plugin", "/x/libcalvane.so", "in.png", "out.png"});
  ASSERT_FALSE(p.line.exitStatus) << p.err;
  const Options& o = p.line.options;
  EXPECT_EQ(o.input, "in.png");
  EXPECT_EQ(o.output, "out.png");
  EXPECT_EQ(o.noiseType, "Multiplicative");
  EXPECT_EQ(o.noiseVariance, 12.5);
  EXPECT_FALSE(o.autoVariance);
  EXPECT_EQ(o.iterations, 300);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.preview, "p.png");
  EXPECT_EQ(o.pluginPath, "/x/libcalvane.so");
}

TEST(Options, VarianceIsANumberOrAuto) {
  EXPECT_TRUE(Parse({"--variance", "auto", "a.png", "b.png"}).line.options.autoVariance);
  for (const char* bad : {"abc", "12x", "nan", "inf", "", "1e999"}) {
    const Parsed p = Parse({"--variance", bad, "a.png", "b.png"});
    EXPECT_EQ(p.line.exitStatus, 2) << bad;
    EXPECT_NE(p.err.find("--variance"), std::string::npos) << p.err;
  }
}

TEST(Options, UsageErrorsEndWithStatusTwo) {
  EXPECT_EQ(Parse({}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"in.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--noise", "gaussian", "a.png", "b.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--iterations", "many", "a.png", "b.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--frobnicate", "a.png", "b.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"a.png", "b.png", "c.png"}).line.exitStatus, 2);
  // auto needs something to measure, even in a dry run.
  EXPECT_EQ(Parse({"--dry-run", "--variance", "auto"}).line.exitStatus, 2);
}

TEST(Options, DryRunNeedsNoFiles) {
  const Parsed p = Parse({"--dry-run", "--iterations", "40"});
  EXPECT_FALSE(p.line.exitStatus) << p.err;
  EXPECT_TRUE(p.line.options.dryRun);
}

TEST(Options, HelpAndVersionEndWithStatusZero) {
  const Parsed help = Parse({"--help"});
  EXPECT_EQ(help.line.exitStatus, 0);
  EXPECT_NE(help.out.find("Examples:"), std::string::npos);
  EXPECT_NE(help.out.find("--variance"), std::string::npos);
  const Parsed version = Parse({"--version"});
  EXPECT_EQ(version.line.exitStatus, 0);
  EXPECT_EQ(version.out, VersionText() + "\n");
}

}  // namespace
}  // namespace calvane::app
