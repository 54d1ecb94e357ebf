#include <algorithm>
#include <cmath>
#include <cstdint>

#include "desktop/desktop.h"
#include "desktop/picture.h"

namespace win::desktop {
namespace {

constexpr double kLeastZoom = 1.0 / 64, kMostZoom = 64.0;
constexpr double kKeyZoomStep = 2.0;
constexpr double kWheelZoomStep = 1.25;
// The window's first size: the picture fitted into this, never enlarged.
constexpr int kFirstWidth = 512, kFirstHeight = 384, kLeastSide = 64;

// A whole pixel, so that a picture at 1:1 lands on the screen's pixels.
double Whole(double value) { return std::floor(value + 0.5); }

}  // namespace

PicturePlacement PlacePicture(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight, const PictureView& view) {
  PicturePlacement place;
  if (pictureWidth <= 0 || pictureHeight <= 0) return place;
  if (view.fit) {
    place.scale = std::min(static_cast<double>(areaWidth) / pictureWidth, static_cast<double>(areaHeight) / pictureHeight);
    if (!(place.scale > 0)) place.scale = 1.0;
    place.x = Whole((areaWidth - pictureWidth * place.scale) / 2);
    place.y = Whole((areaHeight - pictureHeight * place.scale) / 2);
  } else {
    place.scale = view.zoom;
    place.x = Whole(areaWidth / 2.0 - view.centreX * view.zoom);
    place.y = Whole(areaHeight / 2.0 - view.centreY * view.zoom);
  }
  return place;
}

PictureView ZoomAbout(const PictureView& view, double factor, double x, double y, int areaWidth, int areaHeight,
                      int pictureWidth, int pictureHeight) {
  const PicturePlacement place = PlacePicture(areaWidth, areaHeight, pictureWidth, pictureHeight, view);
  const double pictureX = (x - place.x) / place.scale;
  const double pictureY = (y - place.y) / place.scale;
  PictureView zoomed = view;
  zoomed.fit = false;
  zoomed.zoom = std::clamp(place.scale * factor, kLeastZoom, kMostZoom);
  zoomed.centreX = pictureX + (areaWidth / 2.0 - x) / zoomed.zoom;
  zoomed.centreY = pictureY + (areaHeight / 2.0 - y) / zoomed.zoom;
  return zoomed;
}

void PaintPicture(cairo_t* cr, int areaWidth, int areaHeight, cairo_surface_t* picture, const PictureView& view) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, kPictureBackground[0], kPictureBackground[1], kPictureBackground[2]);
  cairo_paint(cr);
  if (picture != nullptr) {
    const int width = cairo_image_surface_get_width(picture);
    const int height = cairo_image_surface_get_height(picture);
    const PicturePlacement place = PlacePicture(areaWidth, areaHeight, width, height, view);
    cairo_rectangle(cr, place.x, place.y, width * place.scale, height * place.scale);
    cairo_clip(cr);
    cairo_translate(cr, place.x, place.y);
    cairo_scale(cr, place.scale, place.scale);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), place.scale >= 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_paint(cr);
  }
  cairo_restore(cr);
}

