// What std::terminate does after an exception that nothing caught, in place
// of the C++ run-time's own handler, which names the exception's type through
// the C++ name demangler: 46 KB in every program for one message. This one
// says what the exception said, on standard error, and ends the program the
// same way (abort).
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace __gnu_cxx {

void __verbose_terminate_handler() {
  static bool called = false;
  if (!called) {  // an exception thrown by what() ends here at once
    called = true;
    if (const std::exception_ptr e = std::current_exception()) {
      try {
        std::rethrow_exception(e);
      } catch (const std::exception& x) {
        std::fprintf(stderr, "terminate called after throwing an exception\n  what():  %s\n",
                     x.what());
      } catch (...) {
        std::fputs("terminate called after throwing an exception\n", stderr);
      }
    } else {
      std::fputs("terminate called without an active exception\n", stderr);
    }
  }
  std::abort();
}

}  // namespace __gnu_cxx
