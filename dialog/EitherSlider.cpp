#include "dialog/EitherSlider.h"

#include "afx/afxcmn.h"

namespace {

// Runs `operation` on a framework wrapper of the control class that borrows
// the slider's window for the call, so that the control class's own
// operations apply to a window that another object owns.
template <class Control, class Operation>
void WithControl(HWND hWnd, Operation operation) {
  Control control;
  control.m_hWnd = hWnd;
  struct GiveBack {
    Control& control;
    ~GiveBack() { control.m_hWnd = nullptr; }
  } giveBack{control};
  operation(control);
}

// Up-down positions travel as signed 16-bit numbers in the low word.
int UpDownPosition(LRESULT answer) { return static_cast<SHORT>(LOWORD(answer)); }

}  // namespace

IMPLEMENT_DYNAMIC(CEitherSlider, CWnd)

BEGIN_MESSAGE_MAP(CEitherSlider, CWnd)
END_MESSAGE_MAP()

CEitherSlider::CEitherSlider() : m_nControlType(kUnclassified) {}

CEitherSlider::~CEitherSlider() = default;

int CEitherSlider::ClassifyControlClass(const char* lpszClass) {
  if (lpszClass == nullptr) return kUnclassified;
  if (lstrcmpiA(lpszClass, "SCROLLBAR") == 0) return kScrollBar;
  if (lstrcmpiA(lpszClass, "msctls_trackbar32") == 0) return kTrackbar;
  if (lstrcmpiA(lpszClass, "msctls_updown32") == 0) return kUpDown;
  return kUnclassified;
}

int CEitherSlider::ClassifyControlWindow(HWND hWnd) {
  if (hWnd == nullptr) return kUnclassified;
  char className[64] = {};
  if (GetClassNameA(hWnd, className, sizeof className) == 0) return kUnclassified;
  return ClassifyControlClass(className);
}

void CEitherSlider::PreSubclassWindow() {
  CWnd::PreSubclassWindow();
  if (m_nControlType == kUnclassified) m_nControlType = ClassifyControlWindow(m_hWnd);
}

BOOL CEitherSlider::PreCreateWindow(CREATESTRUCT& cs) {
  BOOL result = CWnd::PreCreateWindow(cs);
  if (m_nControlType == kUnclassified) {
    // A class given as an atom is no name to read.
    m_nControlType = IS_INTRESOURCE(cs.lpszClass) ? kUnclassified : ClassifyControlClass(cs.lpszClass);
  }
  return result;
}

int CEitherSlider::GetScrollBarPos() { return CWnd::GetScrollPos(SB_CTL); }

SCROLLINFO CEitherSlider::ReadScrollInfo(UINT nMask) {
  // Zeroed first: a read that fails answers 0.
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = nMask;
  CWnd::GetScrollInfo(SB_CTL, &info, nMask);
  return info;
}

std::pair<int, int> CEitherSlider::ReadRange() {
  int lower = 0, upper = 0;
  if (m_nControlType == kScrollBar) {
    CWnd::GetScrollRange(SB_CTL, &lower, &upper);
  } else {
    WithControl<CSpinButtonCtrl>(m_hWnd, [&](CSpinButtonCtrl& spin) { spin.GetRange(lower, upper); });
  }
  return {lower, upper};
}

int CEitherSlider::GetPosFromScrollCode(UINT nSBCode) {
  switch (m_nControlType) {
    case kScrollBar:
      // Not clamped to the range: the caller gets the arithmetic value.
      switch (nSBCode) {
        case SB_LINEUP:
          return GetScrollBarPos() - 1;
        case SB_LINEDOWN:
          return GetScrollBarPos() + 1;
        case SB_PAGEUP:
          return GetScrollBarPos() - GetPageSize();
        case SB_PAGEDOWN:
          return GetScrollBarPos() + GetPageSize();
        case SB_THUMBTRACK:
          return GetTrackPos();
        case SB_TOP:
          return GetRangeMin();
        case SB_BOTTOM:
          return GetRangeMax();
        default:  // SB_THUMBPOSITION, SB_ENDSCROLL and anything else
          return GetScrollBarPos();
      }
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0));
    case kUpDown:
      return UpDownPosition(::SendMessageA(m_hWnd, UDM_GETPOS, 0, 0));
    default:
      return 0;
  }
}

