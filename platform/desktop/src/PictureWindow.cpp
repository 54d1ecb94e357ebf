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
// How near the before/after line (in screen pixels) a press takes it.
constexpr double kSplitGrip = 4.0;
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

PicturePart VisiblePart(int areaWidth, int areaHeight, int pictureWidth, int pictureHeight, const PictureView& view) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || areaWidth <= 0 || areaHeight <= 0) return PicturePart{};
  const PicturePlacement place = PlacePicture(areaWidth, areaHeight, pictureWidth, pictureHeight, view);
  // The picture pixels any part of which falls inside the area.
  const auto first = [&](double offset, int size) {
    return std::clamp(static_cast<int>(std::floor(-offset / place.scale)), 0, size);
  };
  const auto end = [&](double offset, int area, int size) {
    return std::clamp(static_cast<int>(std::ceil((area - offset) / place.scale)), 0, size);
  };
  const int left = first(place.x, pictureWidth), right = end(place.x, areaWidth, pictureWidth);
  const int top = first(place.y, pictureHeight), bottom = end(place.y, areaHeight, pictureHeight);
  if (right <= left || bottom <= top) return PicturePart{};
  return PicturePart{left, top, right - left, bottom - top};
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

namespace {

// The overlay over its part, and its outline on the screen pixels just
// outside that part when it is less than the whole picture.
void PaintOverlay(cairo_t* cr, const PicturePlacement& place, int width, int height, const PictureOverlay& overlay) {
  const PicturePart& part = overlay.part;
  cairo_save(cr);
  cairo_translate(cr, place.x, place.y);
  cairo_scale(cr, place.scale, place.scale);
  cairo_rectangle(cr, part.x, part.y, part.width, part.height);
  cairo_clip(cr);
  cairo_set_source_surface(cr, overlay.surface, part.x, part.y);
  cairo_pattern_set_filter(cairo_get_source(cr), place.scale >= 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  if (part.x == 0 && part.y == 0 && part.width == width && part.height == height) return;
  const double left = Whole(place.x + part.x * place.scale), top = Whole(place.y + part.y * place.scale);
  const double right = Whole(place.x + (part.x + part.width) * place.scale);
  const double bottom = Whole(place.y + (part.y + part.height) * place.scale);
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgb(cr, kOverlayOutline[0], kOverlayOutline[1], kOverlayOutline[2]);
  cairo_rectangle(cr, left - 0.5, top - 0.5, right - left + 1.0, bottom - top + 1.0);
  cairo_stroke(cr);
  cairo_restore(cr);
}

}  // namespace

namespace {

// The original left of the split column, and the line on it.
void PaintSplit(cairo_t* cr, int areaHeight, const PicturePlacement& place, cairo_surface_t* original, double split) {
  const double column = Whole(split);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, column, areaHeight);
  cairo_clip(cr);
  cairo_translate(cr, place.x, place.y);
  cairo_scale(cr, place.scale, place.scale);
  cairo_rectangle(cr, 0, 0, cairo_image_surface_get_width(original), cairo_image_surface_get_height(original));
  cairo_clip(cr);
  cairo_set_source_surface(cr, original, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), place.scale >= 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_save(cr);
  cairo_set_source_rgb(cr, kSplitLine[0], kSplitLine[1], kSplitLine[2]);
  cairo_rectangle(cr, column, 0, 1, areaHeight);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace

void PaintPicture(cairo_t* cr, int areaWidth, int areaHeight, cairo_surface_t* picture, const PictureView& view,
                  const PictureOverlay& overlay, cairo_surface_t* original) {
  cairo_save(cr);
  cairo_set_source_rgb(cr, kPictureBackground[0], kPictureBackground[1], kPictureBackground[2]);
  cairo_paint(cr);
  if (picture != nullptr) {
    const int width = cairo_image_surface_get_width(picture);
    const int height = cairo_image_surface_get_height(picture);
    const PicturePlacement place = PlacePicture(areaWidth, areaHeight, width, height, view);
    cairo_save(cr);
    cairo_rectangle(cr, place.x, place.y, width * place.scale, height * place.scale);
    cairo_clip(cr);
    cairo_translate(cr, place.x, place.y);
    cairo_scale(cr, place.scale, place.scale);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), place.scale >= 1.0 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_paint(cr);
    cairo_restore(cr);
    if (overlay.surface != nullptr) PaintOverlay(cr, place, width, height, overlay);
    if (original != nullptr && view.split >= 0 && cairo_image_surface_get_width(original) == width &&
        cairo_image_surface_get_height(original) == height) {
      PaintSplit(cr, areaHeight, place, original, std::min(view.split, static_cast<double>(areaWidth)));
    }
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
  m_viewed = PicturePart{0, 0, width, height};
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
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_postedSource != 0) g_source_remove(m_postedSource);
    m_postedSource = 0;
  }
  g_signal_handlers_disconnect_by_data(m_area, this);
  g_signal_handlers_disconnect_by_data(m_window, this);
  gtk_widget_destroy(m_window);
  DropOverlay();
  cairo_surface_destroy(m_picture);
  cairo_surface_destroy(m_original);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void PictureWindow::DropOverlay() {
  if (m_overlay.surface != nullptr) cairo_surface_destroy(m_overlay.surface);
  m_overlay = PictureOverlay{};
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_hasPosted = false;
  m_posted = Posted{};
}

void PictureWindow::Show(const unsigned char* rgba, int width, int height, int stride) {
  DropOverlay();
  cairo_surface_destroy(m_picture);
  m_picture = PictureSurface(rgba, width, height, stride);
  gtk_widget_queue_draw(m_area);
}

void PictureWindow::Restart(const unsigned char* rgba, int width, int height, int stride) {
  DropOverlay();
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

void PictureWindow::PostOverlay(const unsigned char* rgba, const PicturePart& part, int stride,
                                const std::string& title) {
  const std::lock_guard<std::mutex> lock(m_mutex);
  m_posted.rgba.resize(static_cast<std::size_t>(4) * part.width * part.height);
  for (int y = 0; y < part.height; ++y) {
    std::copy_n(rgba + static_cast<std::ptrdiff_t>(y) * stride, 4 * part.width,
                m_posted.rgba.begin() + static_cast<std::ptrdiff_t>(y) * 4 * part.width);
  }
  m_posted.part = part;
  m_posted.title = title;
  m_hasPosted = true;
  // GLib's sources may be added from any thread; this one runs on the
  // thread that handles the desktop's events.
  if (m_postedSource == 0) m_postedSource = g_idle_add(ShowPosted, this);
}

gboolean PictureWindow::ShowPosted(gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  Posted posted;
  {
    const std::lock_guard<std::mutex> lock(self->m_mutex);
    self->m_postedSource = 0;
    if (!self->m_hasPosted) return G_SOURCE_REMOVE;
    self->m_hasPosted = false;
    posted = std::move(self->m_posted);
  }
  // A part that does not lie on the picture (it changed since) is not shown.
  const int width = cairo_image_surface_get_width(self->m_picture), height = cairo_image_surface_get_height(self->m_picture);
  const PicturePart& part = posted.part;
  if (part.x < 0 || part.y < 0 || part.width <= 0 || part.height <= 0 || part.x + part.width > width ||
      part.y + part.height > height) {
    return G_SOURCE_REMOVE;
  }
  if (self->m_overlay.surface != nullptr) cairo_surface_destroy(self->m_overlay.surface);
  self->m_overlay.surface = PictureSurface(posted.rgba.data(), part.width, part.height, 4 * part.width);
  self->m_overlay.part = part;
  if (!posted.title.empty()) self->SetTitle(posted.title);
  gtk_widget_queue_draw(self->m_area);
  return G_SOURCE_REMOVE;
}

PicturePart PictureWindow::ViewedPart() const {
  const std::lock_guard<std::mutex> lock(m_mutex);
  return m_viewed;
}

void PictureWindow::OnViewChange(void (*callback)(void*), void* data) {
  m_viewChanged = callback;
  m_viewChangedData = data;
}

void PictureWindow::NoteViewedPart(const PicturePart& part) {
  bool changed = false;
  {
    const std::lock_guard<std::mutex> lock(m_mutex);
    changed = part != m_viewed;
    m_viewed = part;
  }
  if (changed && m_viewChanged != nullptr) m_viewChanged(m_viewChangedData);
}

void PictureWindow::Zoom(double factor, double x, double y) {
  m_view = ZoomAbout(m_view, factor, x, y, AreaWidth(), AreaHeight(), cairo_image_surface_get_width(m_picture),
                     cairo_image_surface_get_height(m_picture));
  gtk_widget_queue_draw(m_area);
}

gboolean PictureWindow::OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  const int width = gtk_widget_get_allocated_width(widget), height = gtk_widget_get_allocated_height(widget);
  // The original is shown alone: that is what it is held up for.
  PaintPicture(cr, width, height, self->m_view.original ? self->m_original : self->m_picture, self->m_view,
               self->m_view.original ? PictureOverlay{} : self->m_overlay, self->m_original);
  // Every change of the view or of the window's size is followed by a draw.
  self->NoteViewedPart(VisiblePart(width, height, cairo_image_surface_get_width(self->m_picture),
                                   cairo_image_surface_get_height(self->m_picture), self->m_view));
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
    case GDK_KEY_s:
    case GDK_KEY_S:
      // A before/after line across the middle, or none.
      self->m_view.split = self->m_view.split >= 0 ? -1.0 : Whole(self->AreaWidth() / 2.0);
      gtk_widget_queue_draw(self->m_area);
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
  // Near the before/after line, the line is dragged.
  if (self->m_view.split >= 0 && std::abs(event->x - self->m_view.split) <= kSplitGrip) {
    self->m_draggingSplit = true;
    return TRUE;
  }
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
  if (event->button == 1) self->m_dragging = self->m_draggingSplit = false;
  return TRUE;
}

gboolean PictureWindow::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* self = static_cast<PictureWindow*>(data);
  if (self->m_draggingSplit) {
    self->m_view.split = std::clamp(Whole(event->x), 0.0, static_cast<double>(self->AreaWidth() - 1));
    gtk_widget_queue_draw(self->m_area);
    return TRUE;
  }
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

extern "C" void calvdesktop_picture_post_part(calvdesktop_picture* picture, const unsigned char* rgba, int x, int y,
                                              int width, int height, int stride, const char* title) {
  if (picture == nullptr || rgba == nullptr || width <= 0 || height <= 0 || stride < 4 * width) return;
  Of(picture)->PostOverlay(rgba, win::desktop::PicturePart{x, y, width, height}, stride, title != nullptr ? title : "");
}

extern "C" void calvdesktop_picture_viewed_part(calvdesktop_picture* picture, int* x, int* y, int* width, int* height) {
  const win::desktop::PicturePart part = picture != nullptr ? Of(picture)->ViewedPart() : win::desktop::PicturePart{};
  if (x != nullptr) *x = part.x;
  if (y != nullptr) *y = part.y;
  if (width != nullptr) *width = part.width;
  if (height != nullptr) *height = part.height;
}

extern "C" void calvdesktop_picture_on_view_change(calvdesktop_picture* picture, void (*callback)(void*), void* data) {
  if (picture != nullptr) Of(picture)->OnViewChange(callback, data);
}
