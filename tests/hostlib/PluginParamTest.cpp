#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/HostErrors.h"
#include "host/PluginParam.h"

namespace {

TEST(PluginParam, EntriesKeepTheirOrderKindsAndLimits) {
  PluginParam params(3);
  std::string name = "Noise Type";
  std::string a = "Additive", m = "Multiplicative";
  {
    char* items[2] = {a.data(), m.data()};
    params.AddStrListParam(name.data(), items, 2, 1);
  }
  // The set keeps its own copies: what was passed in may go away.
  name.assign("changed!!");
  a.assign("changed!");
  params.AddFloatParam(const_cast<char*>("Noise Variance"), 5.0f, 0.0f, 10000000.0f);
  params.AddIntParam(const_cast<char*>("Iterations"), 20, 1, 1000);

  ASSERT_EQ(params.Count(), 3);
  EXPECT_STREQ(params.m_pEntries[0].name, "Noise Type");
  EXPECT_EQ(params.m_pEntries[0].value.i, 1);
  EXPECT_STREQ(params.ItemText(0, 0), "Additive");
  EXPECT_STREQ(params.ItemText(0, 1), "Multiplicative");
  EXPECT_EQ(params.ItemText(0, 2), nullptr);
  EXPECT_EQ(params.ItemText(1, 0), nullptr);
  EXPECT_EQ(params.m_pEntries[1].value.f, 5.0f);
  EXPECT_EQ(params.m_pEntries[1].maximum.f, 10000000.0f);
  EXPECT_EQ(params.m_pEntries[2].value.i, 20);
  EXPECT_EQ(params.m_pEntries[2].minimum.i, 1);
  EXPECT_EQ(params.m_pEntries[2].maximum.i, 1000);
  EXPECT_EQ(params.Find("Iterations"), 2);
  EXPECT_EQ(params.Find("iterations"), -1);

  // The value and maximum fields sit where the plug-in reads them.
  const auto* bytes = reinterpret_cast<const unsigned char*>(params.m_pEntries);
  float value, maximum;
  std::memcpy(&value, bytes + 24 + 8, 4);
  std::memcpy(&maximum, bytes + 24 + 20, 4);
  EXPECT_EQ(value, 5.0f);
  EXPECT_EQ(maximum, 10000000.0f);
}

TEST(PluginParam, GrowsPastTheAnnouncedCount) {
  PluginParam params(1);
  for (int i = 0; i < 10; ++i) params.AddIntParam(const_cast<char*>(("p" + std::to_string(i)).c_str()), i, 0, 9);
  ASSERT_EQ(params.Count(), 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(params.m_pEntries[i].value.i, i);
  EXPECT_STREQ(params.m_pEntries[9].name, "p9");
}

TEST(PluginParam, StringListWithoutItemsIsRefused) {
  PluginParam params(1);
  EXPECT_THROW(params.AddStrListParam(const_cast<char*>("x"), nullptr, 2, 0), AlertableError);
  EXPECT_EQ(params.Count(), 0);
}

}  // namespace
