#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <utility>
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
  EXPECT_EQ(o.noise, NoiseModel::Multiplicative);
  EXPECT_TRUE(o.noiseGiven);
  EXPECT_EQ(o.noiseVariance, 12.5);
  EXPECT_EQ(o.iterations, 300);
  EXPECT_EQ(o.channels, ChannelMode::Joint);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.preview, "p.png");
  EXPECT_EQ(o.pluginPath, "/x/libcalvane.so");
}

TEST(Options, LevelAndCountAreAutomaticUnlessGiven) {
  for (const std::vector<const char*>& args : {std::vector<const char*>{"a.png", "b.png"},
                                               {"--variance", "auto", "--iterations", "auto", "a.png", "b.png"},
                                               {"--variance", "AUTO", "--iterations", "Auto", "a.png", "b.png"}}) {
    const Parsed p = Parse(args);
    ASSERT_FALSE(p.line.exitStatus) << p.err;
    EXPECT_FALSE(p.line.options.noiseVariance);
    EXPECT_FALSE(p.line.options.iterations);
    EXPECT_EQ(p.line.options.noise, NoiseModel::Auto);
    EXPECT_FALSE(p.line.options.noiseGiven);
  }
}

TEST(Options, WordsAreCaseInsensitive) {
  const std::pair<const char*, NoiseModel> models[] = {{"ADDITIVE", NoiseModel::Additive},
                                                       {"Multiplicative", NoiseModel::Multiplicative},
                                                       {"poisson", NoiseModel::Poisson},
                                                       {"Auto", NoiseModel::Auto}};
  for (const auto& [word, model] : models) {
    const Parsed p = Parse({"--noise", word, "a.png", "b.png"});
    ASSERT_FALSE(p.line.exitStatus) << p.err;
    EXPECT_EQ(p.line.options.noise, model) << word;
  }
  EXPECT_EQ(Parse({"--channels", "Independent", "a.png", "b.png"}).line.options.channels, ChannelMode::Independent);
  EXPECT_EQ(Parse({"--channels", "JOINT", "a.png", "b.png"}).line.options.channels, ChannelMode::Joint);
}

TEST(Options, UsageErrorsAreSentencesOfTheProgram) {
  const std::pair<std::vector<const char*>, const char*> cases[] = {
      {{"--noise", "gaussian", "a.png", "b.png"},
       "calvane: --noise: 'gaussian' is not a noise model; use additive, multiplicative, poisson or auto\n"},
      {{"--iterations", "2.5", "a.png", "b.png"}, "calvane: --iterations: '2.5' is neither a whole number nor 'auto'\n"},
      {{"--iterations", "0x10", "a.png", "b.png"}, "calvane: --iterations: '0x10' is neither a whole number nor 'auto'\n"},
      {{"--channels", "mixed", "a.png", "b.png"}, "calvane: --channels: 'mixed' is not a choice; use joint or independent\n"},
      {{"--dry-run", "--iterations", "auto"},
       "calvane: 'auto' needs an INPUT image to measure; give one, or give the values\n"},
  };
  for (const auto& [args, line] : cases) {
    const Parsed p = Parse(args);
    EXPECT_EQ(p.line.exitStatus, 2) << line;
    EXPECT_EQ(p.err, std::string(line) + "Run 'calvane --help' for the options and examples.\n");
  }
}

TEST(Options, VarianceIsANumberOrAuto) {
  for (const char* bad : {"abc", "12x", "nan", "inf", "", "1e999"}) {
    const Parsed p = Parse({"--variance", bad, "a.png", "b.png"});
    EXPECT_EQ(p.line.exitStatus, 2) << bad;
    EXPECT_NE(p.err.find("--variance"), std::string::npos) << p.err;
  }
}

TEST(Options, UsageErrorsEndWithStatusTwo) {
  EXPECT_EQ(Parse({}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"in.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--iterations", "many", "a.png", "b.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--frobnicate", "a.png", "b.png"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"a.png", "b.png", "c.png"}).line.exitStatus, 2);
  // auto needs something to measure, even in a dry run.
  EXPECT_EQ(Parse({"--dry-run", "--variance", "auto"}).line.exitStatus, 2);
  EXPECT_EQ(Parse({"--dry-run", "--variance", "4"}).line.exitStatus, std::nullopt) << "nothing asked to be measured";
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
