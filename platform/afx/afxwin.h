// The framework's window classes: command targets and message maps, CWnd,
// CScrollBar, CDialog with dialog data exchange, CWinApp, message boxes and
// the start-up of a module.
#pragma once

#include <type_traits>

#include "afx/afx.h"
#include "afx/afxres.h"
#include "afx/afxstate.h"
#include "win/commctrl.h"

class CCmdTarget;
class CWnd;
class CScrollBar;
class CDataExchange;

// ---- Message maps ------------------------------------------------------------------
// A static table per class, chained to its base class's table. An entry
// names a window message, or WM_COMMAND with a notification code and a range
// of control identifiers, and the handler that gets it through a typed thunk.
typedef LRESULT (*AFX_PMSG)(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam);

enum AfxSig : UINT {
  AfxSig_end = 0,  // marks the end of a table
  AfxSig_msg,      // a window message
  AfxSigCmd_v,     // a command or notification; the handler returns nothing
  AfxSigCmd_b,     // a command; the handler returns whether it handled it
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  UINT_PTR nSig;
  AFX_PMSG pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// Filled in by OnCmdMsg for a query whether a command has a handler.
struct AFX_CMDHANDLERINFO {
  CCmdTarget* pTarget;
  AFX_PMSG pmf;
};

#define CN_COMMAND 0
#define CN_UPDATE_COMMAND_UI (-1)

AFX_API const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP_ENTRY* lpEntry, UINT nMsg, UINT nCode,
                                                    UINT nID);

#define DECLARE_MESSAGE_MAP()                      \
 protected:                                        \
  static const AFX_MSGMAP* GetThisMessageMap();    \
  virtual const AFX_MSGMAP* GetMessageMap() const;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                     \
    using TheBaseClass = baseClass;                                                  \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                            \
  {0, 0, 0, 0, AfxSig_end, nullptr}};                                                \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                \
  }

// Commands and control notifications (WM_COMMAND): void handler().
#define ON_COMMAND(id, memberFxn) \
  {WM_COMMAND, CN_COMMAND, (WORD)(id), (WORD)(id), AfxSigCmd_v, &afx_detail::CommandThunk<&ThisClass::memberFxn>},
#define ON_COMMAND_RANGE(id, idLast, memberFxn) \
  {WM_COMMAND, CN_COMMAND, (WORD)(id), (WORD)(idLast), AfxSigCmd_v, &afx_detail::CommandIdThunk<&ThisClass::memberFxn>},
#define ON_CONTROL(wNotifyCode, id, memberFxn)                                               \
  {WM_COMMAND, (WORD)(wNotifyCode), (WORD)(id), (WORD)(id), AfxSigCmd_v,                     \
   &afx_detail::CommandThunk<&ThisClass::memberFxn>},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_EN_SETFOCUS(id, memberFxn) ON_CONTROL(EN_SETFOCUS, id, memberFxn)
#define ON_EN_KILLFOCUS(id, memberFxn) ON_CONTROL(EN_KILLFOCUS, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) ON_CONTROL(EN_CHANGE, id, memberFxn)

// Window messages, each with the handler signature of the original.
// void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)
#define ON_WM_HSCROLL() {WM_HSCROLL, 0, 0, 0, AfxSig_msg, &afx_detail::ScrollThunk<&ThisClass::OnHScroll>},
// void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)
#define ON_WM_VSCROLL() {WM_VSCROLL, 0, 0, 0, AfxSig_msg, &afx_detail::ScrollThunk<&ThisClass::OnVScroll>},
// A scroll message handled by a member of the scroll-handler signature
// named freely (for instance WM_VSCROLL by OnHScroll).
#define ON_SCROLL_MESSAGE(message, memberFxn) \
  {message, 0, 0, 0, AfxSig_msg, &afx_detail::ScrollThunk<&ThisClass::memberFxn>},
