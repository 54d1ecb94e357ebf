#include "afx/afxstate.h"

namespace {

AFX_MODULE_STATE& ProcessModuleState() {
  static AFX_MODULE_STATE state("process");
  return state;
}

thread_local AFX_MODULE_STATE* t_pCurrentModuleState = nullptr;

}  // namespace

AFX_MODULE_STATE::AFX_MODULE_STATE(const char* moduleName) : m_lpszModuleName(moduleName) {}

AFX_MODULE_STATE* AfxGetModuleState() {
  return t_pCurrentModuleState != nullptr ? t_pCurrentModuleState : &ProcessModuleState();
}

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
  AFX_MODULE_STATE* previous = t_pCurrentModuleState;
  t_pCurrentModuleState = state;
  return previous;
}

AFX_MAINTAIN_STATE2::AFX_MAINTAIN_STATE2(AFX_MODULE_STATE* state) : m_pPrevModuleState(AfxSetModuleState(state)) {}

AFX_MAINTAIN_STATE2::~AFX_MAINTAIN_STATE2() { AfxSetModuleState(m_pPrevModuleState); }
