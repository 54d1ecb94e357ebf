#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "desktop/metrics.h"

namespace win::desktop {
namespace {

int DivideRoundingHalfUp(long long numerator, long long denominator) {
  // Floor of numerator / denominator + 1/2, for negative edges too.
  const long long twice = 2 * numerator + denominator;
  const long long doubled = 2 * denominator;
  long long quotient = twice / doubled;
  if ((twice % doubled != 0) && ((twice < 0) != (doubled < 0))) --quotient;
  return static_cast<int>(quotient);
}

}  // namespace

int DialogFont::X(int dialogUnitsX) const { return DivideRoundingHalfUp(1LL * dialogUnitsX * baseUnitX, 4); }

int DialogFont::Y(int dialogUnitsY) const { return DivideRoundingHalfUp(1LL * dialogUnitsY * baseUnitY, 8); }

PangoFontDescription* DialogFont::Description() const {
  PangoFontDescription* description = pango_font_description_new();
  pango_font_description_set_family(description, kDialogFontFamily);
  pango_font_description_set_size(description, pointSize * PANGO_SCALE);
  return description;
}

DialogFont MeasureDialogFont(PangoContext* context, int pointSize) {
  DialogFont font;
  font.pointSize = pointSize > 0 ? pointSize : kDefaultPointSize;
  PangoFontDescription* description = font.Description();
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  PangoRectangle logical;
  pango_layout_get_extents(layout, nullptr, &logical);
  // The average over 52 letters, rounded to a whole pixel: (w / 26 + 1) / 2.
  const double width = static_cast<double>(logical.width) / PANGO_SCALE;
  font.baseUnitX = std::max(1, static_cast<int>(std::floor((width / 26.0 + 1.0) / 2.0)));
  font.baseUnitY = std::max(1, static_cast<int>(std::lround(static_cast<double>(logical.height) / PANGO_SCALE)));
  g_object_unref(layout);
  pango_font_description_free(description);
  return font;
}

PangoContext* OffscreenPangoContext(double dpi) {
  PangoFontMap* map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(map);
  pango_cairo_context_set_resolution(context, dpi);
  return context;
}

}  // namespace win::desktop
