// A dialog that turns an edit field's loss of the keyboard focus into a
// deferred request to validate that field, unless the focus went to Cancel.
// A derived dialog validates a field by handling FDN_KILLFOCUS for its
// identifier (ON_CONTROL(FDN_KILLFOCUS, id, handler)) and puts the focus back
// on a field that failed with FocusControl.
#pragma once

#include "afx/afxwin.h"

// Posted to the dialog in a WM_COMMAND exactly like a control notification:
// the field's identifier in the low word of wParam, this code in the high
// word, the field's window in lParam.
#define FDN_KILLFOCUS 0x0201

class CFocusDialog : public CDialog {
  DECLARE_DYNAMIC(CFocusDialog)

 public:
  CFocusDialog(UINT nIDTemplate, CWnd* pParentWnd);
  ~CFocusDialog() override;

  BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) override;

  // Whether hCtrl losing the focus to hNewFocus calls for validation: yes,
  // unless hNewFocus is the dialog's Cancel button.
  virtual bool ShouldValidateOnKillFocus(HWND hCtrl, HWND hNewFocus);

  // Gives the focus to the dialog's control nID, if it has one.
  void FocusControl(UINT nID);

 protected:
  DECLARE_MESSAGE_MAP()

 private:
  // While a validation request is handled, the focus moves that its handler
  // makes (back to a field that failed) request no validation: two invalid
  // fields would otherwise send the focus back and forth between them, with
  // a message box each time, for ever.
  bool m_bHandlingValidation = false;
};
