// Modules, their resources, string tables and the dialog template format.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "win/resources.h"
#include "win/src/System.h"

namespace win::detail {

Module* ModuleFromHandle(HMODULE hModule) {
  State& state = GetState();
  if (hModule == nullptr) {
    if (state.programModule == nullptr) {
      state.modules.push_back(std::make_unique<Module>());
      state.programModule = state.modules.back().get();
      state.programModule->name = "program";
    }
    return state.programModule;
  }
  auto* module = reinterpret_cast<Module*>(hModule);
  for (auto& candidate : state.modules) {
    if (candidate.get() == module) return module;
  }
  return nullptr;
}

namespace {

// A resource type or name: an integer identifier, or a string compared
// without regard to case ("#123" names the integer 123).
struct ResourceId {
  WORD id = 0;
  std::string text;
};

ResourceId ToId(LPCSTR name) {
  ResourceId result;
  if (IS_INTRESOURCE(name)) {
    result.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    return result;
  }
  if (name[0] == '#') {
    result.id = static_cast<WORD>(std::strtoul(name + 1, nullptr, 10));
    return result;
  }
  for (const char* p = name; *p != '\0'; ++p) result.text += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
  return result;
}

bool Same(const ResourceId& id, WORD storedId, const std::string& storedText) {
  return id.text.empty() ? (storedText.empty() && storedId == id.id) : id.text == storedText;
}

Resource* FindEntry(Module* module, const ResourceId& type, const ResourceId& name) {
  for (auto& resource : module->resources) {
    if (Same(type, resource->typeId, resource->typeName) && Same(name, resource->nameId, resource->nameText)) {
      return resource.get();
    }
  }
  return nullptr;
}

// String tables: block n holds strings 16 * (n - 1) to 16 * n - 1, each a
// 16-bit length followed by that many UTF-16 units.
std::vector<std::u16string> ReadStringBlock(const std::vector<BYTE>& data) {
  std::vector<std::u16string> strings(16);
  std::size_t pos = 0;
  for (auto& text : strings) {
    if (pos + 2 > data.size()) break;
    WORD length;
    std::memcpy(&length, data.data() + pos, 2);
    pos += 2;
    for (WORD i = 0; i < length && pos + 2 <= data.size(); ++i, pos += 2) {
      char16_t unit;
      std::memcpy(&unit, data.data() + pos, 2);
      text += unit;
    }
  }
  return strings;
}

std::vector<BYTE> WriteStringBlock(const std::vector<std::u16string>& strings) {
  std::vector<BYTE> data;
  for (const auto& text : strings) {
    auto length = static_cast<WORD>(text.size());
    data.push_back(static_cast<BYTE>(length & 0xFF));
    data.push_back(static_cast<BYTE>(length >> 8));
    for (char16_t unit : text) {
      data.push_back(static_cast<BYTE>(unit & 0xFF));
      data.push_back(static_cast<BYTE>(unit >> 8));
    }
  }
  return data;
}

}  // namespace

const Resource* FindResourceEntry(HMODULE hModule, LPCSTR name, LPCSTR type) {
  Module* module = ModuleFromHandle(hModule);
  if (module == nullptr || name == nullptr || type == nullptr) return nullptr;
  return FindEntry(module, ToId(type), ToId(name));
}

std::size_t ResourceSizeAt(const void* data) {
  for (auto& module : GetState().modules) {
    for (auto& resource : module->resources) {
      if (!resource->data.empty() && resource->data.data() == data) return resource->data.size();
    }
  }
  return 0;
}

}  // namespace win::detail

using namespace win::detail;

