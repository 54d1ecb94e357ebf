// CWnd: the handle maps, subclassing and creation, the framework's window
// procedure, message dispatch, and CScrollBar.
#include <memory>
#include <unordered_map>

#include "afx/afxwin.h"
#include "afx/src/ThreadState.h"

// ---- Thread state ------------------------------------------------------------------

AfxThreadState::~AfxThreadState() {
  // Temporary wrappers never own their windows.
  for (auto& entry : temporaryMap) entry.second->m_hWnd = nullptr;
}

AfxThreadState& AfxGetThreadState() {
  thread_local AfxThreadState state;
  return state;
}

void AfxLockTempMaps() { ++AfxGetThreadState().nTempMapLock; }

BOOL AfxUnlockTempMaps() {
  AfxThreadState& state = AfxGetThreadState();
  if (state.nTempMapLock > 0 && --state.nTempMapLock == 0) {
    AfxReleaseTempMaps();
    return TRUE;
  }
  return FALSE;
}

void AfxReleaseTempMaps() {
  AfxThreadState& state = AfxGetThreadState();
  auto temporaries = std::move(state.temporaryMap);
  state.temporaryMap.clear();
  for (auto& entry : temporaries) entry.second->m_hWnd = nullptr;
}

// ---- Creation hook ---------------------------------------------------------------------
// While a framework object creates its window, a creation hook ties the
// object to the new window before the window's first message, and routes
// its messages through the framework (as subclassing does).

namespace {

LRESULT CALLBACK CbtFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  AfxThreadState& state = AfxGetThreadState();
  if (code == HCBT_CREATEWND && state.pWndInit != nullptr) {
    CWnd* pWnd = state.pWndInit;
    state.pWndInit = nullptr;
    auto hWnd = reinterpret_cast<HWND>(wParam);
    pWnd->Attach(hWnd);
    pWnd->PreSubclassWindow();
    auto previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    if (previous != &AfxWndProc) pWnd->m_pfnSuper = previous;
  }
  return CallNextHookEx(state.hHookCbtFilter, code, wParam, lParam);
}

}  // namespace

void AfxHookWindowCreate(CWnd* pWnd) {
  AfxThreadState& state = AfxGetThreadState();
  if (state.hHookCbtFilter == nullptr) {
    state.hHookCbtFilter = SetWindowsHookExA(WH_CBT, &CbtFilterHook, nullptr, 0);
  }
  state.pWndInit = pWnd;
}

BOOL AfxUnhookWindowCreate() {
  AfxThreadState& state = AfxGetThreadState();
  if (state.hHookCbtFilter != nullptr) {
    UnhookWindowsHookEx(state.hHookCbtFilter);
    state.hHookCbtFilter = nullptr;
  }
  if (state.pWndInit != nullptr) {
    state.pWndInit = nullptr;
    return FALSE;  // the window was never created
  }
  return TRUE;
}

// ---- The framework's window procedure ---------------------------------------------------

namespace {

// The original's rule: a failed creation fails quietly, an exception the user has
// been told about stays quiet, anything else is reported.
LRESULT ProcessWndProcException(CException* e, const MSG& msg) {
  if (msg.message == WM_CREATE || msg.message == WM_NCCREATE) return -1;
  if (e->IsKindOf(RUNTIME_CLASS(CUserException))) return 0;
  UINT nIDP = (msg.message == WM_COMMAND && msg.lParam == 0) ? AFX_IDP_COMMAND_FAILURE : AFX_IDP_INTERNAL_FAILURE;
  e->ReportError(e->IsKindOf(RUNTIME_CLASS(CMemoryException)) ? MB_ICONEXCLAMATION : MB_ICONSTOP, nIDP);
  return 0;
}

}  // namespace

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
  if (pWnd == nullptr) return DefWindowProcA(hWnd, nMsg, wParam, lParam);
  AFX_MAINTAIN_STATE2 moduleState(pWnd->m_pModuleState);
  AfxThreadState& state = AfxGetThreadState();
  AfxRestoreOnExit<MSG> restoreMessage(state.lastSentMsg);
  state.lastSentMsg = MSG{hWnd, nMsg, wParam, lParam, 0, POINT{0, 0}};
  try {
    // The object may be gone when WindowProc returns (PostNcDestroy).
    return pWnd->WindowProc(nMsg, wParam, lParam);
  } catch (CException* e) {
    LRESULT result = ProcessWndProcException(e, state.lastSentMsg);
    e->Delete();
    return result;
  }
}

