// The file verbs of the record loop: READ, WR, UPD, OPEN and CLOS. Each turns the statement's
// operands into an area, asks record I/O for the record, and keeps the run's record state (the
// current input, the record base and lengths, UXLRECL and UXINCNT) in step with what it did.
//
// Exports (engine.h): execute_file_verb.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "base/fatal.h"
#include "convert/special_area.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

constexpr int32_t kReturnCodeOutside = 8;
constexpr int32_t kReturnCodeWriteWarning = 5;
// The record a keyed read delivers when the key or record is not there.
constexpr char kNotFoundRecord[] = "--- KEY/REC NOT FOUND ---";
constexpr int32_t kNotFoundLength = sizeof kNotFoundRecord - 1;
// RETVSAM after a keyed or positioned read: 0 when the record was found, else this code.
constexpr int32_t kKeyedStatusNotFound = 16;

// The INTO area lies in the work area, whatever the current record is: its positions count from
// the work area's first byte and may reach its end.
uint8_t* resolve_into(Run& run, Operand* into) {
  uint8_t* const base = run.record_base;
  const int32_t addressable = run.addressable_length;
  run.record_base = run.work_area;
  run.addressable_length = run.work_length;
  uint8_t* area = resolve_operand(run, into);
  run.record_base = base;
  run.addressable_length = addressable;
  return area;
}

// The kind of read a statement makes now. A START form makes its positioned read the first time
// it runs; after that the statement reads on sequentially.
uint8_t access_now(const Statement& st) {
  if (st.access < kAccessStartKeyGe) return st.access;
  if ((st.flags & kSfPositioned) != 0) return kAccessSequential;
  switch (st.access) {
    case kAccessStartKeyGe:
      return kAccessKeyGreaterEqual;
    case kAccessStartKeyEq:
      return kAccessKeyEqual;
    case kAccessStartRba:
      return kAccessRba;
    default:
      return kAccessRecordNumber;
  }
}

// Asks record I/O for the statement's record: the next one, or the one its key, byte address or
// record number names. Returns kVerbNext with *got set, or kVerbAbend after recording the error.
int positioned_read(Run& run, Statement& st, uint8_t* area, int32_t area_length,
                    files::IoResult* got) {
  files::FFREC* file = st.file;
  const uint8_t access = access_now(st);
  if (access == kAccessSequential) {
    *got = files::read_record(*run.io, *file, area, area_length);
    return kVerbNext;
  }
  st.flags |= kSfPositioned;
  Operand* operand = st.operands[1];
  const uint8_t* bytes = operand != nullptr ? resolve_operand(run, operand) : nullptr;
  if (access == kAccessKeyEqual || access == kAccessKeyGreaterEqual) {
    if (bytes == nullptr) {
      record_run_error(run, kRunErrKeyOutside, file);
      return kVerbAbend;
    }
    file->key_sought = bytes;
    file->key_sought_length = operand->length;
    const auto how =
        access == kAccessKeyEqual ? files::KeyedRead::kEqual : files::KeyedRead::kGreaterEqual;
    *got = files::read_keyed(*run.io, *file, how, area, area_length);
  } else {
    // A byte address, or record n of the file at byte address (n - 1) x LRECL. A field without
    // a numeric type holds the number as digits.
    int64_t value = 0;
    Operand number = bytes != nullptr ? *operand : Operand{};
    if (number.type != kTypeBinary && number.type != kTypePacked) number.type = kTypeCharacter;
    if (bytes == nullptr || !operand_number(number, &value)) {
      record_run_error(run, kRunErrIntoOutside, file);
      return kVerbAbend;
    }
    if (access == kAccessRecordNumber) {
      if (value < 1) {  // records count from 1
        record_run_error(run, kRunErrRecordRequired, file);
        return kVerbAbend;
      }
      if (file->lrecl <= 0 || value - 1 > INT64_MAX / file->lrecl) {
        record_run_error(run, kRunErrIntoOutside, file);
        return kVerbAbend;
      }
      value = (value - 1) * file->lrecl;
    }
    file->position = value;
    *got = files::read_at(*run.io, *file, area, area_length);
  }
  if (got->status == files::IoStatus::kRecord || got->status == files::IoStatus::kNotFound) {
    convert::SpecialArea(run.special)
        .set(convert::kSpKeyedStatus, got->ok() ? 0 : kKeyedStatusNotFound);
  }
  return kVerbNext;
}

int read_verb(Run& run, Statement& st) {
  files::FFREC* file = st.file;
  run.current_input = file;

  // The area the record goes to: INTO, or the work area when the run has one.
  uint8_t* area = nullptr;
  int32_t area_length = 0;
  if (run.work_area_given) {
    area = run.work_area;
    area_length = run.work_length;
    if (Operand* into = st.operands[0]; into != nullptr) {
      area = resolve_into(run, into);
      if (area == nullptr) {
        record_run_error(run, kRunErrIntoOutside, file);
        return kVerbAbend;
      }
      area_length = into->length;
    }
  }

  files::IoResult got;
  if (st.access == kAccessSequential) {  // the record loop's own READ: kept short
    got = files::read_record(*run.io, *file, area, area_length);
  } else if (int verb = positioned_read(run, st, area, area_length, &got); verb != kVerbNext) {
    return verb;
  }
  uint8_t* record = got.record();
  if (got.status != files::IoStatus::kRecord) {
    if (got.status == files::IoStatus::kEndOfFile) {
      run.record_length = 0;
      detail::publish_record_length(run);
      if (run.marks(*file).empty_read_fails) {
        ++st.error_count;
        raise_return_code(run, kReturnCodeOutside);
      }
      return kVerbEndOfFile;
    }
    if (got.status == files::IoStatus::kError) {
      record_run_error(run, kRunErrReadFailed, file);
      return kVerbAbend;
    }
    if ((st.flags & kSfRequireRecord) != 0) {
      record_run_error(run, kRunErrRecordRequired, file);
      return kVerbAbend;
    }
    const int32_t keynf_rc = convert::SpecialArea(run.special).byte(convert::kSpKeyNotFoundRc);
    if (keynf_rc != 0) {
      raise_return_code(run, keynf_rc);
      ++st.error_count;
    }
    uint8_t* target = area != nullptr && area_length >= kNotFoundLength ? area : run.main_block;
    std::memcpy(target, kNotFoundRecord, kNotFoundLength);
    record = target;
    file->current_length = kNotFoundLength;
  }

  detail::finish_read(run, *file, record);
  return kVerbNext;
}

