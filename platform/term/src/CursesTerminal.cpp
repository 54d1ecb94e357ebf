#include "term/cursesterminal.h"

#include <curses.h>
#include <errno.h>
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <signal.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <stdexcept>

namespace win::term {
namespace {

// ---- What a signal handler needs, set up beforehand ---------------------------------
// A handler may only use async-signal-safe calls: write, tcsetattr, dup2,
// pread, sigaction, raise. Everything else is prepared when the terminal is
// taken over.

constexpr int kInputFd = STDIN_FILENO;
constexpr int kOutputFd = STDOUT_FILENO;
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGQUIT, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL};

struct SignalSafeState {
  volatile sig_atomic_t screenTaken = 0;  // the terminal needs giving back
  volatile sig_atomic_t interrupted = 0;
  termios savedModes{};
  std::array<char, 512> leave{};  // what puts the screen back (attributes, cursor, mouse, alternate screen)
  std::size_t leaveLength = 0;
  int wakeRead = -1, wakeWrite = -1;
  int realStderr = -1;  // stderr while it is diverted
  int diversion = -1;
  struct sigaction previous[NSIG]{};
  bool handled[NSIG]{};
};
SignalSafeState g_state;
bool g_instance = false;

void WriteAll(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = write(fd, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    length -= static_cast<std::size_t>(written);
  }
}

// Writes what went to the diverted stderr to the real one and puts it back.
void EndDiversion() {
  if (g_state.realStderr < 0) return;
  const int real = g_state.realStderr;
  g_state.realStderr = -1;
  dup2(real, STDERR_FILENO);
  close(real);
  char buffer[4096];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = pread(g_state.diversion, buffer, sizeof buffer, offset);
    if (got <= 0) break;
    WriteAll(STDERR_FILENO, buffer, static_cast<std::size_t>(got));
    offset += got;
  }
}

void GiveBackScreen() {
  if (g_state.screenTaken == 0) return;
  g_state.screenTaken = 0;
  WriteAll(kOutputFd, g_state.leave.data(), g_state.leaveLength);
  tcsetattr(kInputFd, TCSANOW, &g_state.savedModes);
}

void OnInterrupt(int) {
  const int saved = errno;
  g_state.interrupted = 1;
  const char byte = 1;
  if (write(g_state.wakeWrite, &byte, 1) < 0) {
    // The pipe is full: a wake-up is already pending.
  }
  errno = saved;
}

// The process is ending (or the program will decide): the terminal first,
// then whatever handled the signal before.
void OnEndingSignal(int signal, siginfo_t* info, void* context) {
  const int saved = errno;
  GiveBackScreen();
  EndDiversion();
  struct sigaction& previous = g_state.previous[signal];
  if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction != nullptr) {
    previous.sa_sigaction(signal, info, context);
  } else if (previous.sa_handler == SIG_DFL) {
    // Delivered with the default action once this handler returns.
    sigaction(signal, &previous, nullptr);
    raise(signal);
  } else if (previous.sa_handler != SIG_IGN) {
    previous.sa_handler(signal);
  }
  errno = saved;
}

void Install(int signal, void (*handler)(int), void (*infoHandler)(int, siginfo_t*, void*)) {
  struct sigaction current {};
  sigaction(signal, nullptr, &current);
  // An ignored signal stays ignored: it ends nothing.
  if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  if (infoHandler != nullptr) {
    action.sa_sigaction = infoHandler;
    action.sa_flags = SA_SIGINFO;
  } else {
    action.sa_handler = handler;
  }
  g_state.previous[signal] = current;
  g_state.handled[signal] = true;
  sigaction(signal, &action, nullptr);
}

void UninstallAll() {
  for (int signal = 1; signal < NSIG; ++signal) {
    if (!g_state.handled[signal]) continue;
    g_state.handled[signal] = false;
    sigaction(signal, &g_state.previous[signal], nullptr);
  }
}

std::string Capability(const char* name) {
  char* value = tigetstr(const_cast<char*>(name));
  if (value == nullptr || value == reinterpret_cast<char*>(-1)) return {};
  return value;
}

// ---- Looks ------------------------------------------------------------------------------

enum Pair : short { kWindowPair = 1, kFieldPair, kFocusPair, kErrorPair, kAccentPair };

// Without colour, styles differ by weight, underline and reverse video.
attr_t MonochromeAttributes(Style style) {
    switch (style) {
      case Style::Hint:
      case Style::Disabled:
      case Style::FrameInactive:
        return A_DIM;
      case Style::Notice:
      case Style::Title:
      case Style::ButtonDefault:
      case Style::ThumbFocused:
      case Style::IconError:
      case Style::IconWarning:
      case Style::IconInformation:
        return A_BOLD;
      case Style::Field:
        return A_UNDERLINE;
      case Style::FieldFocused:
        return A_UNDERLINE | A_BOLD;
      case Style::TrackFocused:
        return A_BOLD;
      case Style::Selection:
      case Style::ButtonFocused:
        return A_REVERSE;
      case Style::ButtonPushed:
        return A_REVERSE | A_BOLD;
      default:
        return A_NORMAL;
    }
}

