// The plug-in's parameter list: the three entries of the host's parameter
// set in their order, their names, defaults and limits, and the scale of the
// dialog's variance slider. The lowest layer of the plug-in: it includes
// nothing, and the parameter set (plugin/), the flow (denoise/) and the
// dialog (dialog/) take every one of these values from here.
#pragma once

// Entry numbers: positions in the set's entry array, fixed by the order in
// which CreateDefaultParams adds them.
enum ParamEntry { PARAM_NOISE_TYPE = 0, PARAM_NOISE_VARIANCE = 1, PARAM_ITERATIONS = 2 };
constexpr int kParamCount = 3;

// Item indices of "Noise Type".
enum NoiseType { NOISE_ADDITIVE = 0, NOISE_MULTIPLICATIVE = 1 };
constexpr int kNoiseTypeCount = 2;

// The names and item texts the host shows, exactly.
constexpr const char kNoiseTypeName[] = "Noise Type";
constexpr const char kNoiseVarianceName[] = "Noise Variance";
constexpr const char kIterationsName[] = "Iterations";
constexpr const char kAdditiveName[] = "Additive";
constexpr const char kMultiplicativeName[] = "Multiplicative";

constexpr float kDefaultNoiseVariance = 5.0f;
constexpr float kMinNoiseVariance = 0.0f;
// The variance's upper limit depends on the noise type.
constexpr float kMaxNoiseVarianceAdditive = 10000000.0f;
constexpr float kMaxNoiseVarianceMultiplicative = 1.0f;

constexpr int kDefaultIterations = 20;
constexpr int kMinIterations = 1;
constexpr int kMaxIterations = 1000;

// The largest variance a noise type allows; every type but multiplicative
// has the additive limit.
constexpr float NoiseVarianceMaximum(int nNoiseType) {
  return nNoiseType == NOISE_MULTIPLICATIVE ? kMaxNoiseVarianceMultiplicative : kMaxNoiseVarianceAdditive;
}

// The variance slider runs from 0 to kVarianceSliderSteps; that many steps
// span one slider scale of variance.
constexpr int kVarianceSliderSteps = 1000;
// The slider scale never exceeds this many variance units, so that a step
// stays one unit at most whatever the maximum.
constexpr float kVarianceSliderScaleLimit = 1000.0f;

// Variance units per kVarianceSliderSteps slider steps: the variance maximum,
// or kVarianceSliderScaleLimit when the maximum is larger (1000 for additive
// noise, 1 for multiplicative noise).
constexpr float VarianceSliderScale(int nNoiseType) {
  return NoiseVarianceMaximum(nNoiseType) > kVarianceSliderScaleLimit ? kVarianceSliderScaleLimit
                                                                      : NoiseVarianceMaximum(nNoiseType);
}
