// The range and position that the trackbar, the scroll bar and the up-down
// control share.
#pragma once

#include <algorithm>

#include "win/windows.h"

namespace win::detail {

// Two signed 16-bit numbers packed in one long, as a range or a selection
// travels in one message: each half keeps its sign (-50 stays -50).
inline int SignedLow(LPARAM packed) { return static_cast<SHORT>(LOWORD(packed)); }
inline int SignedHigh(LPARAM packed) { return static_cast<SHORT>(HIWORD(packed)); }

// Signed throughout. Positions are computed wide (long long), so a step past
// either end of int stops at the end of the range instead of wrapping, and
// the position is kept within the range whenever either changes.
struct RangeModel {
  // How the ends are read: as set (a trackbar or a scroll bar whose minimum
  // is above its maximum has the minimum as its only position), or either
  // way round (an up-down control may count down).
  enum class Order { AsSet, EitherWay };

  int min = 0, max = 0;  // the ends as set
  int pos = 0;
  int line = 1;
  long long page = 0;
  Order order = Order::AsSet;
  // A scroll bar shows a page of positions at a time, so its thumb stops
  // page - 1 positions short of the maximum.
  bool pageShowsEnd = false;

  int Lowest() const { return order == Order::EitherWay ? std::min(min, max) : min; }
  int Highest() const {
    if (order == Order::EitherWay) return std::max(min, max);
    if (!pageShowsEnd) return max;
    return static_cast<int>(std::max<long long>(min, static_cast<long long>(max) - std::max<long long>(page - 1, 0)));
  }
  int Clamp(long long value) const {
    return static_cast<int>(std::max<long long>(Lowest(), std::min<long long>(value, Highest())));
  }
  bool Contains(long long value) const { return value >= Lowest() && value <= Highest(); }
  // New ends; the position moves into them.
  void SetRange(int newMin, int newMax) {
    min = newMin;
    max = newMax;
    pos = Clamp(pos);
  }
  // Moves the position to `value`, clamped; true when it changed.
  bool MoveTo(long long value) {
    const int clamped = Clamp(value);
    if (clamped == pos) return false;
    pos = clamped;
    return true;
  }
  // The position `steps` lines or pages away (negative: towards min), clamped.
  int LinesAway(long long steps) const { return Clamp(pos + steps * line); }
  int PagesAway(long long steps) const { return Clamp(pos + steps * page); }
};

}  // namespace win::detail
