// Layout of the special-variable area: 128 bytes of run-wide values that statements can read and
// test by name. The run driver owns the storage (inside its work block); the listing, the file
// layer and the record loop keep their fields up to date. Every multi-byte integer here is
// big-endian and is read and written only through load_be32 / store_be32.
#ifndef RECSIFT_CONVERT_SPECIAL_AREA_H_
#define RECSIFT_CONVERT_SPECIAL_AREA_H_

#include <cstdint>

#include "convert/convert.h"

namespace recsift::convert {

inline constexpr int kSpecialAreaSize = 128;

// Offsets of the fields. The 4-byte fields with a name can be read by statements under that name.
enum SpecialOffset : int {
  kSpRecordLength = 0,    // UXLRECL: length of the current record
  kSpAtPointer = 4,       // UXATPTR: address word of the byte pointer 0 points to (0 = null)
  kSpInputCount = 8,      // UXINCNT: records read from the primary input
  kSpAddressDiff = 12,    // UXADIFF: address word of the first difference of the last compare
  kSpWorkLength = 16,     // work-area length (WORKLEN); 0 = not set
  kSpPageNumber = 20,     // PGNO: listing page number
  kSpReturnCode = 24,     // RETCD: the run's return code
  kSpCommandStatus = 28,  // RETSYS: exit status of the last SYSTEM command
  kSpKeyedStatus = 32,    // RETVSAM: keyed-file status
  kSpReplyLength = 36,    // UXREPLYL: length of the last console reply
  kSpFileLayerSize = 40,  // a size for the file layer, 2048 at start-up
  kSpSeparator = 44,      // 1 byte: statement separator; 0xFF = not set yet
  kSpBlank1 = 45,         // 1 byte: blank at start-up
  kSpBlank2 = 46,         // 1 byte: blank at start-up
  kSpBannerFlags = 47,    // 1 byte: kBannerWanted | kBannerPrinted
  kSpLine = 48,           // UXLINE: current listing line
  kSpLinesLeft = 52,      // UXLINEREM: lines remaining on the listing page
  kSpPageDepth = 56,      // UXPD: page depth
  kSpPageWidth = 60,      // UXPW: page width
  kSpDataWidth = 64,      // UXDW: data width of printed records
  kSpFileFlags = 68,      // 1 byte: flags read by the file layer (kFileFlag20)
  kSpFillChar = 69,       // 1 byte: fill character for padding records
  kSpNoRdw = 70,          // 1 byte: nonzero = variable records are handed over without descriptor
  kSpKeyNotFoundRc = 71,  // 1 byte: return code for a key not found (RC_KEYNF)
  kSpPageLines = 72,      // lines a new page holds (the listing resets UXLINEREM from it)
};

// Bits of the banner-flags byte.
inline constexpr uint8_t kBannerWanted = 0x04;
inline constexpr uint8_t kBannerPrinted = 0x08;
// The file-layer flag bit set at start-up.
inline constexpr uint8_t kFileFlag20 = 0x20;

// Typed access to one area; the storage belongs to the caller.
class SpecialArea {
 public:
  explicit SpecialArea(uint8_t* base) : base_(base) {}
  uint8_t* base() const { return base_; }
  int32_t get(SpecialOffset offset) const { return load_be32(base_ + offset); }
  void set(SpecialOffset offset, int32_t value) const { store_be32(base_ + offset, value); }
  uint8_t byte(SpecialOffset offset) const { return base_[offset]; }
  void set_byte(SpecialOffset offset, uint8_t value) const { base_[offset] = value; }

 private:
  uint8_t* base_;  // 128 bytes, owned by the run driver's work block
};

}  // namespace recsift::convert

#endif  // RECSIFT_CONVERT_SPECIAL_AREA_H_