// BOOL OnHelpInfo(HELPINFO* pHelpInfo)
#define ON_WM_HELPINFO() {WM_HELP, 0, 0, 0, AfxSig_msg, &afx_detail::HelpInfoThunk<&ThisClass::OnHelpInfo>},
// void OnSetFocus(CWnd* pOldWnd) / void OnKillFocus(CWnd* pNewWnd)
#define ON_WM_SETFOCUS() {WM_SETFOCUS, 0, 0, 0, AfxSig_msg, &afx_detail::WindowThunk<&ThisClass::OnSetFocus>},
#define ON_WM_KILLFOCUS() {WM_KILLFOCUS, 0, 0, 0, AfxSig_msg, &afx_detail::WindowThunk<&ThisClass::OnKillFocus>},
// void OnDestroy() / void OnNcDestroy() / void OnClose()
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, AfxSig_msg, &afx_detail::VoidThunk<&ThisClass::OnDestroy>},
#define ON_WM_NCDESTROY() {WM_NCDESTROY, 0, 0, 0, AfxSig_msg, &afx_detail::VoidThunk<&ThisClass::OnNcDestroy>},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, AfxSig_msg, &afx_detail::VoidThunk<&ThisClass::OnClose>},
// LRESULT handler(WPARAM wParam, LPARAM lParam)
#define ON_MESSAGE(message, memberFxn) \
  {message, 0, 0, 0, AfxSig_msg, &afx_detail::MessageThunk<&ThisClass::memberFxn>},

// ---- Command targets -----------------------------------------------------------------
class AFX_API CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)
 public:
  CCmdTarget();
  ~CCmdTarget() override;

  // Routes a command or control notification to this object's message map
  // (and its bases'). nCode carries the notification code in its low word
  // (the message in its high word; 0 means WM_COMMAND). With pHandlerInfo,
  // only reports whether a handler exists and which one.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void* pExtra, AFX_CMDHANDLERINFO* pHandlerInfo);

  // The module state current when the object was made: the module it
  // belongs to. The framework makes it current around this object's messages.
  AFX_MODULE_STATE* m_pModuleState;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

// ---- Windows ------------------------------------------------------------------------------
class AFX_API CWnd : public CCmdTarget {
  DECLARE_DYNAMIC(CWnd)
 public:
  CWnd();
  ~CWnd() override;

  HWND m_hWnd;
  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  // The object for a window: the one attached to it, or else a temporary
  // wrapper that lives until the framework's temporary objects are released
  // (the end of the outermost DoModal, AfxReleaseTempMaps). Null for null.
  static CWnd* FromHandle(HWND hWnd);
  // The attached object only.
  static CWnd* FromHandlePermanent(HWND hWnd);

  // Ties the object to an existing window; FALSE when either is already tied.
  BOOL Attach(HWND hWndNew);
  HWND Detach();
  // Attaches and routes the window's messages through this object; calls
  // PreSubclassWindow first.
  BOOL SubclassWindow(HWND hWnd);
  BOOL SubclassDlgItem(UINT nID, CWnd* pParent);
  HWND UnsubclassWindow();

  virtual BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x, int y,
                        int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam = nullptr);
  virtual BOOL Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                      UINT nID, void* pContext = nullptr);
  virtual BOOL DestroyWindow();

  virtual BOOL PreCreateWindow(CREATESTRUCT& cs);
  virtual void PreSubclassWindow();
  virtual void PostNcDestroy();

  // Message handling: WindowProc offers a message to OnWndMsg (the message
  // maps; WM_COMMAND through OnCommand and OnCmdMsg) and otherwise to
  // DefWindowProc, the window's own procedure from before subclassing.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult);
  // The default handling of the message being handled now.
  LRESULT Default();

  CWnd* GetParent() const;
  CWnd* GetDlgItem(int nID) const;
  void GetDlgItem(int nID, HWND* phWnd) const;
  int GetDlgCtrlID() const;
  CWnd* SetFocus();
  static CWnd* GetFocus();
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void SetWindowText(LPCSTR lpszString);
  int GetWindowText(LPSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString& rString) const;
  int GetWindowTextLength() const;
  void SetDlgItemText(int nID, LPCSTR lpszString);
  int GetDlgItemText(int nID, CString& rString) const;
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;
  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  void GetClientRect(LPRECT lpRect) const;
  void GetWindowRect(LPRECT lpRect) const;
  void Invalidate(BOOL bErase = TRUE);
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption = nullptr, UINT nType = MB_OK);

  // Scroll bars of this window (SB_HORZ, SB_VERT) or of the scroll bar
  // control this window is (SB_CTL). GetScrollInfo sets the record's size
  // and mask (to nMask) before reading.
  int GetScrollPos(int nBar) const;
  int SetScrollPos(int nBar, int nPos, BOOL bRedraw = TRUE);
  void GetScrollRange(int nBar, LPINT lpMinPos, LPINT lpMaxPos) const;
  void SetScrollRange(int nBar, int nMinPos, int nMaxPos, BOOL bRedraw = TRUE);
  BOOL GetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, UINT nMask = SIF_ALL);
  BOOL SetScrollInfo(int nBar, LPSCROLLINFO lpScrollInfo, BOOL bRedraw = TRUE);

  // Dialog data exchange: runs DoDataExchange in the given direction. A
  // failure (already reported to the user) answers FALSE. Control
  // notifications to this window are ignored while the exchange runs.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  virtual void DoDataExchange(CDataExchange* pDX);

  // Default handlers (they pass the message to Default()).
  afx_msg void OnHScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
  afx_msg BOOL OnHelpInfo(HELPINFO* pHelpInfo);
  afx_msg void OnSetFocus(CWnd* pOldWnd);
  afx_msg void OnKillFocus(CWnd* pNewWnd);
  afx_msg void OnDestroy();
  afx_msg void OnClose();
  // Restores the window's own procedure, detaches, calls PostNcDestroy.
  afx_msg void OnNcDestroy();

  // The procedure this object's window had before it was subclassed.
  WNDPROC m_pfnSuper;

  DECLARE_MESSAGE_MAP()
};

