#include "app/ParameterSet.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/ExitStatus.h"
#include "host/PluginParam.h"

namespace calvane::app {
namespace {

PluginParamEntry& Entry(PluginParam& params, const char* name, PluginParamKind kind) {
  const int index = params.Find(name);
  if (index < 0 || params.m_pEntries[index].kind != kind) {
    throw AppError(ExitStatus::Plugin, std::string("the plug-in's parameter set has no parameter '") + name + "'");
  }
  return params.m_pEntries[index];
}

std::string OutsideLimits(const std::string& option, const std::string& value, const char* name, double minimum,
                          double maximum) {
  return option + ": " + value + " is outside the limits of " + name + ", " + FormatNumber(minimum) + " to " +
         FormatNumber(maximum);
}

}  // namespace

std::string FormatNumber(double value) {
  char text[32];
  if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.6g", value);
  }
  return text;
}

std::unique_ptr<PluginParam> CopyParameters(const PluginParam& params) {
  auto copy = std::make_unique<PluginParam>(static_cast<short>(std::max(params.Count(), 1)));
  for (int index = 0; index < params.Count(); ++index) {
    const PluginParamEntry& entry = params.m_pEntries[index];
    char* name = const_cast<char*>(entry.name);
    if (entry.kind == PluginParamKind::StrList) {
      std::vector<char*> items;
      for (int i = 0; i < entry.itemCount; ++i) items.push_back(const_cast<char*>(params.ItemText(index, i)));
      copy->AddStrListParam(name, items.data(), entry.itemCount, entry.value.i);
    } else {
      copy->AddIntParam(name, 0, 0, 0);
    }
    // The entry as it stands, limits and all, with the copy's own name.
    PluginParamEntry& copied = copy->m_pEntries[index];
    copied = PluginParamEntry{copied.name, entry.value, entry.kind, entry.itemCount, entry.minimum, entry.maximum};
  }
  return copy;
}

void SetListParameter(PluginParam& params, const char* name, const std::string& item, const std::string& option) {
  const int index = params.Find(name);
  PluginParamEntry& entry = Entry(params, name, PluginParamKind::StrList);
  std::string known;
  for (int i = 0; i < entry.itemCount; ++i) {
    const char* text = params.ItemText(index, i);
    if (text != nullptr && strcasecmp(text, item.c_str()) == 0) {
      entry.value.i = i;
      return;
    }
    known += std::string(known.empty() ? "" : ", ") + (text != nullptr ? text : "");
  }
  throw UsageError(option + ": '" + item + "' is not a choice of " + name + " (" + known + ")");
}

void SetFloatParameter(PluginParam& params, const char* name, double value, const std::string& option) {
  PluginParamEntry& entry = Entry(params, name, PluginParamKind::Float);
  const double minimum = entry.minimum.f;
  const double maximum = entry.maximum.f;
  if (!(value >= minimum && value <= maximum)) {
    throw UsageError(OutsideLimits(option, FormatNumber(value), name, minimum, maximum));
  }
  entry.value.f = static_cast<float>(value);
}

void SetIntParameter(PluginParam& params, const char* name, long long value, const std::string& option) {
  PluginParamEntry& entry = Entry(params, name, PluginParamKind::Int);
  if (value < entry.minimum.i || value > entry.maximum.i) {
    throw UsageError(OutsideLimits(option, std::to_string(value), name, entry.minimum.i, entry.maximum.i));
  }
  entry.value.i = static_cast<std::int32_t>(value);
}

std::vector<std::string> DescribeParameters(const PluginParam& params) {
  std::vector<std::string> lines;
  for (int i = 0; i < params.Count(); ++i) {
    const PluginParamEntry& entry = params.m_pEntries[i];
    std::string line = std::string(entry.name) + ": ";
    switch (entry.kind) {
      case PluginParamKind::StrList: {
        const char* item = params.ItemText(i, entry.value.i);
        line += item != nullptr ? item : std::to_string(entry.value.i);
        break;
      }
      case PluginParamKind::Float:
        line += FormatNumber(entry.value.f) + " (maximum " + FormatNumber(entry.maximum.f) + ")";
        break;
      case PluginParamKind::Int: line += std::to_string(entry.value.i); break;
      default: line += "?"; break;
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace calvane::app
