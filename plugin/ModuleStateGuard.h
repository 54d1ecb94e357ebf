// Makes the plug-in's own framework module state current for the life of the
// guard and puts the previous one back on every way out, so that resources
// and the application object are found in this module during an entry.
#pragma once

#include "afx/afxstate.h"

class ModuleStateGuard {
 public:
  ModuleStateGuard() : m_state(AfxGetStaticModuleState()) {}
  ModuleStateGuard(const ModuleStateGuard&) = delete;
  ModuleStateGuard& operator=(const ModuleStateGuard&) = delete;

 private:
  AFX_MAINTAIN_STATE2 m_state;
};
