// Framework wrappers of the common controls: the trackbar (CSliderCtrl) and
// the up-down control (CSpinButtonCtrl).
#pragma once

#include "afx/afxwin.h"

class AFX_API CSliderCtrl : public CWnd {
  DECLARE_DYNAMIC(CSliderCtrl)
 public:
  CSliderCtrl();
  ~CSliderCtrl() override;
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  int GetLineSize() const;
  int SetLineSize(int nSize);
  int GetPageSize() const;
  int SetPageSize(int nSize);
  int GetRangeMax() const;
  int GetRangeMin() const;
  void GetRange(int& nMin, int& nMax) const;
  void SetRangeMin(int nMin, BOOL bRedraw = FALSE);
  void SetRangeMax(int nMax, BOOL bRedraw = FALSE);
  // Both ends; the trackbar redraws only when bRedraw is nonzero.
  void SetRange(int nMin, int nMax, BOOL bRedraw = FALSE);
  int GetPos() const;
  void SetPos(int nPos);
  void SetTicFreq(int nFreq);
  BOOL SetTic(int nTic);
  void ClearTics(BOOL bRedraw = FALSE);
  int GetNumTics() const;
};

class AFX_API CSpinButtonCtrl : public CWnd {
  DECLARE_DYNAMIC(CSpinButtonCtrl)
 public:
  CSpinButtonCtrl();
  ~CSpinButtonCtrl() override;
  BOOL Create(DWORD dwStyle, const RECT& rect, CWnd* pParentWnd, UINT nID);

  // The 16-bit forms: the position and the limits travel as signed 16-bit
  // numbers.
  int GetPos() const;
  int SetPos(int nPos);
  void GetRange(int& lower, int& upper) const;
  void SetRange(short nLower, short nUpper);
  void GetRange32(int& lower, int& upper) const;
  void SetRange32(int nLower, int nUpper);
  CWnd* GetBuddy() const;
  CWnd* SetBuddy(CWnd* pWndBuddy);
  int GetBase() const;
  int SetBase(int nBase);
};
