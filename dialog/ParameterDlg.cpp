#include "dialog/ParameterDlg.h"

#include "host/HostExports.h"
#include "host/PluginParam.h"
#include "params/ParameterList.h"

BEGIN_MESSAGE_MAP(CParameterDlg, CTvDialog)
  ON_BN_CLICKED(IDC_HELP_BUTTON, OnHelp)
  ON_WM_HELPINFO()
END_MESSAGE_MAP()

CParameterDlg::CParameterDlg(PluginParam* pParams, CWnd* pParentWnd)
    : CTvDialog(IDD_TV_PARAMETERS, pParentWnd), m_pParams(pParams) {}

CParameterDlg::~CParameterDlg() = default;

BOOL CParameterDlg::OnInitDialog() {
  PluginParamEntry* entries = m_pParams->m_pEntries;
  SetNoiseType(entries[PARAM_NOISE_TYPE].value.i == NOISE_MULTIPLICATIVE ? NOISE_MULTIPLICATIVE : NOISE_ADDITIVE);

  const float maximum = VarianceMaximum(m_nNoiseType);
  // A stored value that is not a number passes both tests and is then
  // ignored by SetNoiseVariance: the dialog keeps its own variance.
  float variance = entries[PARAM_NOISE_VARIANCE].value.f;
  if (variance >= maximum) variance = maximum;
  if (variance <= kMinNoiseVariance) variance = kMinNoiseVariance;
  SetNoiseVariance(variance);
  // Written on every opening, whatever the dialog ends with.
  entries[PARAM_NOISE_VARIANCE].maximum.f = maximum;

  int iterations = entries[PARAM_ITERATIONS].value.i;
  if (iterations >= kMaxIterations) iterations = kMaxIterations;
  if (iterations <= kMinIterations) iterations = kMinIterations;
  SetIterations(iterations);

  CTvDialog::OnInitDialog();
  return TRUE;
}

void CParameterDlg::DoDataExchange(CDataExchange* pDX) {
  // A field that fails leaves by the framework's exception before anything
  // is written, so the set never holds part of an edit.
  CTvDialog::DoDataExchange(pDX);
  if (!pDX->m_bSaveAndValidate) return;
  PluginParamEntry* entries = m_pParams->m_pEntries;
  entries[PARAM_NOISE_TYPE].value.i = m_nNoiseType;
  entries[PARAM_NOISE_VARIANCE].value.f = m_fNoiseVariance;
  entries[PARAM_ITERATIONS].value.i = m_nIterations;
}

void CParameterDlg::OnHelp() { PluginHelp(kHelpPage); }

BOOL CParameterDlg::OnHelpInfo(HELPINFO*) {
  // Handled here, so the framework's own help handling does not run.
  OnHelp();
  return TRUE;
}
