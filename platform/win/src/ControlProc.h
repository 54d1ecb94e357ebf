// The window procedures of the predefined controls: each message goes to a
// small named handler of the control, and what no handler takes goes to one
// tail that all controls share.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>

#include "win/src/System.h"

namespace win::detail {

// One message to a control, with the control's state.
template <class State>
struct ControlCall {
  HWND hWnd;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  State& state;
};

// A handler's answer: the message's result, or nothing when it leaves the
// message to the shared tail.
using ControlAnswer = std::optional<LRESULT>;

template <class State>
struct ControlRoute {
  UINT msg;
  ControlAnswer (*handler)(const ControlCall<State>&);
};

// What a control redraws for in the shared tail.
enum ControlRedraw : unsigned { kRedrawOnEnable = 1, kRedrawOnFocus = 2 };

// The tail: a change of enabled state or of focus redraws the control when
// `redrawOn` says so; everything else is the window's default processing.
LRESULT ControlTail(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, unsigned redrawOn);

// Runs a control's window procedure: makes its state at creation, hands the
// message to the handler routed for it, and the rest to the tail.
template <class State, std::size_t N>
LRESULT RunControl(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam, const ControlRoute<State> (&routes)[N],
                   unsigned redrawOn) {
  std::shared_ptr<State> state = ControlStateFor<State>(hWnd, msg);
  if (!state) return DefWindowProcA(hWnd, msg, wParam, lParam);
  for (const ControlRoute<State>& route : routes) {
    if (route.msg != msg) continue;
    if (ControlAnswer answer = route.handler(ControlCall<State>{hWnd, msg, wParam, lParam, *state})) return *answer;
    break;
  }
  return ControlTail(hWnd, msg, wParam, lParam, redrawOn);
}

}  // namespace win::detail
