#include "dialog/EitherSlider.h"

#include <utility>

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

// The operations for a window of no known kind: nothing is sent, and every
// answer is 0. Each kind below overrides what it does.
class EitherSliderKind {
 public:
  virtual ~EitherSliderKind() = default;
  virtual int PosFromScrollCode(CEitherSlider&, UINT) const { return 0; }
  virtual int TrackPos(CEitherSlider&) const { return 0; }
  virtual int SetLineSize(CEitherSlider&, int) const { return 0; }
  virtual int PageSize(CEitherSlider&) const { return 0; }
  virtual int SetPageSize(CEitherSlider&, int) const { return 0; }
  virtual int RangeMin(CEitherSlider&) const { return 0; }
  virtual int RangeMax(CEitherSlider&) const { return 0; }
  virtual void SetRange(CEitherSlider&, int, int, BOOL) const {}
  virtual void SetPos(CEitherSlider&, int) const {}
  virtual void SetTicFreq(CEitherSlider&, int) const {}
};

namespace {

class ScrollBarKind : public EitherSliderKind {
 public:
  int PosFromScrollCode(CEitherSlider& slider, UINT code) const override {
    // Not clamped to the range: the caller gets the arithmetic value.
    switch (code) {
      case SB_LINEUP:
        return Pos(slider) - 1;
      case SB_LINEDOWN:
        return Pos(slider) + 1;
      case SB_PAGEUP:
        return Pos(slider) - PageSize(slider);
      case SB_PAGEDOWN:
        return Pos(slider) + PageSize(slider);
      case SB_THUMBTRACK:
        return TrackPos(slider);
      case SB_TOP:
        return RangeMin(slider);
      case SB_BOTTOM:
        return RangeMax(slider);
      default:  // SB_THUMBPOSITION, SB_ENDSCROLL and anything else
        return Pos(slider);
    }
  }
  int TrackPos(CEitherSlider& slider) const override { return Read(slider, SIF_TRACKPOS).nTrackPos; }
  int SetLineSize(CEitherSlider&, int) const override { return 1; }  // fixed at 1
  int PageSize(CEitherSlider& slider) const override { return static_cast<int>(Read(slider, SIF_PAGE).nPage); }
  int SetPageSize(CEitherSlider& slider, int nSize) const override {
    SCROLLINFO info = Read(slider, SIF_PAGE);
    const int previous = static_cast<int>(info.nPage);
    // The mask still names the page alone, so only the page changes.
    info.nPage = static_cast<UINT>(nSize);
    slider.CWnd::SetScrollInfo(SB_CTL, &info, TRUE);
    return previous;
  }
  int RangeMin(CEitherSlider& slider) const override { return Range(slider).first; }
  int RangeMax(CEitherSlider& slider) const override { return Range(slider).second; }
  void SetRange(CEitherSlider& slider, int nMin, int nMax, BOOL) const override {
    slider.CWnd::SetScrollRange(SB_CTL, nMin, nMax, TRUE);  // a scroll bar always redraws
  }
  void SetPos(CEitherSlider& slider, int nPos) const override { slider.CWnd::SetScrollPos(SB_CTL, nPos, TRUE); }

 private:
  static int Pos(CEitherSlider& slider) { return slider.CWnd::GetScrollPos(SB_CTL); }
  // The record with the fields of nMask read; zeroed first, so a read that
  // fails answers 0.
  static SCROLLINFO Read(CEitherSlider& slider, UINT nMask) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = nMask;
    slider.CWnd::GetScrollInfo(SB_CTL, &info, nMask);
    return info;
  }
  static std::pair<int, int> Range(CEitherSlider& slider) {
    int lower = 0, upper = 0;
    slider.CWnd::GetScrollRange(SB_CTL, &lower, &upper);
    return {lower, upper};
  }
};

class TrackbarKind : public EitherSliderKind {
 public:
  // A trackbar answers its own position whatever the code.
  int PosFromScrollCode(CEitherSlider& slider, UINT) const override { return Pos(slider); }
  int TrackPos(CEitherSlider& slider) const override { return Pos(slider); }
  int SetLineSize(CEitherSlider& slider, int nSize) const override {
    return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_SETLINESIZE, 0, nSize));
  }
  int PageSize(CEitherSlider& slider) const override {
    return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_GETPAGESIZE, 0, 0));
  }
  int SetPageSize(CEitherSlider& slider, int nSize) const override {
    return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_SETPAGESIZE, 0, nSize));
  }
  int RangeMin(CEitherSlider& slider) const override {
    return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_GETRANGEMIN, 0, 0));
  }
  int RangeMax(CEitherSlider& slider) const override {
    return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_GETRANGEMAX, 0, 0));
  }
  void SetRange(CEitherSlider& slider, int nMin, int nMax, BOOL bRedraw) const override {
    WithControl<CSliderCtrl>(slider.m_hWnd, [&](CSliderCtrl& control) { control.SetRange(nMin, nMax, bRedraw); });
  }
  void SetPos(CEitherSlider& slider, int nPos) const override { ::SendMessageA(slider.m_hWnd, TBM_SETPOS, TRUE, nPos); }
  void SetTicFreq(CEitherSlider& slider, int nFreq) const override {
    ::SendMessageA(slider.m_hWnd, TBM_SETTICFREQ, static_cast<WPARAM>(nFreq), 0);
  }

 private:
  static int Pos(CEitherSlider& slider) { return static_cast<int>(::SendMessageA(slider.m_hWnd, TBM_GETPOS, 0, 0)); }
};

