#include "errors/ErrorReporting.h"

#include <string>

#include "afx/afxwin.h"
#include "host/HostErrors.h"

void ShowError(const char* text) {
  if (text == nullptr || text[0] == '\0') {
    AfxMessageBox(kGenericErrorMessage, MB_ICONERROR, 0);
    return;
  }
  static const CString s_prefix(kErrorDetailPrefix);
  const CString message = s_prefix + text;
  AfxMessageBox(message, MB_ICONERROR, 0);
}

void ReportException(std::exception& error) {
  if (auto* alertable = dynamic_cast<AlertableError*>(&error)) {
    ReportAlertableError(*alertable);
  } else {
    ReportStdException(error);
  }
}

void ReportAlertableError(AlertableError& error) {
  if (error.IsReported() != 0) return;
  if (auto* showable = dynamic_cast<ShowableError*>(&error)) {
    showable->Show();
    return;
  }
  {
    const std::string text = error.GetMessageText();
    ShowError(text.c_str());
  }
  // Only once the user has closed the box: a box that failed told nobody.
  error.SetReported(1);
}

void ReportStdException(const std::exception& error) { ShowError(error.what()); }

void ReportUnknownError(const char* contextName) {
  std::string detail = "An unknown error occurred";
  if (contextName != nullptr) {
    detail += " in '";
    detail += contextName;
    detail += "'";
  }
  ShowError(detail.c_str());
}

int ReportCException(CException* error) { return error->ReportError(MB_OK, 0); }