// The framework's window procedure: makes the owning module's state current
// and hands the message to the object's WindowProc. A framework exception
// that escapes a handler is reported and released here.
AFX_API LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

// Temporary wrappers made by CWnd::FromHandle are released when the last
// lock goes (DoModal holds one while it runs).
AFX_API void AfxLockTempMaps();
AFX_API BOOL AfxUnlockTempMaps();
AFX_API void AfxReleaseTempMaps();

class AFX_API CScrollBar : public CWnd {
  DECLARE_DYNAMIC(CScrollBar)
 public:
  CScrollBar();
  ~CScrollBar() override;
  int GetScrollPos() const;
  int SetScrollPos(int nPos, BOOL bRedraw = TRUE);
  void GetScrollRange(LPINT lpMinPos, LPINT lpMaxPos) const;
  void SetScrollRange(int nMinPos, int nMaxPos, BOOL bRedraw = TRUE);
  BOOL GetScrollInfo(LPSCROLLINFO lpScrollInfo, UINT nMask = SIF_ALL);
  BOOL SetScrollInfo(LPSCROLLINFO lpScrollInfo, BOOL bRedraw = TRUE);
};

// ---- Dialog data exchange ------------------------------------------------------------
class AFX_API CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

  BOOL m_bSaveAndValidate;  // TRUE: controls to members, with validation
  CWnd* m_pDlgWnd;
  UINT m_idLastControl;     // the control exchanged last: the one a failure blames
  BOOL m_bEditLastControl;

  // The dialog's control nIDC, remembered as the last one; throws
  // CNotSupportedException* when the dialog has no such control.
  HWND PrepareCtrl(int nIDC);
  HWND PrepareEditCtrl(int nIDC);
  // Gives the focus back to the last control (selecting an edit's text) and
  // throws CUserException*. The caller has told the user already.
  [[noreturn]] void Fail();
};

// Text fields. Writing shows the value (an int in decimal; a float with up
// to 6 significant digits and a double with up to 15, without an exponent
// from 1e-9 to below 1e16); reading accepts a number in the C locale with
// optional blanks around it and nothing else, and otherwise tells the user
// and fails.
AFX_API void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
AFX_API void DDX_Text(CDataExchange* pDX, int nIDC, UINT& value);
AFX_API void DDX_Text(CDataExchange* pDX, int nIDC, float& value);
AFX_API void DDX_Text(CDataExchange* pDX, int nIDC, double& value);
AFX_API void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
// Range checks of the value just read (closed ranges); no effect when writing.
AFX_API void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);
AFX_API void DDV_MinMaxUInt(CDataExchange* pDX, UINT value, UINT minVal, UINT maxVal);
AFX_API void DDV_MinMaxFloat(CDataExchange* pDX, float const& value, float minVal, float maxVal);
AFX_API void DDV_MinMaxDouble(CDataExchange* pDX, double const& value, double minVal, double maxVal);
AFX_API void DDV_MaxChars(CDataExchange* pDX, CString const& value, int nChars);

// The text forms of data exchange, for code that shows numbers the same way.
AFX_API CString AfxFormatNumber(double value, int nSignificantDigits);
// FALSE when the text is not such a number, or it does not fit.
AFX_API BOOL AfxParseInt(LPCSTR lpszText, int* pValue);
AFX_API BOOL AfxParseDouble(LPCSTR lpszText, double* pValue);
// Sets a window's text only when it differs (no needless redraws or
// notifications).
AFX_API void AfxSetWindowText(HWND hWndCtrl, LPCSTR lpszNew);

