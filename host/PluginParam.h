// The host's parameter set. The plug-in reads and writes the value field of
// each entry, and the maximum field of a floating-point entry, in place; the
// rest of an entry belongs to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/HostApi.h"

enum class PluginParamKind : std::int16_t { None = 0, StrList = 1, Float = 2, Int = 3 };

union PluginParamValue {
  std::int32_t i;
  float f;
};

struct PluginParamEntry {
  const char* name;             // bytes 0-7: host-defined (name, host-owned copy)
  PluginParamValue value;       // bytes 8-11: current value (index for a string list)
  PluginParamKind kind;         // bytes 12-13: host-defined
  std::int16_t itemCount;       // bytes 14-15: host-defined (string lists)
  PluginParamValue minimum;     // bytes 16-19: host-defined
  PluginParamValue maximum;     // bytes 20-23: maximum of a float parameter
};

static_assert(sizeof(PluginParamEntry) == 24, "a parameter entry is 24 bytes");
static_assert(offsetof(PluginParamEntry, value) == 8, "the value field is at byte 8");
static_assert(offsetof(PluginParamEntry, maximum) == 20, "the maximum field is at byte 20");

class CALVANE_HOST_API PluginParam {
 public:
  // An empty set with room for `count` entries (at least 1); adding more
  // grows it. Out of memory: AlertableError (or std::bad_alloc).
  explicit PluginParam(short count);
  ~PluginParam();
  PluginParam(const PluginParam&) = delete;
  PluginParam& operator=(const PluginParam&) = delete;

  // Each appends an entry; the name (null: "") and item texts are copied,
  // so the arguments need not outlive the call. Values are stored as given:
  // a default outside its limits, or limits the wrong way round, are no
  // error here. Out of memory: AlertableError when the entry array cannot
  // grow, std::bad_alloc when a text cannot be copied; the entries stay.
  // A string list's limits are 0 and itemCount - 1; an itemCount below 0 or
  // above 32767, or items null with itemCount above 0: AlertableError.
  void AddStrListParam(char* name, char** items, int itemCount, int defaultIndex);
  void AddFloatParam(char* name, float defaultValue, float minimum, float maximum);
  void AddIntParam(char* name, int defaultValue, int minimum, int maximum);

  // Host-side conveniences; the plug-in uses the entry array directly.
  int Count() const { return m_nCount; }
  int Find(const char* name) const;  // the first entry of that exact name; -1 when none or null
  // The text of item `index` of string-list entry `entry`; null when either
  // is out of range or the entry is no string list.
  const char* ItemText(int entry, int index) const;

  std::int32_t m_nCount;       // entries added so far
  PluginParamEntry* m_pEntries;  // the entry array, in the order of adding

 private:
  struct Storage;
  PluginParamEntry& Append(const char* name, PluginParamKind kind);
  int m_nCapacity;
  Storage* m_pStorage;
};
