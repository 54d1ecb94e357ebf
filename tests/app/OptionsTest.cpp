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
  EXPECT_EQ(o.noiseLevel, 12.5);
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
    EXPECT_FALSE(p.line.options.noiseLevel);
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

// Every usage error is one sentence of the program's own, naming the option,
// the value given and what is allowed, then the hint; status 2.
TEST(Options, UsageErrorsAreSentencesOfTheProgram) {
  const std::string options =
      " is not an option of calvane; its options are --noise, --variance, --iterations, --channels, --interactive "
      "(-i), --ui, --dry-run, --preview, --quiet (-q), --output-dir (-o), --format, --keep-going, --skip-existing, --shard, --plugin, --max-samples, --help (-h) and --version";
  const std::pair<std::vector<const char*>, std::string> cases[] = {
      {{"--noise", "gaussian", "a.png", "b.png"},
       "--noise: 'gaussian' is not a noise model; use additive, multiplicative, poisson or auto"},
      {{"--iterations", "2.5", "a.png", "b.png"}, "--iterations: '2.5' is neither a whole number nor 'auto'"},
      {{"--iterations", "0x10", "a.png", "b.png"}, "--iterations: '0x10' is neither a whole number nor 'auto'"},
      {{"--channels", "mixed", "a.png", "b.png"}, "--channels: 'mixed' is not a choice; use joint or independent"},
      {{"--dry-run", "--iterations", "auto"}, "'auto' needs an INPUT image to measure; give one, or give the values"},
      // A value option with nothing after it, or an option where its value should be.
      {{"a.png", "b.png", "--variance"}, "--variance needs a value: a number (the noise level, 0 or more) or 'auto'"},
      {{"--variance", "--iterations", "5", "a.png", "b.png"},
       "--variance needs a value: a number (the noise level, 0 or more) or 'auto'"},
      {{"--iterations=", "a.png", "b.png"}, "--iterations needs a value: a whole number from 1 to 1000, or 'auto'"},
      {{"a.png", "b.png", "--noise"}, "--noise needs a value: additive, multiplicative, poisson or auto"},
      {{"a.png", "b.png", "--channels", "-q"}, "--channels needs a value: joint or independent"},
      {{"a.png", "b.png", "--preview"}, "--preview needs a value: the name of an image file"},
      {{"a.png", "b.png", "--plugin"}, "--plugin needs a value: the path of the plug-in library"},
      {{"a.png", "b.png", "--max-samples"}, "--max-samples needs a value: a whole number of samples, 1 or more"},
      {{"--noise", "additive", "--noise=poisson", "a.png", "b.png"},
       "--noise is given more than once; give it once, with additive, multiplicative, poisson or auto"},
      // No bound of a floating-point type: the count itself is what is wrong.
      {{"--max-samples", "0", "a.png", "b.png"}, "--max-samples: '0' is not a whole number of samples, 1 or more"},
      {{"--max-samples", "-5", "a.png", "b.png"}, "--max-samples: '-5' is not a whole number of samples, 1 or more"},
      {{"--max-samples", "1e9", "a.png", "b.png"}, "--max-samples: '1e9' is not a whole number of samples, 1 or more"},
      {{"--frobnicate", "a.png", "b.png"}, "--frobnicate" + options},
      {{"--frobnicate=3", "a.png", "b.png"}, "--frobnicate" + options},
      {{"-x", "a.png", "b.png"}, "-x" + options},
      {{"a.png", "b.png", "c.png"},
       "'c.png' is one argument too many; calvane takes one INPUT and one OUTPUT, or many INPUTs with -o DIR"},
      {{"-i", "--ui", "web", "a.png", "b.png"}, "--ui: 'web' is not a choice; use desktop, terminal or auto"},
      // Batches.
      {{"--format", "tif", "a.png", "b.png"}, "--format 'tif' goes with -o DIR; a single OUTPUT's extension gives its format"},
      {{"-o", "out"}, "-o out needs at least one INPUT: calvane [options] INPUT... -o DIR"},
      {{"-o", "out", "--format", "x/y", "a.png"}, "--format: 'x/y' is not a file extension (such as png or tif)"},
      {{"a.png", "-o"}, "-o needs a value: the folder to write into"},
      {{"--shard", "3", "a.png", "b.png"}, "--shard: '3' is neither K/N (the K-th of N shares, for example 2/8) nor 'auto'"},
      {{"--shard", "4/3", "a.png", "b.png"}, "--shard: '4/3' has no such share; K runs from 1 to N, and N is 1 or more"},
      {{"--shard", "1/2", "--shard", "2/2", "a.png", "b.png"},
       "--shard is given more than once; give it once, with K/N (the K-th of N shares, for example 2/8) or auto"},
      {{}, "INPUT and OUTPUT are required: calvane [options] INPUT OUTPUT (only --dry-run goes without them)"},
      {{"in.png"}, "OUTPUT is required after INPUT 'in.png': calvane [options] INPUT OUTPUT (only --dry-run goes without it)"},
  };
  for (const auto& [args, line] : cases) {
    const Parsed p = Parse(args);
    EXPECT_EQ(p.line.exitStatus, 2) << line;
    EXPECT_EQ(p.err, "calvane: " + line + "\nRun 'calvane --help' for the options and examples.\n");
  }
}

TEST(Options, ManyInputsGoIntoAFolder) {
  const Parsed p = Parse({"--keep-going", "a.png", "scans/b.tif", "-o", "clean", "--format", ".exr", "--skip-existing",
                          "--shard", "2/3", "c_%04d.png"});
  ASSERT_FALSE(p.line.exitStatus) << p.err;
  const Options& o = p.line.options;
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.png", "scans/b.tif", "c_%04d.png"}));
  EXPECT_EQ(o.input, "a.png");
  EXPECT_EQ(o.output, "");
  EXPECT_EQ(o.outputFolder, "clean");
  EXPECT_EQ(o.format, ".exr");
  EXPECT_TRUE(o.keepGoing);
  EXPECT_TRUE(o.skipExisting);
  ASSERT_TRUE(o.shard);
  EXPECT_EQ(o.shard->k, 2);
  EXPECT_EQ(o.shard->n, 3);
  // Without -o the two arguments are INPUT and OUTPUT, and nothing is a batch.
  const Parsed plain = Parse({"a.png", "b.png"});
  ASSERT_FALSE(plain.line.exitStatus) << plain.err;
  EXPECT_EQ(plain.line.options.input, "a.png");
  EXPECT_EQ(plain.line.options.output, "b.png");
  EXPECT_TRUE(plain.line.options.inputs.empty());
  EXPECT_FALSE(plain.line.options.keepGoing || plain.line.options.skipExisting || plain.line.options.shard);
}

TEST(Options, NegativeNumbersAreValuesAndTheSampleLimitIsACount) {
  const Parsed p = Parse({"--variance", "-3", "--max-samples", "18432", "a.png", "b.png"});
  ASSERT_FALSE(p.line.exitStatus) << p.err;
  EXPECT_EQ(p.line.options.noiseLevel, -3.0) << "refused later, by the limits of Noise Variance";
  EXPECT_EQ(p.line.options.maxSamples, 18432u);
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