// ---- Dialogs -----------------------------------------------------------------------------
class AFX_API CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
 public:
  CDialog();
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  explicit CDialog(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  ~CDialog() override;

  // Runs the dialog modally from the template found in the current module's
  // resources; returns the result given to EndDialog (IDOK, IDCANCEL, ...),
  // or -1 when the dialog could not be run.
  virtual INT_PTR DoModal();
  // Creates the dialog modelessly (tests drive such a dialog directly).
  BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  BOOL Create(LPCSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
  void EndDialog(int nResult);

  // Puts the focus on a control the way the dialog manager does.
  void GotoDlgCtrl(CWnd* pWndCtrl);
  void NextDlgCtrl() const;
  void PrevDlgCtrl() const;
  void SetDefID(UINT nID);
  DWORD GetDefID() const;

  // Runs UpdateData(FALSE); answers TRUE to have the focus put on the first
  // tab stop.
  virtual BOOL OnInitDialog();
  // Reads and validates every field (UpdateData(TRUE)) and ends with IDOK
  // only when that succeeds.
  virtual void OnOK();
  // Ends with IDCANCEL; reads nothing.
  virtual void OnCancel();

  LPCSTR m_lpszTemplateName;
  UINT m_nIDHelp;
  CWnd* m_pParentWnd;
  int m_nModalResult;

  DECLARE_MESSAGE_MAP()
};

// ---- The application ------------------------------------------------------------------
class AFX_API CWinApp : public CCmdTarget {
  DECLARE_DYNAMIC(CWinApp)
 public:
  // Registers with the module state current now. Without a name, the title
  // comes from string AFX_IDS_APP_TITLE (57344) of the module when it starts.
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // Shows every AfxMessageBox of this module: captioned with the title, and
  // with the exclamation icon for an OK or OK/Cancel box that names no icon.
  virtual int DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT nIDPrompt);

  LPCSTR m_pszAppName;
  HINSTANCE m_hInstance;
  CWnd* m_pMainWnd;

  // Sets the title from the module's resources when none was given.
  void LoadAppName();

  DECLARE_MESSAGE_MAP()

 private:
  std::string m_appName;
};

AFX_API CWinApp* AfxGetApp();
AFX_API LPCSTR AfxGetAppName();
AFX_API HINSTANCE AfxGetInstanceHandle();
AFX_API HINSTANCE AfxGetResourceHandle();
AFX_API void AfxSetResourceHandle(HINSTANCE hInstResource);
// The module that holds a resource: the current module first, then the
// modules in the resource chain, then the framework itself; the current
// resource handle when none does.
AFX_API HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType);
AFX_API BOOL AfxLoadString(UINT nID, CString& rString);
// Loads string nIDS and replaces %1 (and %2) in it.
AFX_API void AfxFormatString1(CString& rString, UINT nIDS, LPCSTR lpsz1);
AFX_API void AfxFormatString2(CString& rString, UINT nIDS, LPCSTR lpsz1, LPCSTR lpsz2);

// A message box captioned with the current module's application title.
AFX_API int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
AFX_API int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);

// Registers the common controls the framework's windows use.
AFX_API void AfxRegisterCommonControls();

// ---- Starting and stopping a module ----------------------------------------------------
// A module (a plug-in, a program) starts the framework from its static
// initialisers, in this order:
//
//   1. AfxBeginModuleLoad (first of all the module's static objects): checks
//      that the framework's start-up reserve of 8192 bytes can be allocated,
//      lets pfnAddResources register the module's resources under its
//      instance handle, and makes the module's state current, so that the
//      application object constructed next registers with it.
//   2. The module's CWinApp object is constructed.
//   3. AfxEndModuleLoad: initialises the framework for the module (the title
//      from string 57344), runs InitInstance (after a FALSE from it,
//      ExitInstance), joins the module to the resource chain when all went
//      well, and puts back the state current before step 1. Answers whether
//      the module started.
//   4. At unload, AfxUnloadModule: ExitInstance, the temporary objects are
//      released, the module leaves the resource chain.
//
// A shared object cannot refuse to load from a static initialiser, so a
// module whose start failed stays loaded and must refuse work itself: its
// entry points check AfxIsModuleStarted and fail without doing anything.
//
// CAfxModuleLoadScope and CAfxModuleStartup do steps 1, 3 and 4 as static
// objects:
//
//   static CAfxModuleLoadScope s_load AFX_MODULE_LOAD_PRIORITY(AfxGetStaticModuleState(), &AddMyResources);
//   CMyApp theApp;                                   // any source file of the module
//   static CAfxModuleStartup s_startup(AfxGetStaticModuleState());  // after theApp, same file
AFX_API BOOL AfxBeginModuleLoad(AFX_MODULE_STATE* pModuleState, void (*pfnAddResources)(HINSTANCE hInstance));
AFX_API BOOL AfxEndModuleLoad(AFX_MODULE_STATE* pModuleState);
AFX_API void AfxUnloadModule(AFX_MODULE_STATE* pModuleState);
AFX_API BOOL AfxIsModuleStarted(const AFX_MODULE_STATE* pModuleState);

