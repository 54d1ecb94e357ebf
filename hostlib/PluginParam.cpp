// The host's parameter set: an entry array in the plug-in's layout, with the
// names and item texts copied into storage that the set owns, so they
// outlive whatever passed them in.
#include "host/PluginParam.h"

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "host/HostErrors.h"

struct PluginParam::Storage {
  std::deque<std::string> names;                  // stable addresses for entry names
  std::vector<std::vector<std::string>> items;    // item texts, by entry
};

PluginParam::PluginParam(short count)
    : m_nCount(0), m_pEntries(nullptr), m_nCapacity(count > 0 ? count : 1), m_pStorage(new Storage) {
  m_pEntries = static_cast<PluginParamEntry*>(std::calloc(static_cast<std::size_t>(m_nCapacity), sizeof(PluginParamEntry)));
  if (m_pEntries == nullptr) {
    delete m_pStorage;
    throw AlertableError("not enough memory for a parameter set");
  }
}

PluginParam::~PluginParam() {
  std::free(m_pEntries);
  delete m_pStorage;
}

PluginParamEntry& PluginParam::Append(const char* name, PluginParamKind kind) {
  if (m_nCount == m_nCapacity) {
    // More parameters than announced: grow rather than write past the end.
    const int capacity = m_nCapacity * 2;
    void* grown = std::realloc(m_pEntries, static_cast<std::size_t>(capacity) * sizeof(PluginParamEntry));
    if (grown == nullptr) throw AlertableError("not enough memory for a parameter set");
    m_pEntries = static_cast<PluginParamEntry*>(grown);
    std::memset(m_pEntries + m_nCapacity, 0, static_cast<std::size_t>(capacity - m_nCapacity) * sizeof(PluginParamEntry));
    m_nCapacity = capacity;
  }
  m_pStorage->names.emplace_back(name != nullptr ? name : "");
  m_pStorage->items.emplace_back();
  PluginParamEntry& entry = m_pEntries[m_nCount];
  entry = PluginParamEntry{};
  entry.name = m_pStorage->names.back().c_str();
  entry.kind = kind;
  ++m_nCount;
  return entry;
}

void PluginParam::AddStrListParam(char* name, char** items, int itemCount, int defaultIndex) {
  if (itemCount < 0 || itemCount > 32767 || (itemCount > 0 && items == nullptr)) {
    throw AlertableError("string-list parameter '" + std::string(name ? name : "") + "' has no valid items");
  }
  std::vector<std::string> texts;
  for (int i = 0; i < itemCount; ++i) texts.emplace_back(items[i] != nullptr ? items[i] : "");
  PluginParamEntry& entry = Append(name, PluginParamKind::StrList);
  m_pStorage->items.back() = std::move(texts);
  entry.value.i = defaultIndex;
  entry.itemCount = static_cast<std::int16_t>(itemCount);
  entry.minimum.i = 0;
  entry.maximum.i = itemCount - 1;
}

void PluginParam::AddFloatParam(char* name, float defaultValue, float minimum, float maximum) {
  PluginParamEntry& entry = Append(name, PluginParamKind::Float);
  entry.value.f = defaultValue;
  entry.minimum.f = minimum;
  entry.maximum.f = maximum;
}

void PluginParam::AddIntParam(char* name, int defaultValue, int minimum, int maximum) {
  PluginParamEntry& entry = Append(name, PluginParamKind::Int);
  entry.value.i = defaultValue;
  entry.minimum.i = minimum;
  entry.maximum.i = maximum;
}

int PluginParam::Find(const char* name) const {
  if (name == nullptr) return -1;
  for (int i = 0; i < m_nCount; ++i) {
    if (std::strcmp(m_pEntries[i].name, name) == 0) return i;
  }
  return -1;
}

const char* PluginParam::ItemText(int entry, int index) const {
  if (entry < 0 || entry >= m_nCount || m_pEntries[entry].kind != PluginParamKind::StrList) return nullptr;
  const auto& items = m_pStorage->items[static_cast<std::size_t>(entry)];
  if (index < 0 || static_cast<std::size_t>(index) >= items.size()) return nullptr;
  return items[static_cast<std::size_t>(index)].c_str();
}
