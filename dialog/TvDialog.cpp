#include "dialog/TvDialog.h"

#include <climits>
#include <cmath>

#include "params/ParameterList.h"

namespace {

// A thousandth as the single-precision constant the mapping is defined with
// (0.0010000000474974513), not the double 0.001.
constexpr float kThousandth = 0.001f;
constexpr int kSliderPageSize = 50;
constexpr int kSliderTicFrequency = 50;

// Truncation toward zero that saturates instead of overflowing.
int TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

BEGIN_MESSAGE_MAP(CTvDialog, CFocusDialog)
  ON_WM_HSCROLL()
  ON_SCROLL_MESSAGE(WM_VSCROLL, OnHScroll)
  ON_CONTROL(FDN_KILLFOCUS, IDC_VARIANCE, OnKillFocusVariance)
  ON_CONTROL(FDN_KILLFOCUS, IDC_ITERATIONS, OnKillFocusIterations)
END_MESSAGE_MAP()

CTvDialog::CTvDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : CFocusDialog(nIDTemplate, pParentWnd),
      m_fNoiseVariance(kDefaultNoiseVariance),
      m_nNoiseType(NOISE_ADDITIVE),
      m_nIterations(kDefaultIterations) {}

CTvDialog::~CTvDialog() = default;

float CTvDialog::VarianceMaximum(int nNoiseType) { return NoiseVarianceMaximum(nNoiseType); }

float CTvDialog::SliderScale(int nNoiseType) { return VarianceSliderScale(nNoiseType); }

int CTvDialog::VarianceToPosition(float fVariance, int nNoiseType) {
  return TruncateToInt(static_cast<double>(fVariance) * static_cast<double>(kVarianceSliderSteps) /
                       static_cast<double>(SliderScale(nNoiseType)));
}

float CTvDialog::PositionToVariance(int nPos, int nNoiseType) {
  const double product = static_cast<double>(nPos) * static_cast<double>(SliderScale(nNoiseType)) *
                         static_cast<double>(kThousandth);
  return static_cast<float>(product);
}

void CTvDialog::SetNoiseType(int nType) {
  if (nType == m_nNoiseType) return;
  m_nNoiseType = nType;
  // Lowered to the new maximum, never raised (a variance that is not a
  // number becomes the maximum too).
  const float maximum = VarianceMaximum(m_nNoiseType);
  if (!(m_fNoiseVariance <= maximum)) m_fNoiseVariance = maximum;
  if (m_hWnd == nullptr) return;  // the first exchange will show it
  CDataExchange dx(this, FALSE);
  ExchangeNoiseVariance(&dx);
}

void CTvDialog::SetNoiseVariance(float fVariance) {
  if (std::isnan(fVariance) || std::isnan(m_fNoiseVariance) || fVariance == m_fNoiseVariance) return;
  m_fNoiseVariance = fVariance;
  if (m_hWnd == nullptr) return;
  CDataExchange dx(this, FALSE);
  ExchangeNoiseVariance(&dx);
}

void CTvDialog::SetIterations(int nIterations) {
  if (nIterations == m_nIterations) return;
  m_nIterations = nIterations;
  if (m_hWnd == nullptr) return;
  CDataExchange dx(this, FALSE);
  ExchangeIterations(&dx);
}

void CTvDialog::ExchangeNoiseVariance(CDataExchange* pDX) {
  const float maximum = VarianceMaximum(m_nNoiseType);
  DDX_Text(pDX, IDC_VARIANCE, m_fNoiseVariance);
  DDV_MinMaxFloat(pDX, m_fNoiseVariance, kMinNoiseVariance, maximum);
  // Reached only with a valid value when reading.
  if (m_sliderVariance.m_hWnd != nullptr) {
    m_sliderVariance.SetPos(VarianceToPosition(m_fNoiseVariance, m_nNoiseType));
  }
}

void CTvDialog::ExchangeIterations(CDataExchange* pDX) {
  DDX_Text(pDX, IDC_ITERATIONS, m_nIterations);
  DDV_MinMaxInt(pDX, m_nIterations, kMinIterations, kMaxIterations);
  if (m_sliderIterations.m_hWnd != nullptr) m_sliderIterations.SetPos(m_nIterations);
}

void CTvDialog::DoDataExchange(CDataExchange* pDX) {
  ExchangeNoiseVariance(pDX);
  ExchangeIterations(pDX);
}

BOOL CTvDialog::OnInitDialog() {
  if (::GetDlgItem(m_hWnd, IDC_VARIANCE_SLIDER) != nullptr) {
    m_sliderVariance.SubclassDlgItem(IDC_VARIANCE_SLIDER, this);
    m_sliderVariance.SetRange(0, kVarianceSliderSteps, FALSE);
    m_sliderVariance.SetLineSize(1);
    m_sliderVariance.SetPageSize(kSliderPageSize);
    m_sliderVariance.SetTicFreq(kSliderTicFrequency);
  }
  if (::GetDlgItem(m_hWnd, IDC_ITERATIONS_SLIDER) != nullptr) {
    m_sliderIterations.SubclassDlgItem(IDC_ITERATIONS_SLIDER, this);
    m_sliderIterations.SetRange(kMinIterations, kMaxIterations, FALSE);
    m_sliderIterations.SetLineSize(1);
    m_sliderIterations.SetPageSize(kSliderPageSize);
    m_sliderIterations.SetTicFreq(kSliderTicFrequency);
  }
  CFocusDialog::OnInitDialog();
  // The focus goes to the first tab stop, whatever the exchange answered.
  return TRUE;
}

void CTvDialog::OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
  HWND hScrolled = pScrollBar != nullptr ? pScrollBar->m_hWnd : nullptr;
  if (hScrolled != nullptr && hScrolled == m_sliderVariance.m_hWnd) {
    OnVarianceScroll(nSBCode, nPos);
  } else if (hScrolled != nullptr && hScrolled == m_sliderIterations.m_hWnd) {
    OnIterationsScroll(nSBCode, nPos);
  } else {
    CWnd::OnHScroll(nSBCode, nPos, pScrollBar);
  }
}

void CTvDialog::OnVarianceScroll(UINT nSBCode, UINT) {
  // The end of a movement carries no new position. Read back, the slider's
  // position would be the one the exchange has just set, which for some
  // positions is one lower than the user's (33 gives 0.033, shown at 32);
  // taking the variance from there again would keep an arrow key from ever
  // getting past such a position.
  if (nSBCode == SB_ENDSCROLL) return;
  const int position = m_sliderVariance.GetPosFromScrollCode(nSBCode);
  SetNoiseVariance(PositionToVariance(position, m_nNoiseType));
}

void CTvDialog::OnIterationsScroll(UINT nSBCode, UINT) {
  SetIterations(m_sliderIterations.GetPosFromScrollCode(nSBCode));
}

void CTvDialog::OnKillFocusVariance() {
  try {
    CDataExchange dx(this, TRUE);
    ExchangeNoiseVariance(&dx);
  } catch (CException* e) {
    // The user has been told; the field gets the focus back.
    e->Delete();
    FocusControl(IDC_VARIANCE);
  } catch (...) {
    FocusControl(IDC_VARIANCE);
  }
}

void CTvDialog::OnKillFocusIterations() {
  try {
    CDataExchange dx(this, TRUE);
    ExchangeIterations(&dx);
  } catch (CException* e) {
    e->Delete();
    FocusControl(IDC_ITERATIONS);
  } catch (...) {
    FocusControl(IDC_ITERATIONS);
  }
}
