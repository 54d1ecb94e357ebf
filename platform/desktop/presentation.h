// The desktop presentation (see desktop.h), for code that needs its GTK
// side: each visible top-level window of the window system is a GtkWindow
// whose client area is a GtkDrawingArea painted by the WindowPainter.
//
// It learns of changes as the terminal presentation does (OnWindow* and
// OnFocusChanged mark it out of date) and brings the desktop up to date
// before it waits: windows appear, take their captions and sizes, go, and
// are repainted. Input is fed to the window system only from the desktop's
// events, through the same Post*Input calls the terminal uses; the window
// system's state is only ever read (DescribeWindow).
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/metrics.h"
#include "desktop/painter.h"
#include "win/presentation.h"

namespace win {

class DesktopPresentation : public Presentation {
 public:
  // GTK must have been initialised (win::desktop::Available()).
  DesktopPresentation();
  ~DesktopPresentation() override;
  DesktopPresentation(const DesktopPresentation&) = delete;
  DesktopPresentation& operator=(const DesktopPresentation&) = delete;

  bool WaitForInput() override;
  void PollInput() override;
  int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override;
  void Beep(UINT type) override;
  void OnWindowCreated(HWND hWnd) override;
  void OnWindowDestroyed(HWND hWnd) override;
  void OnWindowInvalidated(HWND hWnd) override;
  void OnFocusChanged(HWND lostFocus, HWND gainedFocus) override;

  // Brings the desktop's windows in line with the window system's: shows,
  // names, sizes and repaints them, and takes away the ones that went.
  void Sync();
  // The desktop window that shows a top-level window; null when none does.
  GtkWindow* DesktopWindowOf(HWND hWnd) const;

 private:
  struct Surface {
    DesktopPresentation* owner = nullptr;
    HWND hwnd = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    desktop::DialogFont font;
    std::string title;
    int width = -1, height = -1;
    std::vector<desktop::ControlPlace> places;  // as last painted
  };

  Surface& SurfaceFor(HWND hWnd, const WindowView& view);
  void Update(Surface& surface, const WindowView& view);
  void Remove(HWND hWnd);
  Surface* Find(HWND hWnd) const;
  // Feeds a mouse message for the control the button went down on.
  void FeedMouse(Surface& surface, UINT message, double x, double y, GdkModifierType state);

  static gboolean OnDraw(GtkWidget* widget, cairo_t* cr, gpointer data);
  static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer data);
  static gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnButtonRelease(GtkWidget* widget, GdkEventButton* event, gpointer data);
  static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer data);
  static gboolean OnScroll(GtkWidget* widget, GdkEventScroll* event, gpointer data);
  static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer data);
  static void OnActiveChanged(GObject* object, GParamSpec* spec, gpointer data);

  std::map<HWND, std::unique_ptr<Surface>> m_surfaces;
  desktop::WindowPainter m_painter;
  bool m_dirty = true;
  bool m_fed = false;      // input went to the window system since the wait began
  int m_boxesShowing = 0;  // message boxes up: the windows under them take no input

  // The mouse button went down on this control and is held.
  struct Press {
    HWND window = nullptr;
    HWND control = nullptr;
  };
  std::optional<Press> m_press;
};

}  // namespace win
