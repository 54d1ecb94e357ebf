// The host's picture window beside the dialog: the image being worked on,
// fitted to the window or zoomed, panned by dragging, the original shown
// while B is held. A part of the picture (the host's preview of the part in
// view) may be shown over it. The window is the host's, not the window
// system's: it takes no part in the dialog's focus or modality, and only
// reports that the user asked to stop (Escape, or closing it) and where the
// view is.
#pragma once

#include <cairo.h>
#include <gtk/gtk.h>

#include <mutex>
#include <string>
#include <vector>

namespace win::desktop {

// How the picture is looked at: fitted to the window, or at `zoom` screen
// pixels to a picture pixel with the picture point (centreX, centreY) at the
// window's centre.
struct PictureView {
  bool fit = true;
  double zoom = 1.0;
  double centreX = 0.0, centreY = 0.0;
  bool original = false;  // the original shown instead of the current picture
  // The area column of a before/after line: the original is shown left of
  // it, the current picture right of it. Below 0: no line.
  double split = -1.0;
};

// Where a picture of `pictureWidth` by `pictureHeight` falls in an area:
// window x = x + scale * picture x, likewise for y.
struct PicturePlacement {
  double scale = 1.0;
  double x = 0.0, y = 0.0;
};

PicturePlacement PlacePicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight, const PictureView& view);

// A rectangle of picture pixels.
struct PicturePart {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const PicturePart& other) const {
    return x == other.x && y == other.y && width == other.width && height == other.height;
  }
  bool operator!=(const PicturePart& other) const { return !(*this == other); }
};

// The picture pixels the area shows, whole or in part; empty (zero width
// and height) when the view shows none.
PicturePart VisiblePart(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight, const PictureView& view);

// A part of the picture shown over it: `surface` is `part.width` by
// `part.height` pixels, placed at picture pixel (part.x, part.y).
struct PictureOverlay {
  cairo_surface_t* surface = nullptr;
  PicturePart part;
};

// The view zoomed by `factor` about the area point (x, y), which keeps
// showing the same picture point; a fitted view starts from its fitted
// scale. The zoom stays within 1/64 and 64.
PictureView ZoomAbout(const PictureView& view, double factor, double x, double y, int areaWidth, int areaHeight,
                      int pictureWidth, int pictureHeight);

// Paints the area: the background, and the picture placed by the view;
// magnified pixels are drawn as squares, reduced ones filtered. An overlay
// is painted over its part of the picture, and outlined when that part is
// less than the picture. With a split in the view and an `original` of the
// same size, the original is painted left of the split column and the line
// on that column.
void PaintPicture(cairo_t* cr, int areaWidth, int areaHeight, cairo_surface_t* picture, const PictureView& view,
                  const PictureOverlay& overlay = PictureOverlay{}, cairo_surface_t* original = nullptr);

// An opaque image surface of the RGBA bytes (8 bits each, rows `stride`
// bytes apart; the alpha byte is not shown). The caller destroys it.
cairo_surface_t* PictureSurface(const unsigned char* rgba, int width, int height, int stride);

// The background around the picture.
inline constexpr double kPictureBackground[3] = {64 / 255.0, 64 / 255.0, 64 / 255.0};
// The before/after line.
inline constexpr double kSplitLine[3] = {1.0, 1.0, 1.0};
// The outline of an overlay that covers less than the picture.
inline constexpr double kOverlayOutline[3] = {1.0, 200 / 255.0, 0.0};

class PictureWindow {
 public:
  // GTK must have been initialised. Shown at once, without taking the
  // keyboard focus from the window that has it.
  PictureWindow(const std::string& title, const unsigned char* rgba, int width, int height, int stride);
  ~PictureWindow();
  PictureWindow(const PictureWindow&) = delete;
  PictureWindow& operator=(const PictureWindow&) = delete;

  // The picture shown from now on; the original stays as it was given.
  // Either takes the overlay away, and drops one posted but not yet shown.
  void Show(const unsigned char* rgba, int width, int height, int stride);
  // A new original, shown as the picture too (the next image of a run).
  void Restart(const unsigned char* rgba, int width, int height, int stride);
  void SetTitle(const std::string& title);
  // Handles the desktop's pending events (repaints among them); true once
  // the user asked to stop since the last call.
  bool Poll();

  // From any thread: `rgba` (copied) is to be shown over `part` of the
  // picture, and `title` (unless empty) to be the caption, the next time
  // the desktop's events are handled; a newer post replaces one not yet
  // shown.
  void PostOverlay(const unsigned char* rgba, const PicturePart& part, int stride, const std::string& title);
  // From any thread: the part of the picture the window last showed (the
  // whole picture before it was first painted).
  PicturePart ViewedPart() const;
  // Called on the desktop's thread whenever the part in view has changed.
  void OnViewChange(void (*callback)(void*), void* data);

  GtkWindow* Window() const { return GTK_WINDOW(m_window); }

 private:
  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data);
  static gboolean OnKeyRelease(GtkWidget* widget, GdkEventKey* event, gpointer data);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer data);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
  static gboolean ShowPosted(gpointer data);

  void NoteViewedPart(const PicturePart& part);
  void DropOverlay();

  void Zoom(double factor, double x, double y);
  int AreaWidth() const { return gtk_widget_get_allocated_width(m_area); }
  int AreaHeight() const { return gtk_widget_get_allocated_height(m_area); }

  GtkWidget* m_window = nullptr;
  GtkWidget* m_area = nullptr;
  cairo_surface_t* m_original = nullptr;
  cairo_surface_t* m_picture = nullptr;
  PictureView m_view;
  bool m_dragging = false;
  double m_dragX = 0.0, m_dragY = 0.0;
  bool m_draggingSplit = false;
  bool m_stopAsked = false;
  PictureOverlay m_overlay;
  void (*m_viewChanged)(void*) = nullptr;
  void* m_viewChangedData = nullptr;

  // Shared with the threads that post overlays and read the view.
  struct Posted {
    std::vector<unsigned char> rgba;
    PicturePart part;
    std::string title;
  };
  mutable std::mutex m_mutex;
  PicturePart m_viewed;
  bool m_hasPosted = false;
  Posted m_posted;
  guint m_postedSource = 0;
};

}  // namespace win::desktop
