// The per-channel curvature as the host library defines it, in double with
// an exact square root, for the tests to compare with.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace calvane::test {

// The curvature of one w x h plane: forward differences (zero across the
// border), normalised by sqrt(ux^2 + uy^2 + eps^2), backward differences of
// the normalised field.
inline std::vector<double> ReferenceCurvature(const float* u, int w, int h, double eps) {
  std::vector<double> px(static_cast<std::size_t>(w) * h), py(px.size()), k(px.size());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      const double here = u[i];
      const double ux = x + 1 < w ? u[i + 1] - here : 0.0;
      const double uy = y + 1 < h ? u[i + w] - here : 0.0;
      const double norm = std::sqrt(ux * ux + uy * uy + eps * eps);
      px[i] = ux / norm;
      py[i] = uy / norm;
    }
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      k[i] = px[i] - (x > 0 ? px[i - 1] : 0.0) + py[i] - (y > 0 ? py[i - w] : 0.0);
    }
  }
  return k;
}

}  // namespace calvane::test