cairo_surface_t* PictureSurface(const unsigned char* rgba, int width, int height, int stride) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, std::max(width, 1), std::max(height, 1));
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || rgba == nullptr || width <= 0 || height <= 0) return surface;
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int rowBytes = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const unsigned char* in = rgba + static_cast<std::ptrdiff_t>(y) * stride;
    auto* out = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * rowBytes);
    for (int x = 0; x < width; ++x, in += 4) {
      out[x] = (std::uint32_t{in[0]} << 16) | (std::uint32_t{in[1]} << 8) | std::uint32_t{in[2]};
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

PictureWindow::PictureWindow(const std::string& title, const unsigned char* rgba, int width, int height, int stride) {
  m_original = PictureSurface(rgba, width, height, stride);
  m_picture = cairo_surface_reference(m_original);
  m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(m_window);
  gtk_window_set_title(window, title.c_str());
  // The dialog keeps the keyboard: the picture takes it only when clicked.
  gtk_window_set_focus_on_map(window, FALSE);
  const double first = std::min({1.0, static_cast<double>(kFirstWidth) / std::max(width, 1),
                                 static_cast<double>(kFirstHeight) / std::max(height, 1)});
  gtk_window_set_default_size(window, std::max(kLeastSide, static_cast<int>(Whole(width * first))),
                              std::max(kLeastSide, static_cast<int>(Whole(height * first))));
  m_area = gtk_drawing_area_new();
  gtk_widget_add_events(m_area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                    GDK_SCROLL_MASK);
  gtk_container_add(GTK_CONTAINER(m_window), m_area);
  g_signal_connect(m_area, "draw", G_CALLBACK(OnDraw), this);
  g_signal_connect(m_area, "button-press-event", G_CALLBACK(OnButtonPress), this);
  g_signal_connect(m_area, "button-release-event", G_CALLBACK(OnButtonRelease), this);
  g_signal_connect(m_area, "motion-notify-event", G_CALLBACK(OnMotion), this);
  g_signal_connect(m_area, "scroll-event", G_CALLBACK(OnScroll), this);
  g_signal_connect(m_window, "key-press-event", G_CALLBACK(OnKeyPress), this);
  g_signal_connect(m_window, "key-release-event", G_CALLBACK(OnKeyRelease), this);
  g_signal_connect(m_window, "delete-event", G_CALLBACK(OnDelete), this);
  gtk_widget_show_all(m_window);
}

PictureWindow::~PictureWindow() {
  g_signal_handlers_disconnect_by_data(m_area, this);
  g_signal_handlers_disconnect_by_data(m_window, this);
  gtk_widget_destroy(m_window);
  cairo_surface_destroy(m_picture);
  cairo_surface_destroy(m_original);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void PictureWindow::Show(const unsigned char* rgba, int width, int height, int stride) {
  cairo_surface_destroy(m_picture);
  m_picture = PictureSurface(rgba, width, height, stride);
  gtk_widget_queue_draw(m_area);
}

void PictureWindow::Restart(const unsigned char* rgba, int width, int height, int stride) {
  cairo_surface_destroy(m_original);
  m_original = PictureSurface(rgba, width, height, stride);
  cairo_surface_destroy(m_picture);
  m_picture = cairo_surface_reference(m_original);
  gtk_widget_queue_draw(m_area);
}

void PictureWindow::SetTitle(const std::string& title) { gtk_window_set_title(GTK_WINDOW(m_window), title.c_str()); }

bool PictureWindow::Poll() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  const bool asked = m_stopAsked;
  m_stopAsked = false;
  return asked;
}

void PictureWindow::Zoom(double factor, double x, double y) {
  m_view = ZoomAbout(m_view, factor, x, y, AreaWidth(), AreaHeight(), cairo_image_surface_get_width(m_picture),
                     cairo_image_surface_get_height(m_picture));
  gtk_widget_queue_draw(m_area);
}

gboolean PictureWindow::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  PaintPicture(cr, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget),
               self->m_view.original ? self->m_original : self->m_picture, self->m_view);
  return TRUE;
}

gboolean PictureWindow::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  const double midX = self->AreaWidth() / 2.0, midY = self->AreaHeight() / 2.0;
  switch (event->keyval) {
    case GDK_KEY_plus:
    case GDK_KEY_equal:
    case GDK_KEY_KP_Add:
      self->Zoom(kKeyZoomStep, midX, midY);
      return TRUE;
    case GDK_KEY_minus:
    case GDK_KEY_KP_Subtract:
      self->Zoom(1.0 / kKeyZoomStep, midX, midY);
      return TRUE;
    case GDK_KEY_1:
    case GDK_KEY_KP_1: {
      // 1:1 about the middle of the window.
      const PicturePlacement place =
          PlacePicture(self->AreaWidth(), self->AreaHeight(), cairo_image_surface_get_width(self->m_picture),
                       cairo_image_surface_get_height(self->m_picture), self->m_view);
      self->Zoom(1.0 / place.scale, midX, midY);
      return TRUE;
    }
    case GDK_KEY_0:
    case GDK_KEY_KP_0:
      self->m_view.fit = true;
      gtk_widget_queue_draw(self->m_area);
      return TRUE;
    case GDK_KEY_b:
    case GDK_KEY_B:
      if (!self->m_view.original) {
        self->m_view.original = true;
        gtk_widget_queue_draw(self->m_area);
      }
      return TRUE;
    case GDK_KEY_Escape:
      self->m_stopAsked = true;
      return TRUE;
    default:
      return FALSE;
  }
}