attr_t ColourAttributes(Style style, short* pair) {
  switch (style) {
    case Style::Screen:
      return A_NORMAL;
    case Style::Hint:
      return A_DIM;
    case Style::Notice:
      return A_BOLD;
    case Style::Field:
      *pair = kFieldPair;
      return A_NORMAL;
    case Style::FieldFocused:
    case Style::ButtonFocused:
      *pair = kFocusPair;
      return A_BOLD;
    case Style::Selection:
    case Style::ButtonPushed:
      *pair = kFocusPair;
      return A_REVERSE;
    case Style::IconError:
    case Style::IconWarning:
      *pair = kErrorPair;
      return A_BOLD;
    case Style::IconInformation:
    case Style::TrackFocused:
    case Style::ThumbFocused:
      *pair = kAccentPair;
      return A_BOLD;
    case Style::Title:
    case Style::ButtonDefault:
      *pair = kWindowPair;
      return A_BOLD;
    case Style::Disabled:
    case Style::FrameInactive:
      *pair = kWindowPair;
      return A_DIM;
    default:
      *pair = kWindowPair;
      return A_NORMAL;
  }
}

attr_t Attributes(Style style, bool colour, short* pair) {
  *pair = 0;
  return colour ? ColourAttributes(style, pair) : MonochromeAttributes(style);
}

// Line drawing and marks for a terminal without Unicode.
chtype AlternateGlyph(char32_t ch) {
  switch (ch) {
    case glyph::kHorizontal:
      return ACS_HLINE;
    case glyph::kVertical:
      return ACS_VLINE;
    case glyph::kTopLeft:
      return ACS_ULCORNER;
    case glyph::kTopRight:
      return ACS_URCORNER;
    case glyph::kBottomLeft:
      return ACS_LLCORNER;
    case glyph::kBottomRight:
      return ACS_LRCORNER;
    case glyph::kThumb:
      return ACS_BLOCK;
    case glyph::kShade:
      return ACS_CKBOARD;
    case glyph::kArrowUp:
      return ACS_UARROW;
    case glyph::kArrowDown:
      return ACS_DARROW;
    case glyph::kArrowLeft:
      return ACS_LARROW;
    case glyph::kArrowRight:
      return ACS_RARROW;
    default:
      return static_cast<chtype>('?');
  }
}

}  // namespace

// ---- The session -------------------------------------------------------------------------

struct CursesTerminal::Session {
  SCREEN* screen = nullptr;
  bool unicode = false;
  bool colour = false;
  std::string previousCtype;
  std::string dragTrackingOff;
  FILE* diversionFile = nullptr;
  off_t noticeOffset = 0;
  std::string partialLine;

  // The process's side: locale, wake-up pipe, standard error diverted,
  // signal handlers.
  void TakeProcess();
  // Curses's side: modes, mouse, colours. Returns what turns the mouse off.
  std::string StartCurses();
  ~Session();
};

CursesTerminal::Session::~Session() {
  if (screen != nullptr) {
    // curses does not know of the drag tracking it was asked for.
    if (!dragTrackingOff.empty()) putp(dragTrackingOff.c_str());
    mousemask(0, nullptr);
    endwin();
    g_state.screenTaken = 0;
    delscreen(screen);
  }
  UninstallAll();
  EndDiversion();
  if (diversionFile != nullptr) std::fclose(diversionFile);
  g_state.diversion = -1;
  if (g_state.wakeRead >= 0) close(g_state.wakeRead);
  if (g_state.wakeWrite >= 0) close(g_state.wakeWrite);
  g_state.wakeRead = g_state.wakeWrite = -1;
  g_state.interrupted = 0;
  std::setlocale(LC_CTYPE, previousCtype.c_str());
}

std::string TerminalUnavailableReason() {
  if (isatty(kInputFd) == 0) return "standard input is not a terminal";
  if (isatty(kOutputFd) == 0) return "standard output is not a terminal";
  if (g_instance) return "the terminal is already in use";
  const char* type = std::getenv("TERM");
  if (type == nullptr || *type == '\0') return "TERM is not set";
  int error = 0;
  if (setupterm(type, kOutputFd, &error) != OK) return std::string("the terminal type '") + type + "' is unknown";
  const bool addressable = !Capability("cup").empty();
  del_curterm(cur_term);
  if (!addressable) return std::string("the terminal type '") + type + "' cannot place the cursor";
  return {};
}

