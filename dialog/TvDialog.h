// The total-variation dialog: the noise variance and the number of
// iterations, each an edit field coupled to a slider, under a noise type
// that has no control of its own and limits the variance. It knows nothing
// of the host: CParameterDlg loads and stores its values.
#pragma once

#include "dialog/EitherSlider.h"
#include "dialog/FocusDialog.h"
#include "dialog/Resource.h"

class CTvDialog : public CFocusDialog {
 public:
  CTvDialog(UINT nIDTemplate, CWnd* pParentWnd);
  ~CTvDialog() override;

  // Each changes one setting and refreshes the field (and the slider, once
  // attached) that shows it; a value equal to the current one changes
  // nothing. The variance is stored as given, unclamped.
  void SetNoiseType(int nType);
  void SetNoiseVariance(float fVariance);
  void SetIterations(int nIterations);

  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  // The exchange of one setting, in either direction, so that a field can be
  // validated alone.
  void ExchangeNoiseVariance(CDataExchange* pDX);
  void ExchangeIterations(CDataExchange* pDX);

  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  void OnVarianceScroll(UINT nSBCode, UINT nPos);
  void OnIterationsScroll(UINT nSBCode, UINT nPos);
  afx_msg void OnKillFocusVariance();
  afx_msg void OnKillFocusIterations();

  // The largest variance the noise type allows: 1 for multiplicative noise,
  // 10000000 otherwise.
  static float VarianceMaximum(int nNoiseType);
  // Variance units per thousand slider steps: 1000 for additive noise, 1 for
  // multiplicative noise.
  static float SliderScale(int nNoiseType);
  // The mappings between a variance and the variance slider's position.
  static int VarianceToPosition(float fVariance, int nNoiseType);
  static float PositionToVariance(int nPos, int nNoiseType);

  float m_fNoiseVariance;
  CEitherSlider m_sliderVariance;
  int m_nNoiseType;
  int m_nIterations;
  CEitherSlider m_sliderIterations;

 protected:
  DECLARE_MESSAGE_MAP()
};
