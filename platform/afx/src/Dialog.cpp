// CDialog: modal and modeless dialogs from the current module's templates.
#include "afx/afxwin.h"
#include "afx/src/ThreadState.h"

namespace {

// The dialog procedure of framework dialogs: everything else reaches the
// object through its message map, WM_INITDIALOG reaches OnInitDialog here.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return FALSE;
  CDialog* pDialog = DYNAMIC_DOWNCAST(CDialog, CWnd::FromHandlePermanent(hWnd));
  return pDialog != nullptr ? pDialog->OnInitDialog() : TRUE;
}

const void* FindTemplate(LPCSTR lpszTemplateName, HINSTANCE* phInstance) {
  HINSTANCE hInstance = AfxFindResourceHandle(lpszTemplateName, RT_DIALOG);
  HRSRC hResource = FindResourceA(hInstance, lpszTemplateName, RT_DIALOG);
  *phInstance = hInstance;
  return hResource != nullptr ? LockResource(LoadResource(hInstance, hResource)) : nullptr;
}

HWND OwnerFor(CWnd* pParentWnd) {
  if (pParentWnd != nullptr) return pParentWnd->m_hWnd;
  CWinApp* app = AfxGetApp();
  return app != nullptr && app->m_pMainWnd != nullptr ? app->m_pMainWnd->m_hWnd : nullptr;
}

}  // namespace

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog() : m_lpszTemplateName(nullptr), m_nIDHelp(0), m_pParentWnd(nullptr), m_nModalResult(-1) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_lpszTemplateName(MAKEINTRESOURCEA(nIDTemplate)),
      m_nIDHelp(nIDTemplate),
      m_pParentWnd(pParentWnd),
      m_nModalResult(-1) {}

CDialog::CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd)
    : m_lpszTemplateName(lpszTemplateName), m_nIDHelp(0), m_pParentWnd(pParentWnd), m_nModalResult(-1) {}

CDialog::~CDialog() {
  if (m_hWnd != nullptr) DestroyWindow();
}

INT_PTR CDialog::DoModal() {
  HINSTANCE hInstance;
  const void* data = FindTemplate(m_lpszTemplateName, &hInstance);
  if (data == nullptr) return -1;
  AfxRegisterCommonControls();
  AfxLockTempMaps();
  struct Unlock {
    ~Unlock() { AfxUnlockTempMaps(); }
  } unlock;
  m_nModalResult = -1;
  AfxHookWindowCreate(this);
  INT_PTR result;
  try {
    result = DialogBoxIndirectParamA(hInstance, static_cast<LPCDLGTEMPLATEA>(data), OwnerFor(m_pParentWnd),
                                     &AfxDlgProc, 0);
  } catch (...) {
    AfxUnhookWindowCreate();
    throw;
  }
  AfxUnhookWindowCreate();
  return result;
}

BOOL CDialog::Create(LPCSTR lpszTemplateName, CWnd* pParentWnd) {
  if (m_hWnd != nullptr) return FALSE;
  m_lpszTemplateName = lpszTemplateName;
  if (pParentWnd != nullptr) m_pParentWnd = pParentWnd;
  HINSTANCE hInstance;
  const void* data = FindTemplate(lpszTemplateName, &hInstance);
  if (data == nullptr) return FALSE;
  AfxRegisterCommonControls();
  AfxHookWindowCreate(this);
  HWND hWnd;
  try {
    hWnd = CreateDialogIndirectParamA(hInstance, static_cast<LPCDLGTEMPLATEA>(data), OwnerFor(m_pParentWnd),
                                      &AfxDlgProc, 0);
  } catch (...) {
    AfxUnhookWindowCreate();
    throw;
  }
  AfxUnhookWindowCreate();
  return hWnd != nullptr ? TRUE : FALSE;
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
  if (m_nIDHelp == 0) m_nIDHelp = nIDTemplate;
  return Create(MAKEINTRESOURCEA(nIDTemplate), pParentWnd);
}

void CDialog::EndDialog(int nResult) {
  m_nModalResult = nResult;
  ::EndDialog(m_hWnd, nResult);
}

void CDialog::GotoDlgCtrl(CWnd* pWndCtrl) {
  if (pWndCtrl != nullptr) SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pWndCtrl->m_hWnd), TRUE);
}

void CDialog::NextDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 0, 0); }
void CDialog::PrevDlgCtrl() const { SendMessage(WM_NEXTDLGCTL, 1, 0); }
void CDialog::SetDefID(UINT nID) { SendMessage(DM_SETDEFID, nID, 0); }
DWORD CDialog::GetDefID() const { return static_cast<DWORD>(SendMessage(DM_GETDEFID, 0, 0)); }

BOOL CDialog::OnInitDialog() {
  if (!UpdateData(FALSE)) {
    EndDialog(-1);
    return FALSE;
  }
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }
