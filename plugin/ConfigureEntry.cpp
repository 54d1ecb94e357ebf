// The configure entry: makes sure the host holds a parameter set and, when
// the host allows interaction, lets the user edit it in the parameter
// dialog. The only entry that catches: every failure ends in at most one
// error box and the result 1.
#include <exception>
#include <string>

#include "afx/afxwin.h"
#include "dialog/ParameterDlg.h"
#include "errors/ErrorReporting.h"
#include "host/PluginContext.h"
#include "plugin/CalvaneApp.h"
#include "plugin/DefaultParams.h"
#include "plugin/Entries.h"
#include "plugin/ModuleStateGuard.h"

namespace {

int EnsureAndEditParameters(PluginContext* ctx) {
  PluginParam* pParams = ctx->GetParams();
  if (pParams == nullptr) {
    pParams = CreateDefaultParams();
    ctx->SetParams(pParams);
  }
  if (ctx->IsInteractive() == 0) return 0;

  // Local to this function, so that on every way out, an exception
  // included, the dialog is gone before any error box is shown.
  CParameterDlg dialog(pParams, nullptr);
  if (dialog.DoModal() != IDOK) return 1;
  ctx->SetParams(dialog.m_pParams);
  return ctx->GetParams() != nullptr ? 0 : 1;
}

}  // namespace

int ConfigureEntry(PluginContext* ctx) {
  ModuleStateGuard guard;
  // Without the framework no dialog or box can be shown, and nobody can be
  // told why: the set-up fails as a whole.
  if (!IsPluginModuleStarted()) return 1;
  try {
    return EnsureAndEditParameters(ctx);
  } catch (std::exception& error) {
    ReportException(error);
  } catch (CException* error) {
    ReportCException(error);
    error->Delete();
  } catch (...) {
    static const std::string s_contextName("Calvane Parameters");
    ReportUnknownError(s_contextName.c_str());
  }
  return 1;
}
