#include "afx/afxstate.h"

#include "win/resources.h"

namespace {

AFX_MODULE_STATE& ProcessModuleState() {
  static AFX_MODULE_STATE state("process", GetModuleHandleA(nullptr));
  return state;
}

thread_local AFX_MODULE_STATE* t_pCurrentModuleState = nullptr;

}  // namespace

AFX_MODULE_STATE::AFX_MODULE_STATE(const char* moduleName)
    : m_lpszModuleName(moduleName),
      m_hCurrentInstanceHandle(win::CreateModule(moduleName)),
      m_hCurrentResourceHandle(m_hCurrentInstanceHandle),
      m_bOwnsInstance(true) {}

AFX_MODULE_STATE::AFX_MODULE_STATE(const char* moduleName, HINSTANCE hInstance)
    : m_lpszModuleName(moduleName),
      m_hCurrentInstanceHandle(hInstance),
      m_hCurrentResourceHandle(hInstance),
      m_bOwnsInstance(false) {}

AFX_MODULE_STATE::~AFX_MODULE_STATE() {
  // A thread must not be left with a state that is gone.
  if (t_pCurrentModuleState == this) t_pCurrentModuleState = nullptr;
  if (m_bOwnsInstance) win::DestroyModule(m_hCurrentInstanceHandle);
}

AFX_MODULE_STATE* AfxGetModuleState() {
  return t_pCurrentModuleState != nullptr ? t_pCurrentModuleState : &ProcessModuleState();
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
  AFX_MODULE_STATE* previous = t_pCurrentModuleState;
  t_pCurrentModuleState = state;
  return previous;
}

AFX_MODULE_STATE* AfxGetAppModuleState() { return &ProcessModuleState(); }

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_pPrevModuleState(AfxSetModuleState(state)) {}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { AfxSetModuleState(m_pPrevModuleState); }