class UpDownKind : public EitherSliderKind {
 public:
  // An up-down answers its own position whatever the code.
  int PosFromScrollCode(CEitherSlider& slider, UINT) const override { return Pos(slider); }
  int TrackPos(CEitherSlider& slider) const override { return Pos(slider); }
  int SetLineSize(CEitherSlider&, int) const override { return 1; }  // fixed at 1
  int PageSize(CEitherSlider&) const override { return 1; }
  int SetPageSize(CEitherSlider&, int) const override { return 1; }
  int RangeMin(CEitherSlider& slider) const override { return Range(slider).first; }
  int RangeMax(CEitherSlider& slider) const override { return Range(slider).second; }
  void SetRange(CEitherSlider& slider, int nMin, int nMax, BOOL) const override {
    // Maximum in the low word, minimum in the high word, each cut to 16 bits.
    ::SendMessageA(slider.m_hWnd, UDM_SETRANGE, 0, MAKELPARAM(nMax, nMin));
  }
  void SetPos(CEitherSlider& slider, int nPos) const override {
    ::SendMessageA(slider.m_hWnd, UDM_SETPOS, 0, MAKELPARAM(nPos, 0));
  }

 private:
  static int Pos(CEitherSlider& slider) { return UpDownPosition(::SendMessageA(slider.m_hWnd, UDM_GETPOS, 0, 0)); }
  static std::pair<int, int> Range(CEitherSlider& slider) {
    int lower = 0, upper = 0;
    WithControl<CSpinButtonCtrl>(slider.m_hWnd, [&](CSpinButtonCtrl& spin) { spin.GetRange(lower, upper); });
    return {lower, upper};
  }
};

const EitherSliderKind kUnclassifiedKind;
const ScrollBarKind kScrollBarKind;
const TrackbarKind kTrackbarKind;
const UpDownKind kUpDownKind;

const EitherSliderKind* KindFor(int nControlType) {
  switch (nControlType) {
    case CEitherSlider::kScrollBar:
      return &kScrollBarKind;
    case CEitherSlider::kTrackbar:
      return &kTrackbarKind;
    case CEitherSlider::kUpDown:
      return &kUpDownKind;
    default:
      return &kUnclassifiedKind;
  }
}

}  // namespace

IMPLEMENT_DYNAMIC(CEitherSlider, CWnd)

BEGIN_MESSAGE_MAP(CEitherSlider, CWnd)
END_MESSAGE_MAP()

CEitherSlider::CEitherSlider() : m_nControlType(kUnclassified), m_pKind(&kUnclassifiedKind) {}

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

void CEitherSlider::Classify(int nControlType) {
  if (m_nControlType != kUnclassified) return;
  m_nControlType = nControlType;
  m_pKind = KindFor(nControlType);
}

void CEitherSlider::PreSubclassWindow() {
  CWnd::PreSubclassWindow();
  if (m_nControlType == kUnclassified) Classify(ClassifyControlWindow(m_hWnd));
}

BOOL CEitherSlider::PreCreateWindow(CREATESTRUCT& cs) {
  BOOL result = CWnd::PreCreateWindow(cs);
  // A class given as an atom is no name to read.
  if (m_nControlType == kUnclassified && !IS_INTRESOURCE(cs.lpszClass)) Classify(ClassifyControlClass(cs.lpszClass));
  return result;
}

int CEitherSlider::GetPosFromScrollCode(UINT nSBCode) { return m_pKind->PosFromScrollCode(*this, nSBCode); }
int CEitherSlider::GetTrackPos() { return m_pKind->TrackPos(*this); }
int CEitherSlider::SetLineSize(int nSize) { return m_pKind->SetLineSize(*this, nSize); }
int CEitherSlider::GetPageSize() { return m_pKind->PageSize(*this); }
int CEitherSlider::SetPageSize(int nSize) { return m_pKind->SetPageSize(*this, nSize); }
int CEitherSlider::GetRangeMax() { return m_pKind->RangeMax(*this); }
int CEitherSlider::GetRangeMin() { return m_pKind->RangeMin(*this); }
void CEitherSlider::SetRange(int nMin, int nMax, BOOL bRedraw) { m_pKind->SetRange(*this, nMin, nMax, bRedraw); }
void CEitherSlider::SetPos(int nPos) { m_pKind->SetPos(*this, nPos); }
void CEitherSlider::SetTicFreq(int nFreq) { m_pKind->SetTicFreq(*this, nFreq); }
