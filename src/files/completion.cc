// Completion of the file definitions before the run: what the statements left open is settled
// from the primary input and the run's settings, so that record I/O opens every file with a
// known record format, delimiter, buffer size and descriptor handling.
//
// Exports (files.h): complete_definition.
#include <algorithm>

#include "files/files.h"

namespace recsift::files {
namespace {

constexpr int kMsgTabsNeedWorkArea = 578;
constexpr int32_t kMaxBlock = 8000;
constexpr int32_t kBlksizeSameDefault = 4000;

bool is_input(const FFREC& f) {
  return (f.open_type & (kOpenInput | kOpenUpdate | kOpenDelete)) != 0;
}
bool is_output(const FFREC& f) {
  return (f.open_type & (kOpenOutput | kOpenInsert)) != 0 && (f.open_type & kOpenInput) == 0;
}

}  // namespace

int complete_definition(FileList& files, FFREC& f, const CompletionSettings& s) {
  if (f.name[0] == '\0' || (f.open_type & kOpenExternal) != 0) return 0;
  const FFREC* primary = files.primary_input != &f ? files.primary_input : nullptr;
  const bool input = is_input(f);
  const bool output = is_output(f);

  // 1. The record format.
  if (f.recfm == kRecfmNone) {
    if (f.lrecl_given) {
      f.recfm = kRecfmF;
    } else if (input || primary == nullptr || primary->recfm == kRecfmNone) {
      f.recfm = kRecfmU;
    } else {
      f.recfm = primary->recfm;
      f.blocked = f.blocked || primary->blocked;
      const int32_t descriptor = record_format(f.recfm).record_descriptor;
      if (descriptor > 0) f.descriptor_length = descriptor;
    }
  }
  // 2. Delimiters and tabs belong to text records only.
  if (f.recfm != kRecfmU) {
    f.delimiter_length = 0;
    f.tab_width = 0;
  } else if (input && f.tab_width > 0 && !s.work_area) {
    return kMsgTabsNeedWorkArea;
  }
  // 3. Input without LRECL and BLKSIZE.
  if (input && !f.lrecl_given && f.blksize <= 0) f.blksize = s.default_blksize;
  // 4. Output sizes.
  if (output) {
    switch (f.blksize_rule) {
      case kBlksizeUnblocked:
        f.blksize = f.lrecl;
        break;
      case kBlksizeMax:
        f.blksize = kMaxBlock;
        break;
      case kBlksizeSame:
        f.blksize =
            primary != nullptr && primary->blksize > 0 ? primary->blksize : kBlksizeSameDefault;
        break;
      default:
        break;
    }
    if (f.blocked && f.blksize <= 0) f.blocked = false;
    if (!f.lrecl_given && f.blksize <= 0) {
      f.blksize = primary != nullptr && primary->blksize > 0 ? primary->blksize : s.default_blksize;
    }
    if (!f.recfm_given && !f.lrecl_given && primary != nullptr && primary->lrecl > 0) {
      const int32_t delimiter = f.recfm == kRecfmU ? std::max(f.delimiter_length, 0) : 0;
      // The input's room for its line end goes to this file's line end, but a record of the
      // input's full length must still fit: fixed records and EOL=NO pieces leave no such room,
      // and a plain copy would cut every full record.
      const int32_t lrecl =
          std::max(primary->lrecl + primary->delimiter_length - delimiter, primary->lrecl);
      f.lrecl = lrecl;
      if (!f.blksize_given && f.blksize < lrecl + delimiter) f.blksize = lrecl + delimiter;
    }
  }
  // 5. The last default of the buffer size.
  if (f.blksize <= 0 && f.recfm != kRecfmF) f.blksize = s.default_blksize;
  // 6. Descriptor words.
  if (!f.rdw && !f.nordw) {
    if (s.nordw) {
      f.nordw = true;
    } else {
      f.rdw = true;
      f.key_position += f.descriptor_length;
    }
  }
  return 0;
}

}  // namespace recsift::files
