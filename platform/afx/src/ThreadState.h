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

// Ties the next window created on this thread to pWnd. Unhooking answers
// FALSE when no window was created meanwhile.
void AfxHookWindowCreate(CWnd* pWnd);
BOOL AfxUnhookWindowCreate();