CScrollBar* AfxScrollBarFromHandle(HWND hWnd, CScrollBar& temporary) {
  if (hWnd == nullptr) return nullptr;
  CWnd* permanent = CWnd::FromHandlePermanent(hWnd);
  if (permanent != nullptr && permanent->IsKindOf(RUNTIME_CLASS(CScrollBar))) {
    return static_cast<CScrollBar*>(permanent);
  }
  // Whatever object wraps the control, the handler gets a scroll bar object
  // for the same window.
  temporary.m_hWnd = hWnd;
  return &temporary;
}

// ---- CWnd ---------------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
  ON_WM_NCDESTROY()
END_MESSAGE_MAP()

CWnd::CWnd() : m_hWnd(nullptr), m_pfnSuper(nullptr) {}

CWnd::~CWnd() {
  if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this) {
    // An object that goes while its window is still there takes the window
    // with it, as in the original.
    ::DestroyWindow(m_hWnd);
    if (m_hWnd != nullptr && FromHandlePermanent(m_hWnd) == this) Detach();
  }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  auto& map = AfxGetThreadState().permanentMap;
  auto it = map.find(hWnd);
  return it == map.end() ? nullptr : it->second;
}

CWnd* CWnd::FromHandle(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  if (CWnd* permanent = FromHandlePermanent(hWnd)) return permanent;
  auto& temporaries = AfxGetThreadState().temporaryMap;
  auto it = temporaries.find(hWnd);
  if (it != temporaries.end()) return it->second.get();
  std::unique_ptr<CWnd> wrapper(new (afxNew) CWnd);
  wrapper->m_hWnd = hWnd;
  CWnd* result = wrapper.get();
  temporaries.emplace(hWnd, std::move(wrapper));
  return result;
}

BOOL CWnd::Attach(HWND hWndNew) {
  if (hWndNew == nullptr || m_hWnd != nullptr || FromHandlePermanent(hWndNew) != nullptr) return FALSE;
  AfxThreadState& state = AfxGetThreadState();
  state.permanentMap[hWndNew] = this;
  // A temporary wrapper of the same window is no longer handed out.
  auto it = state.temporaryMap.find(hWndNew);
  if (it != state.temporaryMap.end()) {
    it->second->m_hWnd = nullptr;
    state.temporaryMap.erase(it);
  }
  m_hWnd = hWndNew;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND hWnd = m_hWnd;
  if (hWnd != nullptr) {
    auto& map = AfxGetThreadState().permanentMap;
    auto it = map.find(hWnd);
    if (it != map.end() && it->second == this) map.erase(it);
  }
  m_hWnd = nullptr;
  return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
  if (!::IsWindow(hWnd) || !Attach(hWnd)) return FALSE;
  PreSubclassWindow();
  auto previous =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
  if (previous != &AfxWndProc) m_pfnSuper = previous;
  return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
  if (pParent == nullptr) return FALSE;
  HWND hWndControl = ::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID));
  return hWndControl != nullptr ? SubclassWindow(hWndControl) : FALSE;
}

HWND CWnd::UnsubclassWindow() {
  if (m_hWnd == nullptr) return nullptr;
  if (m_pfnSuper != nullptr) SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  m_pfnSuper = nullptr;
  return Detach();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT& cs) {
  if (cs.lpszClass == nullptr) {
    // A window of no particular class gets the framework's plain one.
    static const char kClassName[] = "AfxWnd";
    WNDCLASSA wc{};
    if (!GetClassInfoA(nullptr, kClassName, &wc)) {
      wc.lpfnWndProc = &DefWindowProcA;
      wc.lpszClassName = kClassName;
      RegisterClassA(&wc);
    }
    cs.lpszClass = kClassName;
  }
  return TRUE;
}

void CWnd::PreSubclassWindow() {}
void CWnd::PostNcDestroy() {}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam) {
  CREATESTRUCT cs{lpParam, AfxGetInstanceHandle(), nIDorHMenu, hWndParent, nHeight, nWidth, y,
                  x,       static_cast<LONG>(dwStyle), lpszWindowName, lpszClassName, dwExStyle};
  if (!PreCreateWindow(cs)) {
    PostNcDestroy();
    return FALSE;
  }
  AfxRegisterCommonControls();
  AfxHookWindowCreate(this);
  HWND hWnd;
  try {
    hWnd = ::CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x, cs.y,
                             cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
  } catch (...) {
    AfxUnhookWindowCreate();
    throw;
  }
  if (!AfxUnhookWindowCreate()) PostNcDestroy();
  return hWnd != nullptr ? TRUE : FALSE;
}

