// The desktop presentation of the window system: every top-level window is
// a window of the desktop (GTK 3, on X11 or Wayland) with its caption, its
// client area painted from the window system's own state, and the desktop's
// keyboard and mouse fed back as the window system's input.
//
//   if (win::desktop::Available()) {
//     std::unique_ptr<win::Presentation> desktop = win::desktop::MakeDesktopPresentation();
//     win::PresentationScope scope(*desktop);
//     dialog.DoModal();                       // shown and driven on the desktop
//   }
//
// This header needs no GTK headers: a program that only chooses between
// presentations includes it and links calvdesktop.
#pragma once

#include <memory>
#include <string>

#include "win/presentation.h"

namespace win::desktop {

// Why the desktop cannot be used (no DISPLAY or WAYLAND_DISPLAY, or GTK
// cannot open the display); empty when it can. The first call that finds
// a display initialises GTK for the process.
WIN_API std::string UnavailableReason();
WIN_API bool Available();

// The desktop presentation; null when the desktop is not available.
WIN_API std::unique_ptr<Presentation> MakeDesktopPresentation();

}  // namespace win::desktop

// The same for a program that opens this library only when it shows a
// dialog (dlopen), so that GTK is not loaded for every run: the reason as a
// string the library keeps, and a presentation the caller deletes (null
// when the desktop is not available).
extern "C" {
WIN_API const char* calvdesktop_unavailable_reason();
WIN_API win::Presentation* calvdesktop_make_presentation();

// The host's picture window beside the dialog (the program's, not the
// plug-in's): RGBA bytes, 8 bits each, rows `stride` bytes apart, copied.
// Opened (null when the desktop is not available or the picture is empty)
// showing `rgba` as the original, without taking the keyboard focus.
struct calvdesktop_picture;
WIN_API calvdesktop_picture* calvdesktop_picture_open(const char* title, const unsigned char* rgba, int width,
                                                       int height, int stride);
// Shows `rgba` in place of the picture; with `restart` nonzero it is a new
// original too (the next image of a run).
WIN_API void calvdesktop_picture_show(calvdesktop_picture* picture, const unsigned char* rgba, int width, int height,
                                      int stride, int restart);
WIN_API void calvdesktop_picture_set_title(calvdesktop_picture* picture, const char* title);
// Handles the desktop's pending events; 1 when the user asked to stop
// (Escape in the window, or closing it) since the last call, else 0.
WIN_API int calvdesktop_picture_poll(calvdesktop_picture* picture);
WIN_API void calvdesktop_picture_close(calvdesktop_picture* picture);
// From any thread: `rgba` (width by height, copied) is to be shown over the
// picture at picture pixel (x, y), and `title` (unless null or empty) to be
// the caption, the next time the desktop's events are handled; a newer post
// replaces one not yet shown. Showing a picture takes the part away.
WIN_API void calvdesktop_picture_post_part(calvdesktop_picture* picture, const unsigned char* rgba, int x, int y,
                                           int width, int height, int stride, const char* title);
// From any thread: the picture pixels the window last showed.
WIN_API void calvdesktop_picture_viewed_part(calvdesktop_picture* picture, int* x, int* y, int* width, int* height);
// `callback(data)` is called on the desktop's thread each time the part in
// view changes (zoom, pan, the window's size); null stops it.
WIN_API void calvdesktop_picture_on_view_change(calvdesktop_picture* picture, void (*callback)(void*), void* data);
}
