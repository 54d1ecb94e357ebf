// Fixes the thread team of a test executable at CALVANE_TEST_THREADS
// threads, whatever the machine has, so that passes are cut into the same
// chunks everywhere and the seams between threads' shares are exercised on
// a machine of one core too. The team reads OMP_NUM_THREADS once, when it
// is first used, which is after static initialisation.
#include <cstdlib>

namespace {

const bool kTeamSizeSet = [] {
  setenv("OMP_NUM_THREADS", CALVANE_TEST_THREADS, 1);
  return true;
}();

}  // namespace