BOOL CWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                  UINT nID, void* pContext) {
  return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                  rect.bottom - rect.top, pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr,
                  reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), pContext);
}

BOOL CWnd::DestroyWindow() { return m_hWnd != nullptr ? ::DestroyWindow(m_hWnd) : FALSE; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT lResult = 0;
  if (!OnWndMsg(message, wParam, lParam, &lResult)) lResult = DefWindowProc(message, wParam, lParam);
  return lResult;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  LRESULT lResult = 0;
  if (message == WM_COMMAND) {
    if (!OnCommand(wParam, lParam)) return FALSE;
    lResult = 1;
  } else if (message == WM_NOTIFY) {
    if (!OnNotify(wParam, lParam, &lResult)) return FALSE;
  } else {
    const AFX_MSGMAP_ENTRY* lpEntry = nullptr;
    for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr && lpEntry == nullptr;
         pMap = pMap->pfnGetBaseMap != nullptr ? pMap->pfnGetBaseMap() : nullptr) {
      lpEntry = AfxFindMessageEntry(pMap->lpEntries, message, 0, 0);
    }
    if (lpEntry == nullptr) return FALSE;
    lResult = lpEntry->pfn(this, wParam, lParam);
  }
  if (pResult != nullptr) *pResult = lResult;
  return TRUE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (m_pfnSuper != nullptr) return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
  return DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
  const MSG& msg = AfxGetThreadState().lastSentMsg;
  return DefWindowProc(msg.message, msg.wParam, msg.lParam);
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
  UINT nID = LOWORD(wParam);
  auto hWndCtrl = reinterpret_cast<HWND>(lParam);
  int nCode = HIWORD(wParam);
  if (hWndCtrl == nullptr) {
    nCode = CN_COMMAND;
  } else if (AfxGetThreadState().hLockoutNotifyWindow == m_hWnd) {
    return TRUE;  // a notification during data exchange: ignored
  }
  return OnCmdMsg(nID, nCode, nullptr, nullptr);
}

BOOL CWnd::OnNotify(WPARAM, LPARAM lParam, LRESULT* pResult) {
  auto* header = reinterpret_cast<NMHDR*>(lParam);
  if (header == nullptr || header->hwndFrom == nullptr) return FALSE;
  if (AfxGetThreadState().hLockoutNotifyWindow == m_hWnd) return TRUE;
  if (pResult != nullptr) *pResult = 0;
  // The notification travels in nCode's high word as WM_NOTIFY.
  return OnCmdMsg(static_cast<UINT>(header->idFrom), static_cast<int>(MAKELONG(header->code, WM_NOTIFY)), pResult,
                  nullptr);
}

void CWnd::OnHScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
BOOL CWnd::OnHelpInfo(HELPINFO*) { return static_cast<BOOL>(Default()); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }

void CWnd::OnNcDestroy() {
  HWND hWnd = m_hWnd;
  auto procBefore = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC));
  Default();
  if (m_pfnSuper != nullptr && ::IsWindow(hWnd) &&
      reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hWnd, GWLP_WNDPROC)) == procBefore) {
    SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
  }
  m_pfnSuper = nullptr;
  Detach();
  PostNcDestroy();
}

CWnd* CWnd::GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
CWnd* CWnd::GetDlgItem(int nID) const { return FromHandle(::GetDlgItem(m_hWnd, nID)); }
void CWnd::GetDlgItem(int nID, HWND* phWnd) const { *phWnd = ::GetDlgItem(m_hWnd, nID); }
int CWnd::GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
CWnd* CWnd::SetFocus() { return FromHandle(::SetFocus(m_hWnd)); }
CWnd* CWnd::GetFocus() { return FromHandle(::GetFocus()); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::SendDlgItemMessage(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
}

void CWnd::SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }

int CWnd::GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const {
  return ::GetWindowTextA(m_hWnd, lpszStringBuf, nMaxCount);
}

void CWnd::GetWindowText(CString& rString) const {
  int length = ::GetWindowTextLengthA(m_hWnd);
  ::GetWindowTextA(m_hWnd, rString.GetBufferSetLength(length), length + 1);
  rString.ReleaseBuffer();
}

