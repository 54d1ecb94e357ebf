// Dialog units on the desktop. A dialog template measures its controls in
// dialog units: four horizontal units are the average width of a character
// of the dialog's font, eight vertical units its height. The desktop uses
// the font it actually draws with ("Sans" at the template's point size) and
// measures it with pango, so a dialog grows with the font and the screen's
// resolution. All sizes are in logical pixels; GTK scales them to device
// pixels on a high-density screen, where pango and cairo draw sharply.
#pragma once

#include <pango/pango.h>

#include <string>

#include "win/windows.h"

namespace win::desktop {

// The family the dialogs are drawn in, whatever face the template names
// (its faces are those of another platform).
inline constexpr char kDialogFontFamily[] = "Sans";
// A template without a font: the size of the usual dialog font.
inline constexpr int kDefaultPointSize = 8;

struct DialogFont {
  int pointSize = kDefaultPointSize;
  // Logical pixels per 4 horizontal and 8 vertical dialog units.
  int baseUnitX = 0, baseUnitY = 0;

  // A dialog-unit edge or length in logical pixels, halves rounded up, so
  // that controls that share an edge in the template share it here.
  int X(int dialogUnitsX) const;
  int Y(int dialogUnitsY) const;

  // "Sans 8": what the dialog's text is drawn with. Free it with
  // pango_font_description_free.
  PangoFontDescription* Description() const;
};

// Measures the dialog font at `pointSize` (0 or less: the default) in
// `context`, which carries the screen's resolution: the base width is the
// average width of the 52 letters of the Latin alphabet, rounded, the base
// height that of a line of the font.
DialogFont MeasureDialogFont(PangoContext* context, int pointSize);

// A pango context for drawing without a display, at `dpi` dots per inch
// (96: one point is 4/3 of a logical pixel). Release it with g_object_unref.
PangoContext* OffscreenPangoContext(double dpi = 96.0);

}  // namespace win::desktop
