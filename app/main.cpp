#include "app/ErrorReporting.h"
#include "app/Interrupt.h"
#include "app/Program.h"

int main(int argc, char** argv) {
  calvane::app::InstallInterruptHandlers();
  calvane::app::InstallHostErrorSink();
  return calvane::app::RunProgram(argc, argv);
}