gboolean PictureWindow::OnKeyRelease(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  if (event->keyval != GDK_KEY_b && event->keyval != GDK_KEY_B) return FALSE;
  self->m_view.original = false;
  gtk_widget_queue_draw(self->m_area);
  return TRUE;
}

gboolean PictureWindow::OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  if (event->button != 1 || event->type != GDK_BUTTON_PRESS) return FALSE;
  // Dragging a fitted picture goes on from its fitted scale.
  if (self->m_view.fit) self->m_view = ZoomAbout(self->m_view, 1.0, event->x, event->y, self->AreaWidth(),
                                                 self->AreaHeight(), cairo_image_surface_get_width(self->m_picture),
                                                 cairo_image_surface_get_height(self->m_picture));
  self->m_dragging = true;
  self->m_dragX = event->x;
  self->m_dragY = event->y;
  return TRUE;
}

gboolean PictureWindow::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  if (event->button == 1) self->m_dragging = false;
  return TRUE;
}

gboolean PictureWindow::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  if (!self->m_dragging) return FALSE;
  self->m_view.centreX -= (event->x - self->m_dragX) / self->m_view.zoom;
  self->m_view.centreY -= (event->y - self->m_dragY) / self->m_view.zoom;
  self->m_dragX = event->x;
  self->m_dragY = event->y;
  gtk_widget_queue_draw(self->m_area);
  return TRUE;
}

gboolean PictureWindow::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  double steps = 0.0;
  if (event->direction == GDK_SCROLL_UP) steps = 1.0;
  if (event->direction == GDK_SCROLL_DOWN) steps = -1.0;
  if (event->direction == GDK_SCROLL_SMOOTH) steps = -event->delta_y;
  if (steps == 0.0) return FALSE;
  self->Zoom(std::pow(kWheelZoomStep, steps), event->x, event->y);
  return TRUE;
}

gboolean PictureWindow::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // The window stays until the host closes it; closing it asks to stop.
  static_cast<PictureWindow*>(data)->m_stopAsked = true;
  return TRUE;
}

}  // namespace win::desktop

extern "C" calvdesktop_picture* calvdesktop_picture_open(const char* title, const unsigned char* rgba, int width,
                                                          int height, int stride) {
  if (!win::desktop::Available() || rgba == nullptr || width <= 0 || height <= 0 || stride < 4 * width) return nullptr;
  auto* window = new win::desktop::PictureWindow(title != nullptr ? title : "", rgba, width, height, stride);
  return reinterpret_cast<calvdesktop_picture*>(window);
}

namespace {
win::desktop::PictureWindow* Of(calvdesktop_picture* picture) {
  return reinterpret_cast<win::desktop::PictureWindow*>(picture);
}
}  // namespace

extern "C" void calvdesktop_picture_show(calvdesktop_picture* picture, const unsigned char* rgba, int width,
                                         int height, int stride, int restart) {
  if (picture == nullptr || rgba == nullptr || width <= 0 || height <= 0 || stride < 4 * width) return;
  if (restart != 0) {
    Of(picture)->Restart(rgba, width, height, stride);
  } else {
    Of(picture)->Show(rgba, width, height, stride);
  }
}

extern "C" void calvdesktop_picture_set_title(calvdesktop_picture* picture, const char* title) {
  if (picture != nullptr) Of(picture)->SetTitle(title != nullptr ? title : "");
}

extern "C" int calvdesktop_picture_poll(calvdesktop_picture* picture) {
  return picture != nullptr && Of(picture)->Poll() ? 1 : 0;
}

extern "C" void calvdesktop_picture_close(calvdesktop_picture* picture) { delete Of(picture); }
