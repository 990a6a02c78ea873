// Internal to src/copybook: PICTURE strings and usages, and the storage an elementary item takes.
#ifndef RECSIFT_COPYBOOK_PICTURE_H_
#define RECSIFT_COPYBOOK_PICTURE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace recsift::copybook {

// What a PICTURE string says.
struct Picture {
  bool text = false;       // X or A present: a character item
  int64_t positions = 0;   // character items: bytes
  bool is_signed = false;  // numbers: S present
  int digits = 0;          // numbers: 9 positions
  int scale = 0;           // numbers: decimal places (negative for P right of the digits)
};

// The usages read; others are refused when they are read.
enum class Usage { kNone, kDisplay, kBinary, kNativeBinary, kPacked };

// Reads a PICTURE string. Returns an empty string, or the reason it is not accepted.
std::string read_picture(std::string_view s, Picture* pic);

// Reads a usage word (after USAGE [IS], or alone). *known is false for a word that is not a
// usage at all. Returns an empty string, or the reason a usage is not accepted.
std::string read_usage(std::string_view word, Usage* usage, bool* known);

// Bytes of a binary number of this many digits: 2, 4 or 8 (0 for more than 18).
int binary_bytes(int digits);

}  // namespace recsift::copybook

#endif  // RECSIFT_COPYBOOK_PICTURE_H_
