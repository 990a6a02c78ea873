// A stand-in for the external routine library that CALL statements load ("rsfcall.so", entry
// "_rsfcall"). Sites supply their own; this one lets the tests and examples run CALL: every
// routine answers 0 (success) and leaves its arguments untouched.
extern "C" int _rsfcall(const char* routine, void** arguments) {
  static_cast<void>(routine);
  static_cast<void>(arguments);
  return 0;
}
