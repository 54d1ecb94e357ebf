#include "host/HostErrors.h"

#include <atomic>
#include <cstdio>
#include <utility>

namespace {

void WriteToStandardError(const char* text) { std::fprintf(stderr, "%s\n", text != nullptr ? text : ""); }

std::atomic<ShowableErrorSink> g_sink{&WriteToStandardError};

}  // namespace

AlertableError::AlertableError(std::string message) : m_message(std::move(message)) {}
AlertableError::~AlertableError() = default;
unsigned char AlertableError::IsReported() { return m_reported ? 1 : 0; }
void AlertableError::SetReported(unsigned char reported) { m_reported = reported != 0; }
std::string AlertableError::GetMessageText() { return m_message; }
const char* AlertableError::what() const noexcept { return m_message.c_str(); }

ShowableError::ShowableError(std::string message) : AlertableError(std::move(message)) {}
ShowableError::~ShowableError() = default;

void ShowableError::Show() {
  const std::string text = GetMessageText();
  g_sink.load()(text.c_str());
  SetReported(1);
}

ShowableErrorSink SetShowableErrorSink(ShowableErrorSink sink) {
  return g_sink.exchange(sink != nullptr ? sink : &WriteToStandardError);
}
