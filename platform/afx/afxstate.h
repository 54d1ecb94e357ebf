// Module state of the dialog framework: each module (the program, each
// plug-in) has a static state of its own, and each thread has a current one.
// Entries into a module make its state current and put the previous one back.
#pragma once

#define AFX_API __attribute__((visibility("default")))

class CWinApp;

struct AFX_API AFX_MODULE_STATE {
  explicit AFX_MODULE_STATE(const char* moduleName);
  const char* m_lpszModuleName;
  CWinApp* m_pCurrentWinApp = nullptr;
};

// The module state current on this thread; the process's own state when no
// module has made its state current.
AFX_API AFX_MODULE_STATE* AfxGetModuleState();
// Makes `state` current on this thread; returns the previous one.
AFX_API AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);

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
