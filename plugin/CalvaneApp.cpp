// The library's start-up: its resources, its module state, its application
// object and the framework's start for this module, in this order of static
// construction (the load scope before every other static object of the
// library, the start-up after the application object).
#include "plugin/CalvaneApp.h"

#include "dialog/Resource.h"

static CAfxModuleLoadScope s_moduleLoad AFX_MODULE_LOAD_PRIORITY(AfxGetStaticModuleState(), &AddPluginResources);

BEGIN_MESSAGE_MAP(CCalvaneApp, CWinApp)
END_MESSAGE_MAP()

CCalvaneApp::CCalvaneApp() = default;

BOOL CCalvaneApp::InitInstance() { return CWinApp::InitInstance(); }

CCalvaneApp theApp;

static CAfxModuleStartup s_moduleStartup(AfxGetStaticModuleState());

bool IsPluginModuleStarted() { return AfxIsModuleStarted(AfxGetStaticModuleState()) != FALSE; }
