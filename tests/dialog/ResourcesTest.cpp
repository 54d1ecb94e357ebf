// The plug-in's own resources: dialog template 130 exactly as its resource
// script has it, and the title string.
#include <gtest/gtest.h>

#include <string>

#include "afx/afxres.h"
#include "afx/afxstate.h"
#include "dialog/Resource.h"
#include "win/resources.h"

namespace {

HINSTANCE PluginModule() { return AfxGetStaticModuleState()->m_hCurrentInstanceHandle; }

TEST(PluginResources, TheTitleIsAStringOfThePlugin) {
  std::string title;
  ASSERT_TRUE(win::LoadStringResource(PluginModule(), AFX_IDS_APP_TITLE, &title));
  EXPECT_EQ(title, "Total Variation Denoise");
}

TEST(PluginResources, TheParameterDialogTemplate) {
  HRSRC resource = FindResourceA(PluginModule(), MAKEINTRESOURCEA(IDD_TV_PARAMETERS), RT_DIALOG);
  ASSERT_NE(resource, nullptr);
  const void* data = LockResource(LoadResource(PluginModule(), resource));
  win::DialogTemplateInfo info;
  ASSERT_TRUE(win::ParseDialogTemplate(data, SizeofResource(PluginModule(), resource), &info)) << "a standard template";
  EXPECT_EQ(info.style, 0x80C800C0u);
  EXPECT_EQ(info.exStyle, 0u);
  EXPECT_EQ(info.menuOrdinal, 0);
  EXPECT_TRUE(info.menuName.empty());
  EXPECT_TRUE(info.className.empty());
  EXPECT_EQ(info.caption, "Total Variation Denoise");
  EXPECT_EQ(info.typeface, "MS Sans Serif");
  EXPECT_EQ(info.pointSize, 8);
  EXPECT_EQ(info.x, 0);
  EXPECT_EQ(info.y, 0);
  EXPECT_EQ(info.cx, 178);
  EXPECT_EQ(info.cy, 62);

  struct Item {
    WORD id;
    const char* className;
    const char* text;
    DWORD style;
    short x, y, cx, cy;
  };
  const Item expected[] = {
      {0xFFFF, "Static", "Noise &variance:", 0x5002000C, 7, 8, 50, 8},
      {1014, "Edit", "", 0x50810000, 61, 7, 30, 12},
      {1006, "msctls_trackbar32", "Slider1", 0x50010018, 93, 8, 78, 9},
      {0xFFFF, "Static", "&Iterations:", 0x5002000C, 7, 24, 51, 8},
      {1013, "Edit", "", 0x50810000, 61, 22, 30, 12},
      {1007, "msctls_trackbar32", "Slider1", 0x50010018, 93, 24, 78, 9},
      {1, "Button", "OK", 0x50010001, 7, 41, 50, 14},
      {2, "Button", "Cancel", 0x50010000, 64, 41, 50, 14},
      {1001, "Button", "Help", 0x50010000, 121, 41, 50, 14},
  };
  ASSERT_EQ(info.items.size(), std::size(expected));
  for (std::size_t i = 0; i < info.items.size(); ++i) {
    const win::DialogItemInfo& item = info.items[i];
    const Item& want = expected[i];
    EXPECT_EQ(item.id, want.id) << i;
    EXPECT_EQ(item.className, want.className) << i;
    EXPECT_EQ(item.text, want.text) << i;
    EXPECT_EQ(item.style, want.style) << i;
    EXPECT_EQ(item.exStyle, 0u) << i;
    EXPECT_EQ(item.x, want.x) << i;
    EXPECT_EQ(item.y, want.y) << i;
    EXPECT_EQ(item.cx, want.cx) << i;
    EXPECT_EQ(item.cy, want.cy) << i;
  }
}

}  // namespace
