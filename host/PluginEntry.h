// The table that the plug-in exports as ENTRYPOINT: a version word and seven
// entries, each taking the host's context. Shared by the plug-in and its host.
#pragma once

#include <cstdint>

class PluginContext;

using PluginEntryFn = int (*)(PluginContext* ctx);

constexpr std::uint32_t kPluginVersionWord = 0x02010000u;
constexpr int kPluginEntryCount = 7;

struct PluginEntryTable {
  std::uint32_t version;                      // word 0
  PluginEntryFn entries[kPluginEntryCount];  // words 1 to 7: entries 1 to 7
};

// Entry numbers as the host calls them (entries[number - 1]).
namespace PluginEntryNumber {
constexpr int Configure = 2;
constexpr int HostOps = 3;
constexpr int Process = 6;
constexpr int Release = 7;
}  // namespace PluginEntryNumber

#define CALVANE_ENTRYPOINT_SYMBOL "ENTRYPOINT"
