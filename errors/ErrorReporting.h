// Turning a failure caught by the configure entry into at most one error
// box, and into none when the host has already told the user about it.
#pragma once

#include <exception>

class AlertableError;
class CException;

// The generic message, and the prefix in front of every detail text: the
// detail starts on the third line of the box, after an empty line, indented.
constexpr const char kGenericErrorMessage[] = "An error occurred while trying to perform the operation.";
constexpr const char kErrorDetailPrefix[] = "An error occurred while trying to perform the operation: \n\n\t";

// One modal box with the error icon: the prefix followed by `text`, or the
// generic message alone when `text` is null or empty.
void ShowError(const char* text);

// A host error (AlertableError, ShowableError) at most once; any other
// standard exception by its what() text.
void ReportException(std::exception& error);
// Nothing when the error says it was reported; a ShowableError shows itself;
// otherwise its message is shown and the error then marked reported.
void ReportAlertableError(AlertableError& error);
void ReportStdException(const std::exception& error);
// A failure that carries nothing but the caller's context name (may be null).
void ReportUnknownError(const char* contextName);
// Lets the framework report its own exception; the caller still owns it and
// releases it with Delete().
int ReportCException(CException* error);
