// The exported table and the entries' calls, module state and results.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "afx/afxstate.h"
#include "denoise/TvDenoise.h"
#include "host/HostErrors.h"
#include "plugin/DefaultParams.h"
#include "plugin/Entries.h"
#include "plugin/RecordingHost.h"

namespace {

using recording::Context;
using recording::host;
using ::testing::ElementsAre;

int CallEntry(int number, PluginContext* ctx) { return ENTRYPOINT.entries[number - 1](ctx); }

class Entries : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseImages();
    host().Reset();
    work = recording::MakeImage(3, 3, 1, 255.0f, 0.0f, "work");
  }
  void TearDown() override { ReleaseImages(); }
  Image work;
};

TEST_F(Entries, TableHoldsTheVersionWordAndTheEntriesInOrder) {
  EXPECT_EQ(ENTRYPOINT.version, 0x02010000u);
  EXPECT_EQ(ENTRYPOINT.entries[0], &ReturnOneEntry);
  EXPECT_EQ(ENTRYPOINT.entries[1], &ConfigureEntry);
  EXPECT_EQ(ENTRYPOINT.entries[2], &HostOpsEntry);
  EXPECT_EQ(ENTRYPOINT.entries[3], ENTRYPOINT.entries[4]);
  EXPECT_EQ(ENTRYPOINT.entries[5], &ProcessEntry);
  EXPECT_EQ(ENTRYPOINT.entries[6], &ReleaseEntry);
}

TEST_F(Entries, OneFourAndFiveAnswerWithoutCallingTheHost) {
  Context ctx(&work);
  EXPECT_EQ(CallEntry(1, &ctx), 1);
  EXPECT_EQ(CallEntry(4, &ctx), 0);
  EXPECT_EQ(CallEntry(5, &ctx), 0);
  EXPECT_EQ(CallEntry(1, nullptr), 1);
  EXPECT_EQ(CallEntry(4, nullptr), 0);
  EXPECT_TRUE(host().calls.empty());
}

TEST_F(Entries, ThreeCallsTheTwoHostOperations) {
  Context ctx(&work);
  EXPECT_EQ(CallEntry(3, &ctx), 0);
  ASSERT_THAT(host().Ops(), ElementsAre("HostOp38", "HostOp44"));
  EXPECT_THAT(host().calls[0].values, ElementsAre(0, 0, 0));
  EXPECT_THAT(host().calls[1].values, ElementsAre(0, 0, 0, 0, 0, 8, 0, 0, 0));
  EXPECT_TRUE(host().calls[0].moduleStateWasThePluginOwn);
}

TEST_F(Entries, SevenDeletesNullTwiceWhenNothingIsCached) {
  Context ctx(&work);
  for (int round = 0; round < 2; ++round) {
    host().Reset();
    EXPECT_EQ(CallEntry(7, &ctx), 0);
    EXPECT_THAT(host().Ops(), ElementsAre("DeleteImage", "DeleteImage"));
    EXPECT_THAT(host().calls[0].images, ElementsAre("null"));
    EXPECT_THAT(host().calls[1].images, ElementsAre("null"));
  }
}

TEST_F(Entries, ProcessAnswersExactlyZeroOrOneUnderThePluginsModuleState) {
  PluginParam* params = recording::MakeParams(0, 5.0f, 3);
  Context ctx(&work, params);
  EXPECT_EQ(CallEntry(6, &ctx), 0);
  for (const auto& call : host().calls) EXPECT_TRUE(call.moduleStateWasThePluginOwn) << call.op;
  host().Reset();
  host().cancelAtProgressCall = 2;
  EXPECT_EQ(CallEntry(6, &ctx), 1);
  delete params;
}

TEST_F(Entries, ModuleStateIsRestoredAfterEveryReturnOrThrow) {
  AFX_MODULE_STATE outer("outer");
  AFX_MODULE_STATE* const before = AfxSetModuleState(&outer);
  PluginParam* params = recording::MakeParams(0, 5.0f, 3);
  Context ctx(&work, params);
  for (int number : {3, 6, 7}) {
    host().Reset();
    EXPECT_NO_THROW(CallEntry(number, &ctx));
    EXPECT_EQ(AfxGetModuleState(), &outer) << "entry " << number;
    host().onCall = [](const std::string&) { throw AlertableError("host failed"); };
    EXPECT_THROW(CallEntry(number, &ctx), AlertableError) << "entry " << number;
    EXPECT_EQ(AfxGetModuleState(), &outer) << "entry " << number;
  }
  host().Reset();
  AfxSetModuleState(before);
  delete params;
}

TEST(DefaultParams, NamesKindsDefaultsAndLimitsInOrder) {
  PluginParam* params = CreateDefaultParams();
  ASSERT_EQ(params->Count(), 3);
  const PluginParamEntry* e = params->m_pEntries;
  EXPECT_STREQ(e[0].name, "Noise Type");
  EXPECT_EQ(e[0].kind, PluginParamKind::StrList);
  EXPECT_EQ(e[0].value.i, 0);
  EXPECT_STREQ(params->ItemText(0, 0), "Additive");
  EXPECT_STREQ(params->ItemText(0, 1), "Multiplicative");
  EXPECT_STREQ(e[1].name, "Noise Variance");
  EXPECT_EQ(e[1].kind, PluginParamKind::Float);
  EXPECT_EQ(e[1].value.f, 5.0f);
  EXPECT_EQ(e[1].minimum.f, 0.0f);
  EXPECT_EQ(e[1].maximum.f, 10000000.0f);
  EXPECT_STREQ(e[2].name, "Iterations");
  EXPECT_EQ(e[2].kind, PluginParamKind::Int);
  EXPECT_EQ(e[2].value.i, 20);
  EXPECT_EQ(e[2].minimum.i, 1);
  EXPECT_EQ(e[2].maximum.i, 1000);
  delete params;
}

}  // namespace
