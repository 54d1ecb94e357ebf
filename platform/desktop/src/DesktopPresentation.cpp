#include <cstdlib>

#include "desktop/desktop.h"
#include "desktop/keys.h"
#include "desktop/messagebox.h"
#include "desktop/presentation.h"

namespace win {
namespace {

bool IsRangeControl(HWND hWnd) {
  WindowView view;
  if (!DescribeWindow(hWnd, &view)) return false;
  return view.kind == ControlKind::Trackbar || view.kind == ControlKind::ScrollBar || view.kind == ControlKind::UpDown;
}

GtkMessageType MessageTypeOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
      return GTK_MESSAGE_ERROR;
    case MB_ICONQUESTION:
      return GTK_MESSAGE_QUESTION;
    case MB_ICONEXCLAMATION:
      return GTK_MESSAGE_WARNING;
    case MB_ICONASTERISK:
      return GTK_MESSAGE_INFO;
    default:
      return GTK_MESSAGE_OTHER;
  }
}

}  // namespace

DesktopPresentation::DesktopPresentation() = default;

DesktopPresentation::~DesktopPresentation() {
  while (!m_surfaces.empty()) Remove(m_surfaces.begin()->first);
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

DesktopPresentation::Surface* DesktopPresentation::Find(HWND hWnd) const {
  auto it = m_surfaces.find(hWnd);
  return it != m_surfaces.end() ? it->second.get() : nullptr;
}

GtkWindow* DesktopPresentation::DesktopWindowOf(HWND hWnd) const {
  Surface* surface = Find(hWnd);
  return surface != nullptr ? GTK_WINDOW(surface->window) : nullptr;
}

DesktopPresentation::Surface& DesktopPresentation::SurfaceFor(HWND hWnd, const WindowView& view) {
  if (Surface* existing = Find(hWnd)) return *existing;
  auto surface = std::make_unique<Surface>();
  surface->owner = this;
  surface->hwnd = hWnd;
  surface->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(surface->window);
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_deletable(window, (view.style & WS_SYSMENU) != 0);
  if ((view.exStyle & WS_EX_DLGMODALFRAME) != 0) gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  Surface* ownerSurface = view.owner != nullptr ? Find(GetAncestor(view.owner, GA_ROOT)) : nullptr;
  if (ownerSurface != nullptr) {
    gtk_window_set_transient_for(window, GTK_WINDOW(ownerSurface->window));
    gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
  } else {
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
  }
  surface->area = gtk_drawing_area_new();
  gtk_widget_set_can_focus(surface->area, TRUE);
  gtk_widget_add_events(surface->area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                           GDK_SCROLL_MASK | GDK_KEY_PRESS_MASK);
  gtk_container_add(GTK_CONTAINER(surface->window), surface->area);

  Surface* data = surface.get();
  g_signal_connect(surface->area, "draw", G_CALLBACK(OnDraw), data);
  g_signal_connect(surface->area, "button-press-event", G_CALLBACK(OnButtonPress), data);
  g_signal_connect(surface->area, "button-release-event", G_CALLBACK(OnButtonRelease), data);
  g_signal_connect(surface->area, "motion-notify-event", G_CALLBACK(OnMotion), data);
  g_signal_connect(surface->area, "scroll-event", G_CALLBACK(OnScroll), data);
  // On the window, ahead of GTK's own keys (focus moves, mnemonics).
  g_signal_connect(surface->window, "key-press-event", G_CALLBACK(OnKeyPress), data);
  g_signal_connect(surface->window, "delete-event", G_CALLBACK(OnDelete), data);
  g_signal_connect(surface->window, "notify::is-active", G_CALLBACK(OnActiveChanged), data);

  Surface& result = *surface;
  m_surfaces.emplace(hWnd, std::move(surface));
  return result;
}

void DesktopPresentation::Update(Surface& surface, const WindowView& view) {
  surface.font = desktop::MeasureDialogFont(gtk_widget_get_pango_context(surface.area), view.dialog.pointSize);
  const desktop::WindowLayout layout = desktop::LayOutWindow(view, surface.font);
  if (layout.width != surface.width || layout.height != surface.height) {
    surface.width = layout.width;
    surface.height = layout.height;
    gtk_widget_set_size_request(surface.area, layout.width, layout.height);
  }
  if (view.text != surface.title) {
    surface.title = view.text;
    gtk_window_set_title(GTK_WINDOW(surface.window), view.text.c_str());
  }
  gtk_widget_set_sensitive(surface.area, view.enabled);
  if (!gtk_widget_get_visible(surface.window)) {
    gtk_widget_show_all(surface.window);
    gtk_widget_grab_focus(surface.area);
    gtk_window_present(GTK_WINDOW(surface.window));
  }
  gtk_widget_queue_draw(surface.area);
}

void DesktopPresentation::Remove(HWND hWnd) {
  auto it = m_surfaces.find(hWnd);
  if (it == m_surfaces.end()) return;
  std::unique_ptr<Surface> surface = std::move(it->second);
  m_surfaces.erase(it);
  if (m_press && m_press->window == hWnd) m_press.reset();
  // Signals of the window must not reach the surface once it is gone.
  g_signal_handlers_disconnect_by_data(surface->area, surface.get());
  g_signal_handlers_disconnect_by_data(surface->window, surface.get());
  gtk_widget_destroy(surface->window);
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

void DesktopPresentation::Sync() {
  m_dirty = false;
  std::vector<std::pair<HWND, WindowView>> shown;
  for (HWND top : TopLevelWindows()) {
    WindowView view;
    if (DescribeWindow(top, &view) && view.visible) shown.emplace_back(top, std::move(view));
  }
  std::vector<HWND> gone;
  for (const auto& [hWnd, surface] : m_surfaces) {
    bool stays = false;
    for (const auto& entry : shown) stays = stays || entry.first == hWnd;
    if (!stays) gone.push_back(hWnd);
  }
  for (HWND hWnd : gone) Remove(hWnd);
  // Owners first (bottom of the stacking order first), so that an owned
  // window finds its owner's desktop window.
  for (const auto& [hWnd, view] : shown) Update(SurfaceFor(hWnd, view), view);
}

bool DesktopPresentation::WaitForInput() {
  for (;;) {
    if (m_dirty) Sync();
    // Nothing on the desktop: no input will ever come.
    if (m_surfaces.empty()) return false;
    m_fed = false;
    gtk_main_iteration_do(TRUE);
    if (m_fed) return true;
  }
}

void DesktopPresentation::PollInput() {
  if (m_dirty) Sync();
  m_fed = false;
  while (!m_fed && gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

int DesktopPresentation::ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
  if (m_dirty) Sync();
  HWND front = owner != nullptr ? GetAncestor(owner, GA_ROOT) : UnattendedPresentation::FrontWindow();
  Surface* parent = Find(front);
  GtkWidget* box = gtk_message_dialog_new(parent != nullptr ? GTK_WINDOW(parent->window) : nullptr,
                                          GTK_DIALOG_MODAL, MessageTypeOf(type), GTK_BUTTONS_NONE, "%s",
                                          text != nullptr ? text : "");
  gtk_window_set_title(GTK_WINDOW(box), caption != nullptr ? caption : "");
  for (const desktop::MessageBoxButton& button : desktop::MessageBoxButtons(type)) {
    gtk_dialog_add_button(GTK_DIALOG(box), button.label.c_str(), button.id);
  }
  const int defaultButton = UnattendedPresentation::DefaultButton(type);
  gtk_dialog_set_default_response(GTK_DIALOG(box), defaultButton);
  if (GtkWidget* button = gtk_dialog_get_widget_for_response(GTK_DIALOG(box), defaultButton)) {
    gtk_widget_grab_focus(button);
  }
  const std::optional<int> escape = desktop::EscapeAnswer(type);
  gtk_window_set_deletable(GTK_WINDOW(box), escape.has_value());

  // A press that began on a window ends with the box on top of it.
  m_press.reset();
  ++m_boxesShowing;
  int answer = 0;
  while (answer == 0) {
    const gint response = gtk_dialog_run(GTK_DIALOG(box));
    if (response > 0) {
      answer = response;
    } else if (response == GTK_RESPONSE_NONE) {
      // The box was destroyed under us (the display went away): the answer
      // nobody chose.
      answer = escape.value_or(defaultButton);
      box = nullptr;
    } else if (escape) {
      answer = *escape;
    }
  }
  --m_boxesShowing;
  if (box != nullptr) gtk_widget_destroy(box);
  m_dirty = true;
  return answer;
}

void DesktopPresentation::Beep(UINT) {
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_beep(display);
}

void DesktopPresentation::OnWindowCreated(HWND) { m_dirty = true; }

void DesktopPresentation::OnWindowDestroyed(HWND hWnd) {
  m_painter.Forget(hWnd);
  if (m_press && m_press->control == hWnd) m_press.reset();
  // A destroyed window leaves the desktop at once, even when no input is
  // waited for after it (a dialog that ends).
  Remove(hWnd);
  m_dirty = true;
}

void DesktopPresentation::OnWindowInvalidated(HWND) { m_dirty = true; }

void DesktopPresentation::OnFocusChanged(HWND, HWND) { m_dirty = true; }

// ---- The desktop's events ---------------------------------------------------------
gboolean DesktopPresentation::OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  WindowView view;
  if (!DescribeWindow(surface.hwnd, &view)) return FALSE;
  const desktop::WindowLayout layout = desktop::LayOutWindow(view, surface.font);
  const bool active = view.active && gtk_window_is_active(GTK_WINDOW(surface.window)) &&
                      surface.owner->m_boxesShowing == 0;
  surface.places = surface.owner->m_painter.Paint(cr, gtk_widget_get_pango_context(surface.area), layout, active);
  return TRUE;
}

gboolean DesktopPresentation::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  DesktopPresentation& self = *surface.owner;
  if (self.m_boxesShowing > 0) return TRUE;
  const desktop::KeyAction action =
      desktop::TranslateKey(event->keyval, static_cast<GdkModifierType>(event->state));
  if (desktop::PostKeyAction(action)) self.m_fed = true;
  return TRUE;
}

void DesktopPresentation::FeedMouse(Surface& surface, UINT message, double x, double y, GdkModifierType state) {
  if (!m_press || m_press->window != surface.hwnd) return;
  for (const desktop::ControlPlace& place : surface.places) {
    if (place.hwnd != m_press->control) continue;
    PostMouseInput(message, desktop::WindowSystemPoint(place, x, y, message == WM_LBUTTONDOWN),
                   desktop::ModifiersOf(state));
    m_fed = true;
    return;
  }
}

gboolean DesktopPresentation::OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  DesktopPresentation& self = *surface.owner;
  // Double and triple clicks come as presses of their own as well.
  if (self.m_boxesShowing > 0 || event->type != GDK_BUTTON_PRESS || event->button != 1) return TRUE;
  gtk_widget_grab_focus(widget);
  self.m_press.reset();
  const desktop::ControlPlace* place = desktop::ControlAt(surface.places, event->x, event->y);
  if (place == nullptr) return TRUE;
  self.m_press = Press{surface.hwnd, place->hwnd};
  self.FeedMouse(surface, WM_LBUTTONDOWN, event->x, event->y, static_cast<GdkModifierType>(event->state));
  return TRUE;
}

