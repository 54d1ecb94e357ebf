// The application object, module start-up, the resource chain, string
// resources and message boxes.
#include <algorithm>
#include <cstring>
#include <vector>

#include "afx/afxwin.h"
#include "win/resources.h"

namespace {

// The framework's own strings live in a module of its own, the last place
// every look-up tries.
HINSTANCE FrameworkModule() {
  static HINSTANCE module = [] {
    HINSTANCE handle = win::CreateModule("calvafx");
    struct Text {
      UINT id;
      const char* text;
    };
    static const Text kStrings[] = {
        {AFX_IDP_INTERNAL_FAILURE, "An internal error occurred."},
        {AFX_IDP_COMMAND_FAILURE, "The command failed."},
        {AFX_IDP_NO_ERROR_AVAILABLE, "An error occurred; no message is available for it."},
        {AFX_IDP_PARSE_INT, "Enter a whole number."},
        {AFX_IDP_PARSE_REAL, "Enter a number."},
        {AFX_IDP_PARSE_INT_RANGE, "Enter a whole number from %1 to %2."},
        {AFX_IDP_PARSE_REAL_RANGE, "Enter a number from %1 to %2."},
        {AFX_IDP_PARSE_STRING_SIZE, "Enter at most %1 characters."},
        {AFX_IDS_MEMORY_EXCEPTION, "Out of memory."},
        {AFX_IDS_NOT_SUPPORTED_EXCEPTION, "An unsupported operation was attempted."},
        {AFX_IDS_RESOURCE_EXCEPTION, "A required resource was not found."},
        {AFX_IDS_USER_EXCEPTION, "The operation was stopped."},
    };
    for (const Text& entry : kStrings) win::AddStringResource(handle, entry.id, entry.text);
    return handle;
  }();
  return module;
}

// Modules that started, in the order they joined; their resources are found
// after the current module's.
std::vector<AFX_MODULE_STATE*>& ResourceChain() {
  static std::vector<AFX_MODULE_STATE*> chain;
  return chain;
}

// Where a look-up goes, in order.
std::vector<HINSTANCE> LookupOrder() {
  std::vector<HINSTANCE> order;
  order.push_back(AfxGetModuleState()->m_hCurrentResourceHandle);
  for (AFX_MODULE_STATE* state : ResourceChain()) {
    if (std::find(order.begin(), order.end(), state->m_hCurrentResourceHandle) == order.end()) {
      order.push_back(state->m_hCurrentResourceHandle);
    }
  }
  order.push_back(FrameworkModule());
  return order;
}

void LeaveChain(AFX_MODULE_STATE* pModuleState) {
  auto& chain = ResourceChain();
  chain.erase(std::remove(chain.begin(), chain.end(), pModuleState), chain.end());
}

// The framework's start-up reserve: the module refuses to start when even
// this much cannot be had.
constexpr std::size_t kStartupReserve = 8192;

BOOL InitModule(AFX_MODULE_STATE* pModuleState) {
  pModuleState->m_hCurrentResourceHandle = pModuleState->m_hCurrentInstanceHandle;
  if (CWinApp* app = pModuleState->m_pCurrentWinApp) {
    app->m_hInstance = pModuleState->m_hCurrentInstanceHandle;
    app->LoadAppName();
    pModuleState->m_lpszCurrentAppName = app->m_pszAppName;
  }
  return TRUE;
}

void TermModule(AFX_MODULE_STATE* pModuleState) {
  AfxReleaseTempMaps();
  LeaveChain(pModuleState);
}

// Runs InitInstance (or ExitInstance); a failure of any kind counts as a
// refusal, since nothing can catch it above a static initialiser.
BOOL CallInitInstance(CWinApp* app) {
  try {
    return app->InitInstance();
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
  }
  return FALSE;
}

void CallExitInstance(CWinApp* app) {
  try {
    app->ExitInstance();
  } catch (CException* e) {
    e->Delete();
  } catch (...) {
  }
}

}  // namespace

// ---- The application -----------------------------------------------------------------

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName) : m_pszAppName(nullptr), m_hInstance(nullptr), m_pMainWnd(nullptr) {
  m_pModuleState->m_pCurrentWinApp = this;
  m_hInstance = m_pModuleState->m_hCurrentInstanceHandle;
  if (lpszAppName != nullptr) {
    m_appName = lpszAppName;
    m_pszAppName = m_appName.c_str();
  }
}

CWinApp::~CWinApp() {
  if (m_pModuleState->m_pCurrentWinApp == this) m_pModuleState->m_pCurrentWinApp = nullptr;
  if (m_pModuleState->m_lpszCurrentAppName == m_pszAppName) m_pModuleState->m_lpszCurrentAppName = nullptr;
}

