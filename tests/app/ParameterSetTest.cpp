#include <gtest/gtest.h>

#include <memory>

#include "app/ExitStatus.h"
#include "app/ParameterSet.h"
#include "host/PluginParam.h"

namespace calvane::app {
namespace {

// A set like the plug-in's, with limits of its own.
std::unique_ptr<PluginParam> MakeSet() {
  auto set = std::make_unique<PluginParam>(3);
  char type[] = "Noise Type", variance[] = "Noise Variance", iterations[] = "Iterations";
  char additive[] = "Additive", multiplicative[] = "Multiplicative";
  char* items[] = {additive, multiplicative};
  set->AddStrListParam(type, items, 2, 0);
  set->AddFloatParam(variance, 5.0f, 0.0f, 10000000.0f);
  set->AddIntParam(iterations, 20, 1, 1000);
  return set;
}

ExitStatus StatusOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const AppError& error) {
    return error.status();
  }
  return ExitStatus::Done;
}

TEST(ParameterSet, DescribesEachParameterOnItsOwnLine) {
  const auto set = MakeSet();
  const std::vector<std::string> expected = {"Noise Type: Additive", "Noise Variance: 5 (maximum 10000000)",
                                             "Iterations: 20"};
  EXPECT_EQ(DescribeParameters(*set), expected);
}

TEST(ParameterSet, WritesValuesByName) {
  const auto set = MakeSet();
  SetListParameter(*set, kNoiseTypeParameter, "multiplicative", "--noise");
  SetFloatParameter(*set, kNoiseVarianceParameter, 12.25, "--variance");
  SetIntParameter(*set, kIterationsParameter, 1000, "--iterations");
  EXPECT_EQ(set->m_pEntries[0].value.i, 1);
  EXPECT_EQ(set->m_pEntries[1].value.f, 12.25f);
  EXPECT_EQ(set->m_pEntries[2].value.i, 1000);
  EXPECT_EQ(DescribeParameters(*set)[1], "Noise Variance: 12.25 (maximum 10000000)");
}

TEST(ParameterSet, KeepsToTheSetsOwnLimits) {
  const auto set = MakeSet();
  set->m_pEntries[1].maximum.f = 1.0f;  // as the dialog leaves it for multiplicative noise
  EXPECT_EQ(StatusOf([&] { SetFloatParameter(*set, kNoiseVarianceParameter, 1.5, "--variance"); }), ExitStatus::Usage);
  EXPECT_EQ(StatusOf([&] { SetFloatParameter(*set, kNoiseVarianceParameter, -0.1, "--variance"); }), ExitStatus::Usage);
  EXPECT_EQ(StatusOf([&] { SetIntParameter(*set, kIterationsParameter, 0, "--iterations"); }), ExitStatus::Usage);
  EXPECT_EQ(StatusOf([&] { SetIntParameter(*set, kIterationsParameter, 1LL << 40, "--iterations"); }),
            ExitStatus::Usage);
  EXPECT_EQ(StatusOf([&] { SetListParameter(*set, kNoiseTypeParameter, "Poisson", "--noise"); }), ExitStatus::Usage);
  EXPECT_EQ(set->m_pEntries[1].value.f, 5.0f) << "a rejected value changes nothing";
  EXPECT_EQ(set->m_pEntries[2].value.i, 20);
  try {
    SetIntParameter(*set, kIterationsParameter, 5000, "--iterations");
  } catch (const AppError& error) {
    EXPECT_STREQ(error.what(), "--iterations: 5000 is outside the limits of Iterations, 1 to 1000");
  }
}

TEST(ParameterSet, AMissingParameterIsThePluginsFault) {
  PluginParam empty(1);
  EXPECT_EQ(StatusOf([&] { SetIntParameter(empty, kIterationsParameter, 5, "--iterations"); }), ExitStatus::Plugin);
  const auto set = MakeSet();
  EXPECT_EQ(StatusOf([&] { SetIntParameter(*set, kNoiseVarianceParameter, 5, "--x"); }), ExitStatus::Plugin)
      << "a parameter of another kind";
}

TEST(ParameterSet, NumbersReadAsAPersonWritesThem) {
  EXPECT_EQ(FormatNumber(10000000.0), "10000000");
  EXPECT_EQ(FormatNumber(0.25), "0.25");
  EXPECT_EQ(FormatNumber(16.9083), "16.9083");
  EXPECT_EQ(FormatNumber(0.0), "0");
}

}  // namespace
}  // namespace calvane::app
