// A window object that drives a scroll bar control, a trackbar or an up-down
// control through one set of operations. It learns the kind of control once,
// from the window class name, when it is attached to a control or creates
// one, and from then on hands every operation to the behaviour of that kind;
// an operation that means nothing for that kind sends nothing and answers a
// fixed value, so callers can treat the three kinds alike.
#pragma once

#include "afx/afxwin.h"

// What the operations do for one kind of control (defined with the class).
class EitherSliderKind;

class CEitherSlider : public CWnd {
  DECLARE_DYNAMIC(CEitherSlider)

 public:
  enum ControlType { kUnclassified = 0, kScrollBar = 1, kTrackbar = 2, kUpDown = 3 };

  CEitherSlider();
  ~CEitherSlider() override;

  // The position a scroll notification with code nSBCode leads to. Only a
  // scroll bar needs the code; the other kinds answer their own position.
  int GetPosFromScrollCode(UINT nSBCode);
  // The thumb's position while the user drags it.
  int GetTrackPos();
  int SetLineSize(int nSize);
  int GetPageSize();
  int SetPageSize(int nSize);
  int GetRangeMax();
  int GetRangeMin();
  void SetRange(int nMin, int nMax, BOOL bRedraw);
  void SetPos(int nPos);
  void SetTicFreq(int nFreq);

  // The kind for a window class name (compared without regard to case), and
  // for a window.
  static int ClassifyControlClass(const char* lpszClass);
  static int ClassifyControlWindow(HWND hWnd);

  // Once nonzero, it never changes for the life of the object.
  int m_nControlType;

 protected:
  void PreSubclassWindow() override;
  BOOL PreCreateWindow(CREATESTRUCT& cs) override;

  DECLARE_MESSAGE_MAP()

 private:
  // Records the kind and picks its behaviour; once only.
  void Classify(int nControlType);

  const EitherSliderKind* m_pKind;
};
