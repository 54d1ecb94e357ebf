#include "app/Interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace calvane::app {
namespace {

volatile sig_atomic_t g_interrupts = 0;

// Read from a signal handler, so a fixed buffer and a flag, no std::string.
char g_cleanupPath[PATH_MAX + 1];
volatile sig_atomic_t g_haveCleanupPath = 0;

void AbortNow(int status) {
  if (g_haveCleanupPath != 0) unlink(g_cleanupPath);
  static const char kNewline[] = "\n";
  if (isatty(STDERR_FILENO) != 0) {
    ssize_t ignored = write(STDERR_FILENO, kNewline, 1);
    (void)ignored;
  }
  _exit(status);
}

void OnInterrupt(int) {
  g_interrupts = g_interrupts + 1;
  if (g_interrupts >= 2) AbortNow(130);
}

void OnTerminate(int signal) { AbortNow(128 + signal); }

void Install(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

// A library that gives up with exit() in the middle of writing a file.
void RemovePendingOutput() {
  if (g_haveCleanupPath != 0) unlink(g_cleanupPath);
}

}  // namespace

void InstallInterruptHandlers() {
  Install(SIGINT, &OnInterrupt);
  Install(SIGTERM, &OnTerminate);
  Install(SIGHUP, &OnTerminate);
  // Past a file size limit (ulimit -f) a write is to fail with EFBIG and be
  // reported, not to kill the program with its output half-written.
  signal(SIGXFSZ, SIG_IGN);
  std::atexit(&RemovePendingOutput);
}

bool InterruptRequested() { return g_interrupts != 0; }

void SetAbortCleanupPath(const char* path) {
  g_haveCleanupPath = 0;
  if (path == nullptr || std::strlen(path) > PATH_MAX) return;
  std::strcpy(g_cleanupPath, path);
  g_haveCleanupPath = 1;
}

}  // namespace calvane::app