int CEitherSlider::GetTrackPos() {
  switch (m_nControlType) {
    case kScrollBar:
      return ReadScrollInfo(SIF_TRACKPOS).nTrackPos;
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPOS, 0, 0));
    case kUpDown:
      return UpDownPosition(::SendMessageA(m_hWnd, UDM_GETPOS, 0, 0));
    default:
      return 0;
  }
}

int CEitherSlider::SetLineSize(int nSize) {
  switch (m_nControlType) {
    case kScrollBar:
    case kUpDown:
      return 1;  // their line step is fixed at 1
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_SETLINESIZE, 0, nSize));
    default:
      return 0;
  }
}

int CEitherSlider::GetPageSize() {
  switch (m_nControlType) {
    case kScrollBar:
      return static_cast<int>(ReadScrollInfo(SIF_PAGE).nPage);
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETPAGESIZE, 0, 0));
    case kUpDown:
      return 1;
    default:
      return 0;
  }
}

int CEitherSlider::SetPageSize(int nSize) {
  switch (m_nControlType) {
    case kScrollBar: {
      SCROLLINFO info = ReadScrollInfo(SIF_PAGE);
      const int previous = static_cast<int>(info.nPage);
      // The mask still names the page alone, so only the page changes.
      info.nPage = static_cast<UINT>(nSize);
      CWnd::SetScrollInfo(SB_CTL, &info, TRUE);
      return previous;
    }
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_SETPAGESIZE, 0, nSize));
    case kUpDown:
      return 1;
    default:
      return 0;
  }
}

int CEitherSlider::GetRangeMax() {
  switch (m_nControlType) {
    case kScrollBar:
    case kUpDown:
      return ReadRange().second;
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMAX, 0, 0));
    default:
      return 0;
  }
}

int CEitherSlider::GetRangeMin() {
  switch (m_nControlType) {
    case kScrollBar:
    case kUpDown:
      return ReadRange().first;
    case kTrackbar:
      return static_cast<int>(::SendMessageA(m_hWnd, TBM_GETRANGEMIN, 0, 0));
    default:
      return 0;
  }
}

void CEitherSlider::SetRange(int nMin, int nMax, BOOL bRedraw) {
  switch (m_nControlType) {
    case kScrollBar:
      CWnd::SetScrollRange(SB_CTL, nMin, nMax, TRUE);  // a scroll bar always redraws
      break;
    case kTrackbar:
      WithControl<CSliderCtrl>(m_hWnd, [&](CSliderCtrl& slider) { slider.SetRange(nMin, nMax, bRedraw); });
      break;
    case kUpDown:
      // Maximum in the low word, minimum in the high word, each cut to 16 bits.
      ::SendMessageA(m_hWnd, UDM_SETRANGE, 0, MAKELPARAM(nMax, nMin));
      break;
    default:
      break;
  }
}

void CEitherSlider::SetPos(int nPos) {
  switch (m_nControlType) {
    case kScrollBar:
      CWnd::SetScrollPos(SB_CTL, nPos, TRUE);
      break;
    case kTrackbar:
      ::SendMessageA(m_hWnd, TBM_SETPOS, TRUE, nPos);
      break;
    case kUpDown:
      ::SendMessageA(m_hWnd, UDM_SETPOS, 0, MAKELPARAM(nPos, 0));
      break;
    default:
      break;
  }
}

void CEitherSlider::SetTicFreq(int nFreq) {
  if (m_nControlType == kTrackbar) ::SendMessageA(m_hWnd, TBM_SETTICFREQ, static_cast<WPARAM>(nFreq), 0);
}
