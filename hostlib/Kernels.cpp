#include "hostlib/Kernels.h"

#include <atomic>

namespace calvane::hostlib {

extern const KernelSet kBaselineKernels;
extern const KernelSet kAvx2Kernels;
extern const KernelSet kAvx512Kernels;

namespace {

std::atomic<const KernelSet*> g_active{nullptr};

}  // namespace

VectorLevel SupportedVectorLevel() {
  // libgcc's checks include the operating system's saving of the wide
  // registers, not just the processor's feature bits.
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq")) {
    return VectorLevel::Avx512;
  }
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return VectorLevel::Avx2;
  return VectorLevel::Baseline;
}

const KernelSet* KernelsFor(VectorLevel level) {
  if (static_cast<int>(level) > static_cast<int>(SupportedVectorLevel())) return nullptr;
  switch (level) {
    case VectorLevel::Avx512: return &kAvx512Kernels;
    case VectorLevel::Avx2: return &kAvx2Kernels;
    case VectorLevel::Baseline: break;
  }
  return &kBaselineKernels;
}

const KernelSet& ActiveKernels() {
  const KernelSet* kernels = g_active.load(std::memory_order_acquire);
  if (kernels == nullptr) {
    kernels = KernelsFor(SupportedVectorLevel());
    g_active.store(kernels, std::memory_order_release);
  }
  return *kernels;
}

bool UseKernels(VectorLevel level) {
  const KernelSet* kernels = KernelsFor(level);
  if (kernels == nullptr) return false;
  g_active.store(kernels, std::memory_order_release);
  return true;
}

}  // namespace calvane::hostlib
