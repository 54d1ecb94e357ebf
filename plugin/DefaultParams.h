// The plug-in's three parameters, their order and their defaults.
#pragma once

class PluginParam;

enum ParamEntry { PARAM_NOISE_TYPE = 0, PARAM_NOISE_VARIANCE = 1, PARAM_ITERATIONS = 2 };

enum NoiseType { NOISE_ADDITIVE = 0, NOISE_MULTIPLICATIVE = 1 };

constexpr float kDefaultNoiseVariance = 5.0f;
constexpr float kMaxNoiseVarianceAdditive = 10000000.0f;
constexpr int kDefaultIterations = 20;
constexpr int kMinIterations = 1;
constexpr int kMaxIterations = 1000;

// A new set holding "Noise Type", "Noise Variance" and "Iterations" with
// their defaults; the caller hands it to the host, which takes it over.
PluginParam* CreateDefaultParams();
