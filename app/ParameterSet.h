// Reading and writing the plug-in's parameter set by parameter name, within
// the limits that the set itself carries.
#pragma once

#include <memory>
#include <string>
#include <vector>

class PluginParam;

namespace calvane::app {

constexpr const char* kNoiseTypeParameter = "Noise Type";
constexpr const char* kNoiseVarianceParameter = "Noise Variance";
constexpr const char* kIterationsParameter = "Iterations";

// Each writer names the command-line option in its usage error when the
// value is not one the set allows; a PluginError when the set has no
// parameter of that name and kind.
void SetListParameter(PluginParam& params, const char* name, const std::string& item, const std::string& option);
void SetFloatParameter(PluginParam& params, const char* name, double value, const std::string& option);
void SetIntParameter(PluginParam& params, const char* name, long long value, const std::string& option);

// A set of its own with the same entries, limits and values.
std::unique_ptr<PluginParam> CopyParameters(const PluginParam& params);

// One line per parameter: "Noise Type: Additive",
// "Noise Variance: 5 (maximum 10000000)", "Iterations: 20".
std::vector<std::string> DescribeParameters(const PluginParam& params);

// A number as a person writes it: 5, 0.25, 10000000, 1e+20.
std::string FormatNumber(double value);

}  // namespace calvane::app
