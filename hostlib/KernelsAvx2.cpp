// The kernels for processors with AVX2 and FMA (built with -mavx2 -mfma).
#define CALVANE_KERNEL_SET kAvx2Kernels
#define CALVANE_KERNEL_LEVEL VectorLevel::Avx2
#define CALVANE_KERNEL_NAME "avx2"
#include "hostlib/KernelBody.inc"
