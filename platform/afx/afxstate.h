// Module state of the dialog framework: each module (the program, each
// plug-in) has a static state of its own, and each thread has a current one.
// Entries into a module make its state current and put the previous one back.
// The current state decides where resources are looked up first and which
// application object (and so which title) message boxes belong to.
#pragma once

#include "afx/afxver.h"
#include "win/windows.h"

class CWinApp;

struct AFX_API AFX_MODULE_STATE {
  // A module with a window-system module of its own, named `moduleName`, to
  // hold its resources.
  explicit AFX_MODULE_STATE(const char* moduleName);
  // A module whose resources live in an existing window-system module.
  AFX_MODULE_STATE(const char* moduleName, HINSTANCE hInstance);
  ~AFX_MODULE_STATE();
  AFX_MODULE_STATE(const AFX_MODULE_STATE&) = delete;
  AFX_MODULE_STATE& operator=(const AFX_MODULE_STATE&) = delete;

  const char* m_lpszModuleName;
  CWinApp* m_pCurrentWinApp = nullptr;
  // The module's own resources, and where its resource look-ups start.
  HINSTANCE m_hCurrentInstanceHandle = nullptr;
  HINSTANCE m_hCurrentResourceHandle = nullptr;
  // The application's title once the module has started.
  const char* m_lpszCurrentAppName = nullptr;

  // Start-up bookkeeping (see AfxBeginModuleLoad in afx/afxwin.h).
  BOOL m_bLoadChecksPassed = FALSE;
  BOOL m_bStarted = FALSE;
  AFX_MODULE_STATE* m_pStateBeforeLoad = nullptr;

 private:
  bool m_bOwnsInstance;
};

// The module state current on this thread; the process's own state when no
// module has made its state current.
AFX_API AFX_MODULE_STATE* AfxGetModuleState();
// Makes `state` current on this thread; returns the previous one.
AFX_API AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);
// The state of the program itself.
AFX_API AFX_MODULE_STATE* AfxGetAppModuleState();

// Makes a module state current for the life of the object.
class AFX_API AFX_MAINTAIN_STATE2 {
 public:
  explicit AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state);
  ~AFX_MAINTAIN_STATE2();
  AFX_MAINTAIN_STATE2(const AFX_MAINTAIN_STATE2&) = delete;
  AFX_MAINTAIN_STATE2& operator=(const AFX_MAINTAIN_STATE2&) = delete;

 private:
  AFX_MODULE_STATE* m_pPrevModuleState;
};

#define AFX_MANAGE_STATE(p) AFX_MAINTAIN_STATE2 _afxManageState(p)

// Each module defines this for itself (it is not exported across modules).
AFX_MODULE_STATE* AfxGetStaticModuleState();
