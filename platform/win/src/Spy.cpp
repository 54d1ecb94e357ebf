// Recording messages, and naming them for readable test output.
#include <cstdio>
#include <sstream>

#include "win/src/System.h"

namespace win {

MessageSpy::MessageSpy()
    : m_cookie(AddMessageObserver([this](const MessageRecord& record) { m_records.push_back(record); })) {}

MessageSpy::~MessageSpy() { RemoveMessageObserver(m_cookie); }

std::vector<MessageRecord> MessageSpy::To(HWND hWnd) const {
  std::vector<MessageRecord> result;
  for (const auto& record : m_records) {
    if (record.hwnd == hWnd) result.push_back(record);
  }
  return result;
}

std::vector<MessageRecord> MessageSpy::To(HWND hWnd, Delivery delivery) const {
  std::vector<MessageRecord> result;
  for (const auto& record : m_records) {
    if (record.hwnd == hWnd && record.delivery == delivery) result.push_back(record);
  }
  return result;
}

int MessageSpy::Count(HWND hWnd, UINT message, Delivery delivery) const {
  int count = 0;
  for (const auto& record : m_records) {
    if (record.hwnd == hWnd && record.message == message && record.delivery == delivery) ++count;
  }
  return count;
}

std::vector<UINT> MessageSpy::Messages(HWND hWnd, Delivery delivery) const {
  std::vector<UINT> result;
  for (const auto& record : m_records) {
    if (record.hwnd == hWnd && record.delivery == delivery && record.message != WM_GETDLGCODE) {
      result.push_back(record.message);
    }
  }
  return result;
}

namespace {

struct Name {
  UINT value;
  const char* name;
};

const Name kGeneral[] = {
    {WM_NULL, "WM_NULL"},
    {WM_CREATE, "WM_CREATE"},
    {WM_DESTROY, "WM_DESTROY"},
    {WM_MOVE, "WM_MOVE"},
    {WM_SIZE, "WM_SIZE"},
    {WM_ACTIVATE, "WM_ACTIVATE"},
    {WM_SETFOCUS, "WM_SETFOCUS"},
    {WM_KILLFOCUS, "WM_KILLFOCUS"},
    {WM_ENABLE, "WM_ENABLE"},
    {WM_SETTEXT, "WM_SETTEXT"},
    {WM_GETTEXT, "WM_GETTEXT"},
    {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
    {WM_PAINT, "WM_PAINT"},
    {WM_CLOSE, "WM_CLOSE"},
    {WM_QUIT, "WM_QUIT"},
    {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
    {WM_NEXTDLGCTL, "WM_NEXTDLGCTL"},
    {WM_NOTIFY, "WM_NOTIFY"},
    {WM_HELP, "WM_HELP"},
    {WM_NCCREATE, "WM_NCCREATE"},
    {WM_NCDESTROY, "WM_NCDESTROY"},
    {WM_GETDLGCODE, "WM_GETDLGCODE"},
    {WM_KEYDOWN, "WM_KEYDOWN"},
    {WM_KEYUP, "WM_KEYUP"},
    {WM_CHAR, "WM_CHAR"},
    {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"},
    {WM_SYSKEYUP, "WM_SYSKEYUP"},
    {WM_SYSCHAR, "WM_SYSCHAR"},
    {WM_INITDIALOG, "WM_INITDIALOG"},
    {WM_COMMAND, "WM_COMMAND"},
    {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
    {WM_HSCROLL, "WM_HSCROLL"},
    {WM_VSCROLL, "WM_VSCROLL"},
    {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
    {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
    {WM_LBUTTONUP, "WM_LBUTTONUP"},
    {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"},
    {EM_GETSEL, "EM_GETSEL"},
    {EM_SETSEL, "EM_SETSEL"},
    {EM_GETMODIFY, "EM_GETMODIFY"},
    {EM_SETMODIFY, "EM_SETMODIFY"},
    {EM_REPLACESEL, "EM_REPLACESEL"},
    {EM_LIMITTEXT, "EM_LIMITTEXT"},
    {EM_SETREADONLY, "EM_SETREADONLY"},
    {EM_GETLIMITTEXT, "EM_GETLIMITTEXT"},
    {SBM_SETPOS, "SBM_SETPOS"},
    {SBM_GETPOS, "SBM_GETPOS"},
    {SBM_SETRANGE, "SBM_SETRANGE"},
    {SBM_GETRANGE, "SBM_GETRANGE"},
    {SBM_SETRANGEREDRAW, "SBM_SETRANGEREDRAW"},
    {SBM_SETSCROLLINFO, "SBM_SETSCROLLINFO"},
    {SBM_GETSCROLLINFO, "SBM_GETSCROLLINFO"},
    {BM_GETCHECK, "BM_GETCHECK"},
    {BM_SETCHECK, "BM_SETCHECK"},
    {BM_GETSTATE, "BM_GETSTATE"},
    {BM_SETSTATE, "BM_SETSTATE"},
    {BM_SETSTYLE, "BM_SETSTYLE"},
    {BM_CLICK, "BM_CLICK"},
};

const Name kTrackbar[] = {
    {TBM_GETPOS, "TBM_GETPOS"},           {TBM_GETRANGEMIN, "TBM_GETRANGEMIN"},
    {TBM_GETRANGEMAX, "TBM_GETRANGEMAX"}, {TBM_GETTIC, "TBM_GETTIC"},
    {TBM_SETTIC, "TBM_SETTIC"},           {TBM_SETPOS, "TBM_SETPOS"},
    {TBM_SETRANGE, "TBM_SETRANGE"},       {TBM_SETRANGEMIN, "TBM_SETRANGEMIN"},
    {TBM_SETRANGEMAX, "TBM_SETRANGEMAX"}, {TBM_CLEARTICS, "TBM_CLEARTICS"},
    {TBM_SETSEL, "TBM_SETSEL"},           {TBM_SETSELSTART, "TBM_SETSELSTART"},
    {TBM_SETSELEND, "TBM_SETSELEND"},     {TBM_GETNUMTICS, "TBM_GETNUMTICS"},
    {TBM_GETSELSTART, "TBM_GETSELSTART"}, {TBM_GETSELEND, "TBM_GETSELEND"},
    {TBM_CLEARSEL, "TBM_CLEARSEL"},       {TBM_SETTICFREQ, "TBM_SETTICFREQ"},
    {TBM_SETPAGESIZE, "TBM_SETPAGESIZE"}, {TBM_GETPAGESIZE, "TBM_GETPAGESIZE"},
    {TBM_SETLINESIZE, "TBM_SETLINESIZE"}, {TBM_GETLINESIZE, "TBM_GETLINESIZE"},
    {TBM_GETTHUMBRECT, "TBM_GETTHUMBRECT"}, {TBM_GETCHANNELRECT, "TBM_GETCHANNELRECT"},
};

const Name kUpDown[] = {
    {UDM_SETRANGE, "UDM_SETRANGE"},     {UDM_GETRANGE, "UDM_GETRANGE"},     {UDM_SETPOS, "UDM_SETPOS"},
    {UDM_GETPOS, "UDM_GETPOS"},         {UDM_SETBUDDY, "UDM_SETBUDDY"},     {UDM_GETBUDDY, "UDM_GETBUDDY"},
    {UDM_SETBASE, "UDM_SETBASE"},       {UDM_GETBASE, "UDM_GETBASE"},       {UDM_SETRANGE32, "UDM_SETRANGE32"},
    {UDM_GETRANGE32, "UDM_GETRANGE32"}, {UDM_SETPOS32, "UDM_SETPOS32"},     {UDM_GETPOS32, "UDM_GETPOS32"},
};

const Name kDialog[] = {{DM_GETDEFID, "DM_GETDEFID"}, {DM_SETDEFID, "DM_SETDEFID"}};

template <std::size_t N>
const char* Lookup(const Name (&names)[N], UINT value) {
  for (const Name& entry : names) {
    if (entry.value == value) return entry.name;
  }
  return nullptr;
}

}  // namespace

std::string MessageName(UINT message, HWND hWnd) {
  const char* name = nullptr;
  if (message >= WM_USER && message < WM_APP) {
    switch (detail::KindOf(hWnd)) {
      case ControlKind::Trackbar:
        name = Lookup(kTrackbar, message);
        break;
      case ControlKind::UpDown:
        name = Lookup(kUpDown, message);
        break;
      case ControlKind::Dialog:
        name = Lookup(kDialog, message);
        break;
      default:
        break;
    }
  } else {
    name = Lookup(kGeneral, message);
  }
  if (name != nullptr) return name;
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%04X", message);
  return buffer;
}

std::string Describe(const MessageRecord& record) {
  std::ostringstream out;
  out << (record.delivery == Delivery::Sent ? "sent " : record.delivery == Delivery::Posted ? "posted " : "dispatched ")
      << MessageName(record.message, record.hwnd) << "(0x" << std::hex << record.wParam << ", 0x"
      << static_cast<std::uintptr_t>(record.lParam) << std::dec << ") to ";
  char className[64];
  if (GetClassNameA(record.hwnd, className, sizeof className) > 0) {
    out << className << " #" << GetDlgCtrlID(record.hwnd);
  } else {
    out << "window " << static_cast<const void*>(record.hwnd);
  }
  return out.str();
}

std::ostream& operator<<(std::ostream& out, const MessageRecord& record) { return out << Describe(record); }

}  // namespace win
