// The kernels for any x86-64 (SSE2).
#define CALVANE_KERNEL_SET kBaselineKernels
#define CALVANE_KERNEL_LEVEL VectorLevel::Baseline
#define CALVANE_KERNEL_NAME "baseline"
#include "hostlib/KernelBody.inc"