int write_verb(Run& run, Statement& st) {
  files::FFREC* file = st.file;
  const uint8_t* data = run.record_base;
  int32_t length = run.record_length;
  if (Operand* from = st.operands[0]; from != nullptr) {
    data = resolve_operand(run, from);
    if (data == nullptr) return kVerbNext;  // counted and raised to 8 by resolution
    length = from->length;
    const bool literal = from->position < 0;
    if (run.record_prefix > 0 && !literal) {
      const int32_t skip = std::min(run.record_prefix, length);
      data += skip;
      length -= skip;
    }
    if (st.op == Op::kWrite && file->recfm == files::kRecfmF && file->lrecl > length && !literal &&
        from->kind == OperandKind::kField && run.work_area_given && from->position > 0 &&
        data >= run.work_area && data < run.work_area + run.work_length) {
      length = static_cast<int32_t>(run.work_area + run.work_length - data);  // to its end
    }
  }
  // The sample tree holds copies of keys, and the record rewritten may be one of the samples
  // with its key changed (the current record is changed in place, so the old key is gone): the
  // tree is dropped, and the next keyed read samples the file as it now is.
  if (st.op == Op::kUpdate && file->index_root != nullptr) files::release_key_index(*file);
  return detail::put_record(run, *file, st.op == Op::kUpdate, data, length);
}

// Whether the current record lies in the file's buffer (it was handed over there, not copied).
bool record_in_buffer(const Run& run, const files::FFREC& file) {
  const std::less_equal<const uint8_t*> not_after;
  return file.buffer != nullptr && run.record_base != nullptr &&
         not_after(file.buffer, run.record_base) &&
         not_after(run.record_base, file.buffer + file.buffer_capacity);
}

int open_close_verb(Run& run, Statement& st) {
  files::FFREC* file = st.file;
  // Closing releases the buffer: a current record that lies there is replaced by the empty
  // record first, so that no statement after this one reads released storage.
  const bool record_goes = record_in_buffer(run, *file);
  files::close_file(*run.io, *file);
  file->closed = true;
  if (st.op == Op::kClose) {
    file->name_reeval = true;
    if (!run.work_area_given || record_goes) detail::present_empty_record(run, *file);
    return kVerbNext;
  }
  if (record_goes) detail::present_empty_record(run, *file);
  if (files::open_file(*run.io, *file).status == files::IoStatus::kError) {
    record_run_error(run, kRunErrWriteFailed, file);
    return kVerbAbend;
  }
  file->closed = false;
  run.marks(*file).at_end = false;
  return kVerbNext;
}

}  // namespace

void detail::finish_read(Run& run, files::FFREC& file, uint8_t* record) {
  run.record_length = file.current_length;
  const bool in_work_area =
      run.work_area_given && record >= run.work_area && record < run.work_area + run.work_length;
  run.record_base = in_work_area ? run.work_area : record;
  run.addressable_length = detail::addressable_for(run);
  detail::publish_record_length(run);
  if (&file == run.files->primary_input) {
    convert::SpecialArea(run.special)
        .set(convert::kSpInputCount, static_cast<int32_t>(file.record_count));  // 4 bytes: wraps
  }
}

int detail::put_record(Run& run, files::FFREC& file, bool update, const uint8_t* data,
                       int32_t length) {
  const int32_t truncated = file.truncated_count;
  const files::IoResult put = update ? files::update_record(*run.io, file, data, length)
                                     : files::write_record(*run.io, file, data, length);
  if (put.status != files::IoStatus::kRecord) {
    record_run_error(run, kRunErrWriteFailed, &file);
    return kVerbAbend;
  }
  if (file.truncated_count != truncated) file.write_warning = true;
  if (file.write_warning) {
    raise_return_code(run, kReturnCodeWriteWarning);
    file.write_warning = false;
  }
  return kVerbNext;
}

int execute_file_verb(Run& run, Statement& st) {
  // Linking gave every file verb its file (the primary input when it names none).
  if (st.file == nullptr) base::logic_error(base::kLogicNotFileVerb, st.selid);
  switch (st.op) {
    case Op::kRead:
      return read_verb(run, st);
    case Op::kWrite:
    case Op::kUpdate:
      return write_verb(run, st);
    case Op::kOpen:
    case Op::kClose:
      return open_close_verb(run, st);
    case Op::kCsv:
      return detail::execute_csv(run, st);
    default:
      base::logic_error(base::kLogicNotFileVerb, st.selid);
  }
}

}  // namespace recsift::engine