void CWinApp::LoadAppName() {
  if (m_pszAppName != nullptr) return;
  std::string title;
  if (!win::LoadStringResource(m_pModuleState->m_hCurrentInstanceHandle, AFX_IDS_APP_TITLE, &title)) {
    title = m_pModuleState->m_lpszModuleName != nullptr ? m_pModuleState->m_lpszModuleName : "";
  }
  m_appName = title;
  m_pszAppName = m_appName.c_str();
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

int CWinApp::DoMessageBox(LPCSTR lpszPrompt, UINT nType, UINT) {
  // A box that names no icon gets the one that fits its buttons.
  if ((nType & MB_ICONMASK) == 0) {
    switch (nType & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        nType |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        nType |= MB_ICONQUESTION;
        break;
      default:
        break;
    }
  }
  HWND owner = GetActiveWindow();
  if (owner == nullptr && m_pMainWnd != nullptr) owner = m_pMainWnd->m_hWnd;
  LoadAppName();
  return MessageBoxA(owner, lpszPrompt, m_pszAppName, nType);
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

LPCSTR AfxGetAppName() {
  AFX_MODULE_STATE* state = AfxGetModuleState();
  if (state->m_lpszCurrentAppName != nullptr) return state->m_lpszCurrentAppName;
  return state->m_pCurrentWinApp != nullptr ? state->m_pCurrentWinApp->m_pszAppName : nullptr;
}

HINSTANCE AfxGetInstanceHandle() { return AfxGetModuleState()->m_hCurrentInstanceHandle; }
HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }
void AfxSetResourceHandle(HINSTANCE hInstResource) { AfxGetModuleState()->m_hCurrentResourceHandle = hInstResource; }

HINSTANCE AfxFindResourceHandle(LPCSTR lpszName, LPCSTR lpszType) {
  for (HINSTANCE module : LookupOrder()) {
    if (FindResourceA(module, lpszName, lpszType) != nullptr) return module;
  }
  return AfxGetResourceHandle();
}

BOOL AfxLoadString(UINT nID, CString& rString) {
  std::string text;
  for (HINSTANCE module : LookupOrder()) {
    if (win::LoadStringResource(module, nID, &text)) {
      rString = CString(text);
      return TRUE;
    }
  }
  rString.Empty();
  return FALSE;
}

void AfxFormatString2(CString& rString, UINT nIDS, LPCSTR lpsz1, LPCSTR lpsz2) {
  CString format;
  AfxLoadString(nIDS, format);
  CString result;
  for (int i = 0; i < format.GetLength(); ++i) {
    char ch = format[i];
    if (ch == '%' && i + 1 < format.GetLength() && (format[i + 1] == '1' || format[i + 1] == '2')) {
      LPCSTR insert = format[i + 1] == '1' ? lpsz1 : lpsz2;
      result += insert != nullptr ? insert : "";
      ++i;
    } else {
      result += ch;
    }
  }
  rString = result;
}

void AfxFormatString1(CString& rString, UINT nIDS, LPCSTR lpsz1) { AfxFormatString2(rString, nIDS, lpsz1, nullptr); }

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT nIDHelp) {
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(lpszText, nType, nIDHelp);
  // A module without an application object still captions its boxes with
  // its title, if it has one.
  return MessageBoxA(GetActiveWindow(), lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  CString text;
  AfxLoadString(nIDPrompt, text);
  if (nIDHelp == static_cast<UINT>(-1)) nIDHelp = nIDPrompt;
  return AfxMessageBox(text, nType, nIDHelp);
}

void AfxRegisterCommonControls() {
  INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&init);
}

// ---- Module start-up ------------------------------------------------------------------

BOOL AfxBeginModuleLoad(AFX_MODULE_STATE* pModuleState, void (*pfnAddResources)(HINSTANCE hInstance)) {
  void* reserve = ::operator new(kStartupReserve, std::nothrow);
  pModuleState->m_bLoadChecksPassed = reserve != nullptr ? TRUE : FALSE;
  ::operator delete(reserve);
  pModuleState->m_pStateBeforeLoad = AfxSetModuleState(pModuleState);
  if (pModuleState->m_bLoadChecksPassed && pfnAddResources != nullptr) {
    pfnAddResources(pModuleState->m_hCurrentInstanceHandle);
  }
  return pModuleState->m_bLoadChecksPassed;
}

BOOL AfxEndModuleLoad(AFX_MODULE_STATE* pModuleState) {
  AfxSetModuleState(pModuleState);
  BOOL started = pModuleState->m_bLoadChecksPassed && InitModule(pModuleState);
  CWinApp* app = pModuleState->m_pCurrentWinApp;
  if (started && app != nullptr && !CallInitInstance(app)) {
    CallExitInstance(app);
    started = FALSE;
  }
  if (started) {
    ResourceChain().push_back(pModuleState);
  } else {
    TermModule(pModuleState);
  }
  pModuleState->m_bStarted = started;
  AfxSetModuleState(pModuleState->m_pStateBeforeLoad);
  pModuleState->m_pStateBeforeLoad = nullptr;
  return started;
}

void AfxUnloadModule(AFX_MODULE_STATE* pModuleState) {
  if (!pModuleState->m_bStarted) return;
  AFX_MAINTAIN_STATE2 state(pModuleState);
  if (CWinApp* app = pModuleState->m_pCurrentWinApp) CallExitInstance(app);
  TermModule(pModuleState);
  pModuleState->m_bStarted = FALSE;
}

BOOL AfxIsModuleStarted(const AFX_MODULE_STATE* pModuleState) { return pModuleState->m_bStarted; }

CAfxModuleLoadScope::CAfxModuleLoadScope(AFX_MODULE_STATE* pModuleState, void (*pfnAddResources)(HINSTANCE)) {
  AfxBeginModuleLoad(pModuleState, pfnAddResources);
}

CAfxModuleStartup::CAfxModuleStartup(AFX_MODULE_STATE* pModuleState)
    : m_pModuleState(pModuleState), m_bSucceeded(AfxEndModuleLoad(pModuleState)) {}

CAfxModuleStartup::~CAfxModuleStartup() { AfxUnloadModule(m_pModuleState); }