int CWnd::GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
void CWnd::SetDlgItemText(int nID, LPCSTR lpszString) { ::SetDlgItemTextA(m_hWnd, nID, lpszString); }

int CWnd::GetDlgItemText(int nID, CString& rString) const {
  HWND hWndItem = ::GetDlgItem(m_hWnd, nID);
  rString.Empty();
  if (hWndItem == nullptr) return 0;
  int length = ::GetWindowTextLengthA(hWndItem);
  ::GetWindowTextA(hWndItem, rString.GetBufferSetLength(length), length + 1);
  rString.ReleaseBuffer();
  return rString.GetLength();
}

BOOL CWnd::EnableWindow(BOOL bEnable) { return ::EnableWindow(m_hWnd, bEnable); }
BOOL CWnd::IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
DWORD CWnd::GetStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_STYLE)); }
DWORD CWnd::GetExStyle() const { return static_cast<DWORD>(::GetWindowLongA(m_hWnd, GWL_EXSTYLE)); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::Invalidate(BOOL bErase) { ::InvalidateRect(m_hWnd, nullptr, bErase); }

int CWnd::MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
  return ::MessageBoxA(m_hWnd, lpszText, lpszCaption != nullptr ? lpszCaption : AfxGetAppName(), nType);
}

int CWnd::GetScrollPos(int nBar) const { return ::GetScrollPos(m_hWnd, nBar); }
int CWnd::SetScrollPos(int nBar, int nPos, BOOL bRedraw) { return ::SetScrollPos(m_hWnd, nBar, nPos, bRedraw); }

void CWnd::GetScrollRange(int nBar, LPINT lpMinPos, LPINT lpMaxPos) const {
  ::GetScrollRange(m_hWnd, nBar, lpMinPos, lpMaxPos);
}

void CWnd::SetScrollRange(int nBar, int nMinPos, int nMaxPos, BOOL bRedraw) {
  ::SetScrollRange(m_hWnd, nBar, nMinPos, nMaxPos, bRedraw);
}

BOOL CWnd::GetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, UINT nMask) {
  lpScrollInfo->cbSize = sizeof(SCROLLINFO);
  lpScrollInfo->fMask = nMask;
  return ::GetScrollInfo(m_hWnd, nBar, lpScrollInfo);
}

BOOL CWnd::SetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, BOOL bRedraw) {
  lpScrollInfo->cbSize = sizeof(SCROLLINFO);
  ::SetScrollInfo(m_hWnd, nBar, lpScrollInfo, bRedraw);
  return TRUE;
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  AfxThreadState& state = AfxGetThreadState();
  AfxRestoreOnExit<HWND> restoreLockout(state.hLockoutNotifyWindow);
  state.hLockoutNotifyWindow = m_hWnd;
  try {
    DoDataExchange(&dx);
    return TRUE;
  } catch (CUserException* e) {
    // The user has been told already.
    e->Delete();
  } catch (CException* e) {
    e->ReportError(MB_ICONEXCLAMATION, AFX_IDP_INTERNAL_FAILURE);
    e->Delete();
  }
  return FALSE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

// ---- CScrollBar -------------------------------------------------------------------------

IMPLEMENT_DYNAMIC(CScrollBar, CWnd)

CScrollBar::CScrollBar() = default;
CScrollBar::~CScrollBar() = default;

int CScrollBar::GetScrollPos() const { return ::GetScrollPos(m_hWnd, SB_CTL); }
int CScrollBar::SetScrollPos(int nPos, BOOL bRedraw) { return ::SetScrollPos(m_hWnd, SB_CTL, nPos, bRedraw); }

void CScrollBar::GetScrollRange(LPINT lpMinPos, LPINT lpMaxPos) const {
  ::GetScrollRange(m_hWnd, SB_CTL, lpMinPos, lpMaxPos);
}

void CScrollBar::SetScrollRange(int nMinPos, int nMaxPos, BOOL bRedraw) {
  ::SetScrollRange(m_hWnd, SB_CTL, nMinPos, nMaxPos, bRedraw);
}

BOOL CScrollBar::GetScrollInfo(LPSCROLLINFO lpScrollInfo, UINT nMask) {
  return CWnd::GetScrollInfo(SB_CTL, lpScrollInfo, nMask);
}

BOOL CScrollBar::SetScrollInfo(LPSCROLLINFO lpScrollInfo, BOOL bRedraw) {
  return CWnd::SetScrollInfo(SB_CTL, lpScrollInfo, bRedraw);
}
