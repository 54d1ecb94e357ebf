// The framework's per-thread state.
#pragma once

#include <memory>
#include <unordered_map>

#include "afx/afxwin.h"

struct AfxThreadState {
  ~AfxThreadState();
  // The object whose window is being created (see AfxHookWindowCreate).
  CWnd* pWndInit = nullptr;
  HHOOK hHookCbtFilter = nullptr;
  // The message being handled, for CWnd::Default().
  MSG lastSentMsg{};
  // The window whose control notifications are ignored while its data is
  // exchanged.
  HWND hLockoutNotifyWindow = nullptr;
  std::unordered_map<HWND, CWnd*> permanentMap;
  std::unordered_map<HWND, std::unique_ptr<CWnd>> temporaryMap;
  int nTempMapLock = 0;
};

AfxThreadState& AfxGetThreadState();

// Puts a variable back to the value it had when the scope began, on every
// way out.
template <class T>
class AfxRestoreOnExit {
 public:
  explicit AfxRestoreOnExit(T& variable) : m_variable(variable), m_saved(variable) {}
  ~AfxRestoreOnExit() { m_variable = m_saved; }
  AfxRestoreOnExit(const AfxRestoreOnExit&) = delete;
  AfxRestoreOnExit& operator=(const AfxRestoreOnExit&) = delete;

 private:
  T& m_variable;
  T m_saved;
};

// Ties the next window created on this thread to pWnd. Unhooking answers
// FALSE when no window was created meanwhile.
void AfxHookWindowCreate(CWnd* pWnd);
BOOL AfxUnhookWindowCreate();