namespace win {

HMODULE CreateModule(const char* name) {
  auto module = std::make_unique<Module>();
  module->name = name != nullptr ? name : "";
  auto* handle = reinterpret_cast<HMODULE>(module.get());
  GetState().modules.push_back(std::move(module));
  return handle;
}

void DestroyModule(HMODULE hModule) {
  if (hModule == nullptr) return;
  State& state = GetState();
  auto* module = reinterpret_cast<Module*>(hModule);
  state.modules.erase(std::remove_if(state.modules.begin(), state.modules.end(),
                                     [module](const auto& candidate) { return candidate.get() == module; }),
                      state.modules.end());
}

const char* ModuleName(HMODULE hModule) {
  Module* module = ModuleFromHandle(hModule);
  return module != nullptr ? module->name.c_str() : nullptr;
}

void AddResource(HMODULE hModule, LPCSTR type, LPCSTR name, std::vector<BYTE> data) {
  Module* module = ModuleFromHandle(hModule);
  if (module == nullptr || type == nullptr || name == nullptr) return;
  ResourceId typeId = ToId(type);
  ResourceId nameId = ToId(name);
  Resource* entry = FindEntry(module, typeId, nameId);
  if (entry == nullptr) {
    module->resources.push_back(std::make_unique<Resource>());
    entry = module->resources.back().get();
    entry->typeId = typeId.id;
    entry->typeName = typeId.text;
    entry->nameId = nameId.id;
    entry->nameText = nameId.text;
  }
  entry->data = std::move(data);
}

void AddDialogResource(HMODULE hModule, WORD id, const DialogTemplateBuilder& dialog) {
  AddResource(hModule, RT_DIALOG, MAKEINTRESOURCEA(id), dialog.Build());
}

void AddStringResource(HMODULE hModule, UINT id, std::string_view text) {
  Module* module = ModuleFromHandle(hModule);
  if (module == nullptr) return;
  LPCSTR block = MAKEINTRESOURCEA((id >> 4) + 1);
  Resource* entry = FindEntry(module, ToId(RT_STRING), ToId(block));
  std::vector<std::u16string> strings = entry != nullptr ? ReadStringBlock(entry->data) : std::vector<std::u16string>(16);
  strings[id & 15] = Utf8ToUtf16(std::string(text));
  AddResource(hModule, RT_STRING, block, WriteStringBlock(strings));
}

bool LoadStringResource(HMODULE hModule, UINT id, std::string* text) {
  const Resource* entry = FindResourceEntry(hModule, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
  if (entry == nullptr) return false;
  std::u16string wide = ReadStringBlock(entry->data)[id & 15];
  if (wide.empty()) return false;
  if (text != nullptr) *text = Utf16ToUtf8(wide);
  return true;
}

// ---- Dialog templates -------------------------------------------------------------------

DialogTemplateBuilder::DialogTemplateBuilder(DWORD style, short x, short y, short cx, short cy, DWORD exStyle)
    : m_style(style), m_exStyle(exStyle), m_x(x), m_y(y), m_cx(cx), m_cy(cy) {}

DialogTemplateBuilder& DialogTemplateBuilder::Caption(std::string_view caption) {
  m_caption = caption;
  return *this;
}

DialogTemplateBuilder& DialogTemplateBuilder::Font(WORD pointSize, std::string_view typeface) {
  m_pointSize = pointSize;
  m_typeface = typeface;
  m_style |= DS_SETFONT;
  return *this;
}

DialogTemplateBuilder& DialogTemplateBuilder::WindowClass(std::string_view className) {
  m_className = className;
  return *this;
}

DialogTemplateBuilder& DialogTemplateBuilder::Menu(WORD menuId) {
  m_menuId = menuId;
  return *this;
}

DialogTemplateBuilder& DialogTemplateBuilder::Control(WORD id, WORD classOrdinal, std::string_view text, DWORD style,
                                                      short x, short y, short cx, short cy, DWORD exStyle) {
  m_items.push_back(Item{id, classOrdinal, std::string(), std::string(text), style, exStyle, x, y, cx, cy});
  return *this;
}

DialogTemplateBuilder& DialogTemplateBuilder::Control(WORD id, std::string_view className, std::string_view text,
                                                      DWORD style, short x, short y, short cx, short cy,
                                                      DWORD exStyle) {
  m_items.push_back(Item{id, 0, std::string(className), std::string(text), style, exStyle, x, y, cx, cy});
  return *this;
}

namespace {

class Writer {
 public:
  void Word(WORD value) {
    m_bytes.push_back(static_cast<BYTE>(value & 0xFF));
    m_bytes.push_back(static_cast<BYTE>(value >> 8));
  }
  void Dword(DWORD value) {
    Word(static_cast<WORD>(value & 0xFFFF));
    Word(static_cast<WORD>(value >> 16));
  }
  void Short(short value) { Word(static_cast<WORD>(value)); }
  void String(const std::string& text) {
    for (char16_t unit : Utf8ToUtf16(text)) Word(unit);
    Word(0);
  }
  void Ordinal(WORD value) {
    Word(0xFFFF);
    Word(value);
  }
  void AlignDword() {
    while (m_bytes.size() % 4 != 0) m_bytes.push_back(0);
  }
  std::vector<BYTE> Take() { return std::move(m_bytes); }

 private:
  std::vector<BYTE> m_bytes;
};

class Reader {
 public:
  Reader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Word(WORD* value) {
    if (m_pos + 2 > m_size) return false;
    std::memcpy(value, m_data + m_pos, 2);
    m_pos += 2;
    return true;
  }
  bool Dword(DWORD* value) {
    if (m_pos + 4 > m_size) return false;
    std::memcpy(value, m_data + m_pos, 4);
    m_pos += 4;
    return true;
  }
  bool Short(short* value) {
    WORD word;
    if (!Word(&word)) return false;
    *value = static_cast<short>(word);
    return true;
  }
  // A string, or an ordinal introduced by 0xFFFF.
  bool StringOrOrdinal(std::string* text, WORD* ordinal) {
    WORD first;
    if (!Word(&first)) return false;
    *ordinal = 0;
    text->clear();
    if (first == 0xFFFF) return Word(ordinal);
    std::u16string wide;
    for (WORD unit = first; unit != 0;) {
      wide += static_cast<char16_t>(unit);
      if (!Word(&unit)) return false;
    }
    *text = Utf16ToUtf8(wide);
    return true;
  }
  bool String(std::string* text) {
    WORD ordinal;
    return StringOrOrdinal(text, &ordinal) && ordinal == 0;
  }
  bool Bytes(std::vector<BYTE>* out, std::size_t count) {
    if (m_pos + count > m_size) return false;
    out->assign(m_data + m_pos, m_data + m_pos + count);
    m_pos += count;
    return true;
  }
  void AlignDword() { m_pos = (m_pos + 3) & ~static_cast<std::size_t>(3); }

 private:
  const BYTE* m_data;
  std::size_t m_size;
  std::size_t m_pos = 0;
};

const char* PredefinedClassName(WORD ordinal) {
  switch (ordinal) {
    case kButtonClassOrdinal:
      return "Button";
    case kEditClassOrdinal:
      return "Edit";
    case kStaticClassOrdinal:
      return "Static";
    case kListBoxClassOrdinal:
      return "ListBox";
    case kScrollBarClassOrdinal:
      return "ScrollBar";
    case kComboBoxClassOrdinal:
      return "ComboBox";
    default:
      return nullptr;
  }
}

}  // namespace

std::vector<BYTE> DialogTemplateBuilder::Build() const {
  Writer out;
  out.Dword(m_style);
  out.Dword(m_exStyle);
  out.Word(static_cast<WORD>(m_items.size()));
  out.Short(m_x);
  out.Short(m_y);
  out.Short(m_cx);
  out.Short(m_cy);
  if (m_menuId != 0) {
    out.Ordinal(m_menuId);
  } else {
    out.Word(0);
  }
  if (m_className.empty()) {
    out.Word(0);
  } else {
    out.String(m_className);
  }
  out.String(m_caption);
  if ((m_style & DS_SETFONT) != 0) {
    out.Word(m_pointSize);
    out.String(m_typeface);
  }
  for (const Item& item : m_items) {
    out.AlignDword();
    out.Dword(item.style);
    out.Dword(item.exStyle);
    out.Short(item.x);
    out.Short(item.y);
    out.Short(item.cx);
    out.Short(item.cy);
    out.Word(item.id);
    if (item.classOrdinal != 0) {
      out.Ordinal(item.classOrdinal);
    } else {
      out.String(item.className);
    }
    out.String(item.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

bool ParseDialogTemplate(const void* data, std::size_t size, DialogTemplateInfo* info) {
  if (data == nullptr || info == nullptr) return false;
  Reader in(static_cast<const BYTE*>(data), size);
  DialogTemplateInfo result;
  WORD count = 0;
  if (!in.Dword(&result.style) || !in.Dword(&result.exStyle)) return false;
  // An extended template starts with version 1 and signature 0xFFFF.
  if ((result.style & 0xFFFF) == 1 && (result.style >> 16) == 0xFFFF) return false;
  if (!in.Word(&count) || !in.Short(&result.x) || !in.Short(&result.y) || !in.Short(&result.cx) ||
      !in.Short(&result.cy)) {
    return false;
  }
  WORD classOrdinal = 0;
  if (!in.StringOrOrdinal(&result.menuName, &result.menuOrdinal)) return false;
  if (!in.StringOrOrdinal(&result.className, &classOrdinal)) return false;
  if (classOrdinal != 0) result.className = "#" + std::to_string(classOrdinal);
  if (!in.String(&result.caption)) return false;
  if ((result.style & DS_SETFONT) != 0 && (!in.Word(&result.pointSize) || !in.String(&result.typeface))) return false;
  for (WORD i = 0; i < count; ++i) {
    DialogItemInfo item;
    in.AlignDword();
    if (!in.Dword(&item.style) || !in.Dword(&item.exStyle) || !in.Short(&item.x) || !in.Short(&item.y) ||
        !in.Short(&item.cx) || !in.Short(&item.cy) || !in.Word(&item.id)) {
      return false;
    }
    WORD itemClass = 0;
    if (!in.StringOrOrdinal(&item.className, &itemClass)) return false;
    if (itemClass != 0) {
      const char* name = PredefinedClassName(itemClass);
      if (name == nullptr) return false;
      item.className = name;
    }
    if (!in.StringOrOrdinal(&item.text, &item.textOrdinal)) return false;
    WORD extra = 0;
    if (!in.Word(&extra)) return false;
    // The count includes its own word.
    if (extra > 2 && !in.Bytes(&item.creationData, extra - 2u)) return false;
    result.items.push_back(std::move(item));
  }
  *info = std::move(result);
  return true;
}

}  // namespace win

extern "C" {

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName == nullptr) return reinterpret_cast<HMODULE>(ModuleFromHandle(nullptr));
  for (auto& module : GetState().modules) {
    if (lstrcmpiA(module->name.c_str(), lpModuleName) == 0) return reinterpret_cast<HMODULE>(module.get());
  }
  return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  Module* module = ModuleFromHandle(hModule);
  if (module == nullptr || lpFilename == nullptr || nSize == 0) return 0;
  lstrcpynA(lpFilename, module->name.c_str(), static_cast<int>(nSize));
  return static_cast<DWORD>(std::strlen(lpFilename));
}

HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
  const Resource* entry = FindResourceEntry(hModule, lpName, lpType);
  if (entry == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return reinterpret_cast<HRSRC>(const_cast<Resource*>(entry));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  if (hResInfo == nullptr) return nullptr;
  auto* entry = reinterpret_cast<Resource*>(hResInfo);
  return entry->data.empty() ? nullptr : entry->data.data();
}

LPVOID WINAPI LockResource(HGLOBAL hResData) { return hResData; }

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  return hResInfo != nullptr ? static_cast<DWORD>(reinterpret_cast<Resource*>(hResInfo)->data.size()) : 0;
}

BOOL WINAPI FreeResource(HGLOBAL) { return FALSE; }

int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
  if (lpBuffer == nullptr || cchBufferMax <= 0) return 0;
  std::string text;
  if (!win::LoadStringResource(hInstance, uID, &text)) {
    lpBuffer[0] = '\0';
    return 0;
  }
  std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(cchBufferMax) - 1);
  while (count > 0 && count < text.size() && (static_cast<unsigned char>(text[count]) & 0xC0) == 0x80) --count;
  std::memcpy(lpBuffer, text.data(), count);
  lpBuffer[count] = '\0';
  return static_cast<int>(count);
}

}  // extern "C"
