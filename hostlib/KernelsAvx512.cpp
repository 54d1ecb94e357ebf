// The kernels for processors with AVX-512 F, VL, BW and DQ.
#define CALVANE_KERNEL_SET kAvx512Kernels
#define CALVANE_KERNEL_LEVEL VectorLevel::Avx512
#define CALVANE_KERNEL_NAME "avx512"
#include "hostlib/KernelBody.inc"
