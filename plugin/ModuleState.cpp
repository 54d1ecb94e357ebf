// The plug-in's static module state. Hidden, so that every module that
// links the framework has its own.
#include "afx/afxstate.h"

AFX_MODULE_STATE* AfxGetStaticModuleState() {
  static AFX_MODULE_STATE s_moduleState("calvane");
  return &s_moduleState;
}
