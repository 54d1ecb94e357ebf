// Watching messages. An observer sees every message the window system
// delivers or queues: sent (SendMessageA, and every message the system sends
// itself, such as WM_SETFOCUS or a control's WM_COMMAND notification), posted
// (PostMessageA, when it is queued) and dispatched (DispatchMessageA, when a
// queued message reaches its window). A MessageSpy records them for tests.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "win/windows.h"

namespace win {

enum class Delivery { Sent, Posted, Dispatched };

struct MessageRecord {
  Delivery delivery = Delivery::Sent;
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;

  bool operator==(const MessageRecord& other) const {
    return delivery == other.delivery && hwnd == other.hwnd && message == other.message && wParam == other.wParam &&
           lParam == other.lParam;
  }
};

using MessageObserver = std::function<void(const MessageRecord&)>;
WIN_API int AddMessageObserver(MessageObserver observer);
WIN_API void RemoveMessageObserver(int cookie);

// Records every message from construction to destruction.
class WIN_API MessageSpy {
 public:
  MessageSpy();
  ~MessageSpy();
  MessageSpy(const MessageSpy&) = delete;
  MessageSpy& operator=(const MessageSpy&) = delete;

  const std::vector<MessageRecord>& Records() const { return m_records; }
  // The records for one window, in order.
  std::vector<MessageRecord> To(HWND hWnd) const;
  // The records for one window with one delivery, in order.
  std::vector<MessageRecord> To(HWND hWnd, Delivery delivery) const;
  // How many times `message` reached `hWnd` with `delivery`.
  int Count(HWND hWnd, UINT message, Delivery delivery = Delivery::Sent) const;
  // Messages to `hWnd` with `delivery`, leaving out the ones the system asks
  // for itself while routing input (WM_GETDLGCODE) so that sequences read as
  // what the code under test did.
  std::vector<UINT> Messages(HWND hWnd, Delivery delivery = Delivery::Sent) const;
  void Clear() { m_records.clear(); }

 private:
  std::vector<MessageRecord> m_records;
  int m_cookie;
};

// "WM_COMMAND", "TBM_SETPOS", ...; the window decides between the control
// message families that share values. Unknown messages give their number.
WIN_API std::string MessageName(UINT message, HWND hWnd = nullptr);
// "sent TBM_SETPOS(1, 2500) to msctls_trackbar32 #1006".
WIN_API std::string Describe(const MessageRecord& record);
WIN_API std::ostream& operator<<(std::ostream& out, const MessageRecord& record);

// A record for comparisons in tests.
inline MessageRecord Sent(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return MessageRecord{Delivery::Sent, hWnd, message, wParam, lParam};
}
inline MessageRecord Posted(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return MessageRecord{Delivery::Posted, hWnd, message, wParam, lParam};
}

}  // namespace win