gboolean DesktopPresentation::OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  DesktopPresentation& self = *surface.owner;
  if (event->button != 1) return TRUE;
  self.FeedMouse(surface, WM_LBUTTONUP, event->x, event->y, static_cast<GdkModifierType>(event->state));
  self.m_press.reset();
  return TRUE;
}

gboolean DesktopPresentation::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  // While the button is held, the control it went down on follows the
  // mouse wherever it goes, as the window system's capture wants.
  surface.owner->FeedMouse(surface, WM_MOUSEMOVE, event->x, event->y, static_cast<GdkModifierType>(event->state));
  return TRUE;
}

gboolean DesktopPresentation::OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  DesktopPresentation& self = *surface.owner;
  if (self.m_boxesShowing > 0) return TRUE;
  // The window system has no wheel message: the wheel moves the focused
  // trackbar, scroll bar or up-down by a line, as its arrow keys do.
  HWND focus = GetFocus();
  if (focus == nullptr || GetAncestor(focus, GA_ROOT) != surface.hwnd || !IsRangeControl(focus)) return TRUE;
  if (desktop::PostKeyAction(desktop::TranslateWheel(event->direction))) self.m_fed = true;
  return TRUE;
}

gboolean DesktopPresentation::OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  DesktopPresentation& self = *surface.owner;
  // The window system decides: a dialog turns its close box into Cancel.
  if (self.m_boxesShowing == 0) {
    PostCloseInput(surface.hwnd);
    self.m_fed = true;
  }
  return TRUE;
}