// Constructed before every other static object of the module.
#define AFX_MODULE_LOAD_PRIORITY __attribute__((init_priority(101)))

class AFX_API CAfxModuleLoadScope {
 public:
  CAfxModuleLoadScope(AFX_MODULE_STATE* pModuleState, void (*pfnAddResources)(HINSTANCE hInstance));
  CAfxModuleLoadScope(const CAfxModuleLoadScope&) = delete;
  CAfxModuleLoadScope& operator=(const CAfxModuleLoadScope&) = delete;
};

class AFX_API CAfxModuleStartup {
 public:
  explicit CAfxModuleStartup(AFX_MODULE_STATE* pModuleState);
  ~CAfxModuleStartup();
  CAfxModuleStartup(const CAfxModuleStartup&) = delete;
  CAfxModuleStartup& operator=(const CAfxModuleStartup&) = delete;
  BOOL Succeeded() const { return m_bSucceeded; }

 private:
  AFX_MODULE_STATE* m_pModuleState;
  BOOL m_bSucceeded;
};

// ---- Handler thunks (used by the message-map macros) ----------------------------------
// Each thunk calls one member through its exact signature, so a handler of
// the wrong signature does not compile.
AFX_API CScrollBar* AfxScrollBarFromHandle(HWND hWnd, CScrollBar& temporary);

namespace afx_detail {

template <class T>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
  using Class = C;
};
template <auto pfn>
using ClassOf = typename MemberOf<decltype(pfn)>::Class;

template <auto pfn>
LRESULT CommandThunk(CCmdTarget* pTarget, WPARAM, LPARAM) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), void (C::*)()>, "a command handler is void handler()");
  (static_cast<C*>(pTarget)->*pfn)();
  return TRUE;
}

template <auto pfn>
LRESULT CommandIdThunk(CCmdTarget* pTarget, WPARAM wParam, LPARAM) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), void (C::*)(UINT)>, "a range handler is void handler(UINT nID)");
  (static_cast<C*>(pTarget)->*pfn)(static_cast<UINT>(wParam));
  return TRUE;
}

template <auto pfn>
LRESULT ScrollThunk(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), void (C::*)(UINT, UINT, CScrollBar*)>,
                "a scroll handler is void handler(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar)");
  CScrollBar temporary;
  CScrollBar* pScrollBar = AfxScrollBarFromHandle(reinterpret_cast<HWND>(lParam), temporary);
  struct Release {
    CScrollBar& bar;
    ~Release() { bar.m_hWnd = nullptr; }
  } release{temporary};
  (static_cast<C*>(pTarget)->*pfn)(LOWORD(wParam), HIWORD(wParam), pScrollBar);
  return 0;
}

template <auto pfn>
LRESULT HelpInfoThunk(CCmdTarget* pTarget, WPARAM, LPARAM lParam) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), BOOL (C::*)(HELPINFO*)>, "a help handler is BOOL handler(HELPINFO*)");
  return (static_cast<C*>(pTarget)->*pfn)(reinterpret_cast<HELPINFO*>(lParam));
}

template <auto pfn>
LRESULT WindowThunk(CCmdTarget* pTarget, WPARAM wParam, LPARAM) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), void (C::*)(CWnd*)>, "a focus handler is void handler(CWnd*)");
  (static_cast<C*>(pTarget)->*pfn)(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)));
  return 0;
}

template <auto pfn>
LRESULT VoidThunk(CCmdTarget* pTarget, WPARAM, LPARAM) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), void (C::*)()>, "this handler is void handler()");
  (static_cast<C*>(pTarget)->*pfn)();
  return 0;
}

template <auto pfn>
LRESULT MessageThunk(CCmdTarget* pTarget, WPARAM wParam, LPARAM lParam) {
  using C = ClassOf<pfn>;
  static_assert(std::is_same_v<decltype(pfn), LRESULT (C::*)(WPARAM, LPARAM)>,
                "a message handler is LRESULT handler(WPARAM, LPARAM)");
  return (static_cast<C*>(pTarget)->*pfn)(wParam, lParam);
}

}  // namespace afx_detail