void CursesTerminal::Session::TakeProcess() {
  // Only the character type follows the environment: numbers keep being
  // read and written in the C locale.
  const char* ctype = std::setlocale(LC_CTYPE, nullptr);
  previousCtype = ctype != nullptr ? ctype : "C";
  std::setlocale(LC_CTYPE, "");
  unicode = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

  tcgetattr(kInputFd, &g_state.savedModes);
  int wake[2];
  if (pipe(wake) != 0) throw std::runtime_error(std::string("cannot make a pipe: ") + std::strerror(errno));
  g_state.wakeRead = wake[0];
  g_state.wakeWrite = wake[1];
  for (int fd : wake) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }

  std::fflush(stderr);
  diversionFile = std::tmpfile();
  if (diversionFile != nullptr) {
    g_state.diversion = fileno(diversionFile);
    g_state.realStderr = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    if (g_state.realStderr >= 0) dup2(g_state.diversion, STDERR_FILENO);
  }

  Install(SIGINT, &OnInterrupt, nullptr);
  for (int signal : kEndingSignals) Install(signal, nullptr, &OnEndingSignal);
}

std::string CursesTerminal::Session::StartCurses() {
  set_term(screen);
  raw();
  noecho();
  nonl();
  intrflush(stdscr, FALSE);
  keypad(stdscr, TRUE);
  set_escdelay(25);
  mouseinterval(0);
  std::string mouseOff;
  if (mousemask(BUTTON1_PRESSED | BUTTON1_RELEASED | REPORT_MOUSE_POSITION, nullptr) != 0 && has_mouse()) {
    // curses asks xterm for presses and releases; dragging a thumb needs
    // the moves between them too (button-event tracking).
    const std::string keyMouse = Capability("kmous");
    if (keyMouse.rfind("\033[", 0) == 0) {
      putp("\033[?1002h");
      dragTrackingOff = "\033[?1002l";
      mouseOff += dragTrackingOff;
    }
    const std::string xm = Capability("XM");
    mouseOff += xm.empty() ? std::string("\033[?1000l") : std::string(tiparm(xm.c_str(), 0));
  }
  if (has_colors() && start_color() == OK && COLORS >= 8 && COLOR_PAIRS > kAccentPair) {
    colour = true;
    init_pair(kWindowPair, COLOR_BLACK, COLOR_WHITE);
    init_pair(kFieldPair, COLOR_BLACK, COLOR_CYAN);
    init_pair(kFocusPair, COLOR_WHITE, COLOR_BLUE);
    init_pair(kErrorPair, COLOR_RED, COLOR_WHITE);
    init_pair(kAccentPair, COLOR_BLUE, COLOR_WHITE);
  }
  return mouseOff;
}

CursesTerminal::CursesTerminal() {
  const std::string reason = TerminalUnavailableReason();
  if (!reason.empty()) throw std::runtime_error(reason);
  auto session = std::make_unique<Session>();
  g_instance = true;
  struct InstanceFlag {
    bool keep = false;
    ~InstanceFlag() {
      if (!keep) g_instance = false;
    }
  } flag;
  session->TakeProcess();

  // From here on the session's destructor undoes what was done.
  m_session = std::move(session);
  Session& s = *m_session;
  s.screen = newterm(nullptr, stdout, stdin);
  if (s.screen == nullptr) {
    m_session.reset();
    throw std::runtime_error("the terminal cannot be used by curses");
  }
  const std::string mouseOff = s.StartCurses();

  const std::string leave =
      Capability("sgr0") + Capability("cnorm") + mouseOff + Capability("rmkx") + Capability("rmcup");
  g_state.leaveLength = std::min(leave.size(), g_state.leave.size());
  std::memcpy(g_state.leave.data(), leave.data(), g_state.leaveLength);
  g_state.screenTaken = 1;
  flag.keep = true;
}

CursesTerminal::~CursesTerminal() {
  m_session.reset();
  g_instance = false;
}

int CursesTerminal::Width() const { return COLS; }
int CursesTerminal::Height() const { return LINES; }

void CursesTerminal::Show(const Canvas& canvas, std::optional<CellPoint> cursor) {
  const Session& s = *m_session;
  const int height = std::min(canvas.Height(), LINES);
  const int width = std::min(canvas.Width(), COLS);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Cell& cell = canvas.At(x, y);
      short pair = 0;
      attr_t attributes = Attributes(cell.style, s.colour, &pair);
      if (cell.underline) attributes |= A_UNDERLINE;
      if (cell.ch < 0x80 || s.unicode) {
        const wchar_t text[2] = {static_cast<wchar_t>(cell.ch < 0x20 ? U' ' : cell.ch), L'\0'};
        cchar_t shown;
        setcchar(&shown, text, attributes, pair, nullptr);
        mvadd_wch(y, x, &shown);
      } else {
        mvaddch(y, x, AlternateGlyph(cell.ch) | attributes | static_cast<chtype>(COLOR_PAIR(pair)));
      }
    }
  }
  if (cursor && cursor->x >= 0 && cursor->y >= 0 && cursor->x < COLS && cursor->y < LINES) {
    curs_set(1);
    move(cursor->y, cursor->x);
  } else {
    curs_set(0);
  }
  refresh();
}

