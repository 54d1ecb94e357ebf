// The plug-in calls the context's operations by their position in its
// operation table. Call through the raw table to prove the positions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HostErrors.h"
#include "host/PluginContext.h"

namespace {

class SpyContext final : public PluginContext {
 public:
  std::vector<std::string> calls;
  void SetParams(PluginParam*) override { calls.push_back("SetParams"); }
  PluginParam* GetParams() override {
    calls.push_back("GetParams");
    return nullptr;
  }
  Image* GetImage(int, int, int, int d) override {
    calls.push_back("GetImage" + std::to_string(d));
    return nullptr;
  }
  int UpdateView(int, int) override {
    calls.push_back("UpdateView");
    return 0;
  }
  int HostOp38(int, int, int) override {
    calls.push_back("HostOp38");
    return 0;
  }
  int HostOp44(int, int, int, int, int, int f, int, int, int) override {
    calls.push_back("HostOp44:" + std::to_string(f));
    return 0;
  }
  unsigned char IsInteractive() override {
    calls.push_back("IsInteractive");
    return 1;
  }
};

template <typename Fn>
Fn Slot(PluginContext* ctx, int position) {
  void** table = *reinterpret_cast<void***>(ctx);
  return reinterpret_cast<Fn>(table[position]);
}

TEST(PluginContextLayout, NamedOperationsSitAtTheirTablePositions) {
  SpyContext spy;
  PluginContext* ctx = &spy;
  Slot<void (*)(PluginContext*, PluginParam*)>(ctx, PluginContextSlot::SetParams)(ctx, nullptr);
  Slot<PluginParam* (*)(PluginContext*)>(ctx, PluginContextSlot::GetParams)(ctx);
  Slot<Image* (*)(PluginContext*, int, int, int, int)>(ctx, PluginContextSlot::GetImage)(ctx, 0, 0, 0, 1);
  Slot<int (*)(PluginContext*, int, int)>(ctx, PluginContextSlot::UpdateView)(ctx, 0, 0);
  Slot<int (*)(PluginContext*, int, int, int)>(ctx, PluginContextSlot::HostOp38)(ctx, 0, 0, 0);
  Slot<int (*)(PluginContext*, int, int, int, int, int, int, int, int, int)>(ctx, PluginContextSlot::HostOp44)(
      ctx, 0, 0, 0, 0, 0, 8, 0, 0, 0);
  EXPECT_EQ((Slot<unsigned char (*)(PluginContext*)>(ctx, PluginContextSlot::IsInteractive)(ctx)), 1);
  EXPECT_EQ(spy.calls, (std::vector<std::string>{"SetParams", "GetParams", "GetImage1", "UpdateView", "HostOp38",
                                                 "HostOp44:8", "IsInteractive"}));
  EXPECT_EQ(PluginContextSlot::SetParams, 11);
  EXPECT_EQ(PluginContextSlot::GetParams, 12);
  EXPECT_EQ(PluginContextSlot::GetImage, 31);
  EXPECT_EQ(PluginContextSlot::UpdateView, 32);
  EXPECT_EQ(PluginContextSlot::HostOp38, 38);
  EXPECT_EQ(PluginContextSlot::HostOp44, 44);
  EXPECT_EQ(PluginContextSlot::IsInteractive, 45);
}

TEST(HostErrors, ReportedFlagMessageAndShow) {
  AlertableError plain("disk on fire");
  EXPECT_EQ(plain.IsReported(), 0);
  EXPECT_EQ(plain.GetMessageText(), "disk on fire");
  EXPECT_STREQ(plain.what(), "disk on fire");
  plain.SetReported(1);
  EXPECT_NE(plain.IsReported(), 0);

  static std::string shown;
  const ShowableErrorSink previous = SetShowableErrorSink([](const char* text) { shown = text; });
  ShowableError showable("look at me");
  std::exception& asStd = showable;
  auto* alertable = dynamic_cast<AlertableError*>(&asStd);
  ASSERT_NE(alertable, nullptr);
  auto* canShow = dynamic_cast<ShowableError*>(alertable);
  ASSERT_NE(canShow, nullptr);
  canShow->Show();
  EXPECT_EQ(shown, "look at me");
  EXPECT_NE(showable.IsReported(), 0);
  SetShowableErrorSink(previous);
}

}  // namespace
