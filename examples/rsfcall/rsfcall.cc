// A stand-in for the external routine library that CALL statements load ("rsfcall.so", entry
// "_rsfcall"). Sites supply their own; this one lets the tests and examples run CALL. The routine
// "retcode" returns the status held in its first argument (4 bytes, big-endian), so a statement
// can ask for any status; every other routine answers 0 (success). No routine changes its
// arguments.
#include <cstring>

extern "C" int _rsfcall(const char* routine, void** arguments) {
  if (std::strcmp(routine, "retcode") != 0 || arguments == nullptr || arguments[0] == nullptr) {
    return 0;
  }
  const auto* p = static_cast<const unsigned char*>(arguments[0]);
  const unsigned int status = (static_cast<unsigned int>(p[0]) << 24) |
                              (static_cast<unsigned int>(p[1]) << 16) |
                              (static_cast<unsigned int>(p[2]) << 8) | p[3];
  return static_cast<int>(status);
}
