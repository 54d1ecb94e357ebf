#include "dialog/FocusDialog.h"

IMPLEMENT_DYNAMIC(CFocusDialog, CDialog)

BEGIN_MESSAGE_MAP(CFocusDialog, CDialog)
END_MESSAGE_MAP()

CFocusDialog::CFocusDialog(UINT nIDTemplate, CWnd* pParentWnd) : CDialog(nIDTemplate, pParentWnd) {}

CFocusDialog::~CFocusDialog() = default;

bool CFocusDialog::ShouldValidateOnKillFocus(HWND, HWND hNewFocus) {
  return hNewFocus != ::GetDlgItem(m_hWnd, IDCANCEL);
}

void CFocusDialog::FocusControl(UINT nID) {
  if (HWND hCtrl = ::GetDlgItem(m_hWnd, static_cast<int>(nID))) ::SetFocus(hCtrl);
}

BOOL CFocusDialog::OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo) {
  {
    const bool validation = nCode == FDN_KILLFOCUS && pHandlerInfo == nullptr;
    const bool wasHandlingValidation = m_bHandlingValidation;
    struct Restore {
      bool& flag;
      bool value;
      ~Restore() { flag = value; }
    } restore{m_bHandlingValidation, wasHandlingValidation};
    if (validation) m_bHandlingValidation = true;
    if (CDialog::OnCmdMsg(nID, nCode, pExtra, pHandlerInfo)) return TRUE;
  }
  if (nID == 0 || pHandlerInfo != nullptr) return FALSE;
  if (nCode == EN_KILLFOCUS && !m_bHandlingValidation) {
    // Posted, so that the field is validated only once the focus change
    // that caused it has finished.
    HWND hCtrl = ::GetDlgItem(m_hWnd, static_cast<int>(nID));
    HWND hNewFocus = ::GetFocus();
    if (ShouldValidateOnKillFocus(hCtrl, hNewFocus)) {
      ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(LOWORD(nID), FDN_KILLFOCUS), reinterpret_cast<LPARAM>(hCtrl));
    }
  }
  return FALSE;
}