void CursesTerminal::Beep() { beep(); }

namespace {

// The mouse report curses holds, as input; nothing for a report of no
// interest. A click is a press with its release queued in `pending`.
std::optional<InputEvent> ReadMouse(std::deque<InputEvent>& pending) {
  MEVENT mouse{};
  if (getmouse(&mouse) != OK) return std::nullopt;
  InputEvent event;
  event.type = InputEvent::Type::Mouse;
  event.mouse.x = mouse.x;
  event.mouse.y = mouse.y;
  if ((mouse.bstate & BUTTON1_PRESSED) != 0) {
    event.mouse.action = MouseInput::Action::Press;
  } else if ((mouse.bstate & BUTTON1_RELEASED) != 0) {
    event.mouse.action = MouseInput::Action::Release;
  } else if ((mouse.bstate & BUTTON1_CLICKED) != 0) {
    event.mouse.action = MouseInput::Action::Press;
    InputEvent release = event;
    release.mouse.action = MouseInput::Action::Release;
    pending.push_back(release);
  } else if ((mouse.bstate & REPORT_MOUSE_POSITION) != 0) {
    event.mouse.action = MouseInput::Action::Move;
  } else {
    return std::nullopt;
  }
  return event;
}

// The key curses read (`got` as wget_wch answered), as input; nothing for a
// key of no meaning here.
std::optional<InputEvent> ReadKey(int got, wint_t code) {
  bool alt = false;
  bool function = got == KEY_CODE_YES;
  if (got == OK && code == 27) {
    // Escape followed at once by a key is that key with Alt.
    wint_t next = 0;
    const int more = wget_wch(stdscr, &next);
    if (more == OK || (more == KEY_CODE_YES && next != KEY_MOUSE && next != KEY_RESIZE)) {
      alt = true;
      function = more == KEY_CODE_YES;
      code = next;
    } else if (more == KEY_CODE_YES) {
      ungetch(static_cast<int>(next));  // a mouse report or a resize: the next read
    }
  }
  InputEvent event;
  event.type = InputEvent::Type::Key;
  event.key = DecodeCursesKey(static_cast<int>(code), function, alt);
  if (event.key.kind == KeyInput::Kind::None) return std::nullopt;
  return event;
}

}  // namespace

InputEvent CursesTerminal::ReadInput(bool wait) {
  if (!m_pending.empty()) {
    InputEvent event = m_pending.front();
    m_pending.pop_front();
    return event;
  }
  for (;;) {
    if (g_state.interrupted != 0) {
      g_state.interrupted = 0;
      char drain[64];
      while (read(g_state.wakeRead, drain, sizeof drain) > 0) {
      }
      InputEvent event;
      event.type = InputEvent::Type::Interrupt;
      return event;
    }
    // curses may hold input already (a sequence read ahead): take that
    // before asking whether more is there.
    wtimeout(stdscr, 0);
    wint_t code = 0;
    const int got = wget_wch(stdscr, &code);
    if (got == KEY_CODE_YES && code == KEY_RESIZE) {
      InputEvent event;
      event.type = InputEvent::Type::Resize;
      return event;
    }
    if (got == KEY_CODE_YES && code == KEY_MOUSE) {
      if (std::optional<InputEvent> event = ReadMouse(m_pending)) return *event;
      continue;
    }
    if (got == KEY_CODE_YES || got == OK) {
      if (std::optional<InputEvent> event = ReadKey(got, code)) return *event;
      continue;
    }
    if (!wait) return InputEvent{};

    pollfd fds[2] = {{kInputFd, POLLIN, 0}, {g_state.wakeRead, POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    if (ready < 0) continue;  // a signal: a resize shows up on the next read
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      InputEvent event;
      event.type = InputEvent::Type::Closed;
      return event;
    }
  }
}

std::string CursesTerminal::TakeNotice() {
  Session& s = *m_session;
  if (g_state.diversion < 0) return {};
  std::string latest;
  char buffer[4096];
  for (;;) {
    const ssize_t got = pread(g_state.diversion, buffer, sizeof buffer, s.noticeOffset);
    if (got <= 0) break;
    s.noticeOffset += got;
    for (ssize_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '\n') {
        if (s.partialLine.find_first_not_of(' ') != std::string::npos) latest = s.partialLine;
        s.partialLine.clear();
      } else if (c == '\r') {
        s.partialLine.clear();  // a line drawn over itself: what follows replaces it
      } else {
        s.partialLine += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
      }
    }
  }
  return latest;
}

}  // namespace win::term