void DesktopPresentation::OnActiveChanged(GObject*, GParamSpec*, gpointer data) {
  Surface& surface = *static_cast<Surface*>(data);
  gtk_widget_queue_draw(surface.area);
}

// ---- Choosing the desktop -----------------------------------------------------------
namespace desktop {

std::string UnavailableReason() {
  static bool checked = false;
  static std::string reason;
  if (checked) return reason;
  checked = true;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool hasX11 = x11 != nullptr && *x11 != '\0';
  const bool hasWayland = wayland != nullptr && *wayland != '\0';
  if (!hasX11 && !hasWayland) {
    reason = "no desktop: neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else if (!gtk_init_check(nullptr, nullptr)) {
    reason = std::string("cannot open the desktop's display ") + (hasWayland ? wayland : x11);
  }
  return reason;
}

bool Available() { return UnavailableReason().empty(); }

std::unique_ptr<Presentation> MakeDesktopPresentation() {
  if (!Available()) return nullptr;
  return std::make_unique<DesktopPresentation>();
}

}  // namespace desktop
}  // namespace win

extern "C" const char* calvdesktop_unavailable_reason() {
  static std::string reason;
  reason = win::desktop::UnavailableReason();
  return reason.c_str();
}

extern "C" win::Presentation* calvdesktop_make_presentation() {
  return win::desktop::MakeDesktopPresentation().release();
}
