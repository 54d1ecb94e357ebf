// Modules and their resources. A module (a shared object, the program, a
// test) owns a handle under which it registers its resources: dialog
// templates in the standard binary format and string tables, exactly the
// bytes a resource compiler would have produced. DialogTemplateBuilder is
// that resource compiler for dialogs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "win/windows.h"

namespace win {

// Predefined control classes, by the ordinals a template uses for them.
constexpr WORD kButtonClassOrdinal = 0x0080;
constexpr WORD kEditClassOrdinal = 0x0081;
constexpr WORD kStaticClassOrdinal = 0x0082;
constexpr WORD kListBoxClassOrdinal = 0x0083;
constexpr WORD kScrollBarClassOrdinal = 0x0084;
constexpr WORD kComboBoxClassOrdinal = 0x0085;

// Builds a standard (not extended) dialog template: a DLGTEMPLATE header,
// menu, class, caption, the DS_SETFONT font block, then one DWORD-aligned
// DLGITEMTEMPLATE per control with its class, text and creation data.
// Strings are stored as UTF-16; rectangles are in dialog units.
class WIN_API DialogTemplateBuilder {
 public:
  DialogTemplateBuilder(DWORD style, short x, short y, short cx, short cy, DWORD exStyle = 0);

  DialogTemplateBuilder& Caption(std::string_view caption);
  // Sets DS_SETFONT as well.
  DialogTemplateBuilder& Font(WORD pointSize, std::string_view typeface);
  DialogTemplateBuilder& WindowClass(std::string_view className);
  DialogTemplateBuilder& Menu(WORD menuId);

  // A control of a predefined class (one of the ordinals above).
  DialogTemplateBuilder& Control(WORD id, WORD classOrdinal, std::string_view text, DWORD style, short x, short y,
                                 short cx, short cy, DWORD exStyle = 0);
  // A control of a class given by name, such as "msctls_trackbar32".
  DialogTemplateBuilder& Control(WORD id, std::string_view className, std::string_view text, DWORD style, short x,
                                 short y, short cx, short cy, DWORD exStyle = 0);

  std::vector<BYTE> Build() const;

 private:
  struct Item {
    WORD id;
    WORD classOrdinal;  // 0 when className is used
    std::string className;
    std::string text;
    DWORD style, exStyle;
    short x, y, cx, cy;
  };
  DWORD m_style, m_exStyle;
  short m_x, m_y, m_cx, m_cy;
  std::string m_caption;
  std::string m_className;
  WORD m_menuId = 0;
  WORD m_pointSize = 0;
  std::string m_typeface;
  std::vector<Item> m_items;
};

// A new module named `name` (GetModuleHandleA finds the first of a name).
WIN_API HMODULE CreateModule(const char* name);
// Frees the module and its resources; its handle is invalid afterwards.
WIN_API void DestroyModule(HMODULE hModule);
WIN_API const char* ModuleName(HMODULE hModule);

// Registers (or replaces) a resource of the module. `type` and `name` are
// strings or MAKEINTRESOURCE values.
WIN_API void AddResource(HMODULE hModule, LPCSTR type, LPCSTR name, std::vector<BYTE> data);
WIN_API void AddDialogResource(HMODULE hModule, WORD id, const DialogTemplateBuilder& dialog);
// Stores the string in the RT_STRING block that holds `id`, as a resource
// compiler lays out string tables (16 counted UTF-16 strings per block).
WIN_API void AddStringResource(HMODULE hModule, UINT id, std::string_view text);
// A string resource of any length (LoadStringA cuts to its buffer); false
// when the module has no such string.
WIN_API bool LoadStringResource(HMODULE hModule, UINT id, std::string* text);

// The parts of a dialog template, as the dialog manager reads them. Used by
// the dialog manager, and by tests and tools that inspect templates.
struct DialogItemInfo {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  std::string className;  // predefined classes by their registered names
  std::string text;
  WORD textOrdinal = 0;   // nonzero when the text field held an ordinal
  std::vector<BYTE> creationData;
};
struct DialogTemplateInfo {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD menuOrdinal = 0;
  std::string menuName;
  std::string className;  // empty for the predefined dialog class
  std::string caption;
  WORD pointSize = 0;
  std::string typeface;
  std::vector<DialogItemInfo> items;
};
// Parses a standard template of at most `size` bytes (an extended template
// or a truncated one gives false).
WIN_API bool ParseDialogTemplate(const void* data, std::size_t size, DialogTemplateInfo* info);

}  // namespace win
