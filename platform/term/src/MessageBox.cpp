#include "term/messagebox.h"

#include <algorithm>
#include <cctype>

#include "term/layout.h"

namespace win::term {
namespace {

constexpr int kPadding = 2;  // columns between the frame and the text
constexpr int kButtonGap = 2;

struct Icon {
  const char* symbol;
  Style style;
};

std::optional<Icon> IconOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
      return Icon{"(x)", Style::IconError};
    case MB_ICONWARNING:
      return Icon{"(!)", Style::IconWarning};
    case MB_ICONQUESTION:
      return Icon{"(?)", Style::IconInformation};
    case MB_ICONINFORMATION:
      return Icon{"(i)", Style::IconInformation};
    default:
      return std::nullopt;
  }
}

std::string Face(const MessageBoxButton& button, bool focused) {
  return (focused ? "[< " : "[ ") + StripMnemonic(button.label) + (focused ? " >]" : " ]");
}

char32_t MnemonicOf(const MessageBoxButton& button) {
  int index = -1;
  const std::string shown = StripMnemonic(button.label, &index);
  if (index < 0) return 0;
  const std::u32string chars = DecodeUtf8(shown);
  const char32_t c = chars[static_cast<std::size_t>(index)];
  return c < 0x80 ? static_cast<char32_t>(std::tolower(static_cast<int>(c))) : c;
}

}  // namespace

std::vector<MessageBoxButton> MessageBoxButtons(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
      return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
      return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL:
      return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    case MB_CANCELTRYCONTINUE:
      return {{IDCANCEL, "Cancel"}, {IDTRYAGAIN, "&Try Again"}, {IDCONTINUE, "&Continue"}};
    default:
      return {{IDOK, "OK"}};
  }
}

MessageBoxModel::MessageBoxModel(std::string text, std::string caption, UINT type)
    : m_text(std::move(text)), m_caption(std::move(caption)), m_type(type), m_buttons(MessageBoxButtons(type)) {
  const std::size_t defaultIndex = (type & MB_DEFMASK) >> 8;
  m_focus = defaultIndex < m_buttons.size() ? defaultIndex : 0;
}

std::optional<int> MessageBoxModel::EscapeAnswer() const {
  for (const MessageBoxButton& button : m_buttons) {
    if (button.id == IDCANCEL) return IDCANCEL;
  }
  if (m_buttons.size() == 1) return m_buttons.front().id;
  return std::nullopt;
}

void MessageBoxModel::Paint(Canvas& canvas) {
  const std::optional<Icon> icon = IconOf(m_type);
  const int iconWidth = icon ? TextColumns(icon->symbol) + 1 : 0;
  const int screenHeight = std::max(canvas.Height() - 1, 1);
  const int maxInner = std::max(canvas.Width() - 2 - 2 * kPadding, 8);

  int buttonsWidth = 0;
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    buttonsWidth += TextColumns(Face(m_buttons[i], true)) + (i > 0 ? kButtonGap : 0);
  }
  // As wide as the longest line needs, within the screen.
  int textWidth = 0;
  for (const std::string& line : WrapText(m_text, maxInner - iconWidth)) textWidth = std::max(textWidth, TextColumns(line));
  int inner = std::max({textWidth + iconWidth, buttonsWidth, TextColumns(m_caption) + 2});
  inner = std::min(inner, maxInner);
  std::vector<std::string> lines = WrapText(m_text, inner - iconWidth);

  // Frame, a blank row, the text, a blank row, the buttons, the frame.
  const int maxLines = std::max(screenHeight - 6, 1);
  if (static_cast<int>(lines.size()) > maxLines) {
    lines.resize(static_cast<std::size_t>(maxLines));
    lines.back() = std::string("\u2026");
  }
  const int height = static_cast<int>(lines.size()) + 5;
  const CellRect box = CentreOnScreen(inner + 2 + 2 * kPadding, height, canvas.Width(), screenHeight);
  canvas.ResetClip();
  canvas.Fill(box, U' ', Style::Window);
  canvas.Frame(box, Style::Frame);
  const std::string title = " " + m_caption + " ";
  const int titleWidth = std::min(TextColumns(title), box.width - 2);
  canvas.Text(box.x + (box.width - titleWidth) / 2, box.y, title, Style::Title, titleWidth);

  const int left = box.x + 1 + kPadding;
  if (icon) canvas.Text(left, box.y + 2, icon->symbol, icon->style);
  for (std::size_t row = 0; row < lines.size(); ++row) {
    canvas.Text(left + iconWidth, box.y + 2 + static_cast<int>(row), lines[row], Style::Window, inner - iconWidth);
  }

  m_faces.clear();
  int x = box.x + (box.width - buttonsWidth) / 2;
  const int y = box.Bottom() - 2;
  for (std::size_t i = 0; i < m_buttons.size(); ++i) {
    const bool focused = i == m_focus;
    const std::string face = Face(m_buttons[i], focused);
    int mnemonic = -1;
    StripMnemonic(m_buttons[i].label, &mnemonic);
    const Style style = focused ? Style::ButtonFocused : Style::Button;
    const int open = focused ? 3 : 2;
    canvas.Text(x, y, face, style);
    if (mnemonic >= 0) canvas.Underline(x + open + mnemonic, y);
    m_faces.push_back(CellRect{x, y, TextColumns(face), 1});
    if (focused) m_cursor = CellPoint{x + open, y};
    x += TextColumns(face) + kButtonGap;
  }
}

std::optional<int> MessageBoxModel::HandleKey(const KeyInput& key) {
  const std::size_t count = m_buttons.size();
  if (key.kind == KeyInput::Kind::Key) {
    const bool shift = (key.modifiers & kShift) != 0;
    switch (key.virtualKey) {
      case VK_TAB:
        m_focus = shift ? (m_focus + count - 1) % count : (m_focus + 1) % count;
        return std::nullopt;
      case VK_RIGHT:
      case VK_DOWN:
        m_focus = (m_focus + 1) % count;
        return std::nullopt;
      case VK_LEFT:
      case VK_UP:
        m_focus = (m_focus + count - 1) % count;
        return std::nullopt;
      case VK_RETURN:
        return m_buttons[m_focus].id;
      case VK_ESCAPE:
        return EscapeAnswer();
      default:
        break;
    }
  }
  char32_t typed = 0;
  if (key.kind == KeyInput::Kind::Character) typed = key.character;
  if (key.kind == KeyInput::Kind::Key && (key.modifiers & kAlt) != 0) typed = key.virtualKey;
  if (typed == U' ') return m_buttons[m_focus].id;
  if (typed != 0) {
    if (typed < 0x80) typed = static_cast<char32_t>(std::tolower(static_cast<int>(typed)));
    for (const MessageBoxButton& button : m_buttons) {
      if (MnemonicOf(button) == typed) return button.id;
    }
  }
  return std::nullopt;
}

std::optional<int> MessageBoxModel::HandleMouse(const MouseInput& mouse) {
  std::optional<std::size_t> at;
  for (std::size_t i = 0; i < m_faces.size(); ++i) {
    if (m_faces[i].Contains(mouse.x, mouse.y)) at = i;
  }
  switch (mouse.action) {
    case MouseInput::Action::Press:
      m_pressed = at;
      if (at) m_focus = *at;
      return std::nullopt;
    case MouseInput::Action::Release: {
      // A click is a press and a release on the same button.
      const bool clicked = at && m_pressed == at;
      m_pressed.reset();
      if (clicked) return m_buttons[*at].id;
      return std::nullopt;
    }
    case MouseInput::Action::Move:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace win::term
