// Built into every library, program and test when CALVANE_SANITIZE is set,
// so that any run of them (ctest, a test's own child programs, a fuzz
// target, a person at the prompt) checks the same way; ASAN_OPTIONS,
// LSAN_OPTIONS and UBSAN_OPTIONS in the environment still add to these or
// override them.

// allocator_may_return_null: code that asks for more memory than there is
// gets a null pointer and reports it, as it does without the sanitizer,
// instead of the sanitizer ending the process. The rest look for more kinds
// of fault than the defaults do, but for intercept_tls_get_addr=0: the leak
// checker of GCC 12 takes a block of dynamic thread-local storage whose
// address lies 16 bytes into a page for one with a header of an old glibc,
// reads a bogus start and size from the word before it, and crashes at
// exit ("Tracer caught signal 11"). Where such a block lands depends only on
// the heap's layout; it did for some runs once the program linked libpng.
// Without the interception that storage is not scanned for pointers: a
// block held only from another library's thread-local storage would be
// reported as leaked, which no run shows.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=1:allocator_may_return_null=1:check_initialization_order=1:detect_stack_use_after_return=1:"
         "intercept_tls_get_addr=0";
}

extern "C" const char* __ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }

// The programs' stderr is part of what the tests check.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

// OpenImageIO's PNG reader fetches its error text into a string and then
// leaves through libpng's longjmp, past the string's destructor: every
// damaged PNG leaks that text. The stack the leak checker records for it
// ends in libstdc++ (neither library keeps frame pointers), so it is matched
// there; a string can only leak on its own like this when a destructor is
// skipped, while any leaked object that owns one is still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:_M_assign\n"; }
