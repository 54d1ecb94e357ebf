// The test dialog (laid out like the plug-in's) made modeless, without a
// presentation, for tests that lay it out, paint it and route input to it.
#pragma once

#include "term/ParameterDialog.h"

namespace desktop_test {

class TestDialog {
 public:
  TestDialog();
  ~TestDialog();
  TestDialog(const TestDialog&) = delete;
  TestDialog& operator=(const TestDialog&) = delete;

  HWND Handle() const { return m_dialog; }
  HWND Item(int id) const { return GetDlgItem(m_dialog, id); }
  // Handles every queued message as a modeless dialog's loop does.
  void Pump() const;

 private:
  HWND m_dialog = nullptr;
};

}  // namespace desktop_test
