// The dialog the configure entry runs: the total-variation dialog bound to
// the host's parameter set. Opening it loads the three parameters, brought
// into range, and narrows the stored variance maximum to the noise type's;
// only an OK with every field valid writes the values back.
#pragma once

#include "dialog/TvDialog.h"

class PluginParam;

// The plug-in's page in the host's help.
constexpr const char kHelpPage[] = "Calvane.htm";

class CParameterDlg : public CTvDialog {
 public:
  // The dialog edits `pParams` in place; it never owns or frees it.
  CParameterDlg(PluginParam* pParams, CWnd* pParentWnd);
  ~CParameterDlg() override;

  BOOL OnInitDialog() override;
  void DoDataExchange(CDataExchange* pDX) override;

  afx_msg void OnHelp();
  afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);

  PluginParam* const m_pParams;

 protected:
  DECLARE_MESSAGE_MAP()
};
