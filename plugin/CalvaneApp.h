// The plug-in's application object. Constructed when the library is loaded,
// without a name, so that its title comes from the plug-in's string
// resource AFX_IDS_APP_TITLE: the caption of the dialog's message boxes.
#pragma once

#include "afx/afxwin.h"

class CCalvaneApp : public CWinApp {
 public:
  CCalvaneApp();
  BOOL InitInstance() override;

 protected:
  DECLARE_MESSAGE_MAP()
};

// Whether the framework started for this module when the library was
// loaded. A library cannot refuse to load, so the entries that need the
// framework refuse their work instead when it did not.
bool IsPluginModuleStarted();
