// UTIME (TOUCH): sets the modification time of a file named by slot 0 to the time value of
// slot 1. A number (an immediate, or a binary field) is seconds since 1970; any other value is a
// local date and time written as text. A value that is no time, or a file whose time cannot be
// set, is a failure of the statement (return code 8).
#include <cstdint>
#include <string>

#include "base/fatal.h"
#include "convert/convert.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

// Days from 1 January 1970 to the given civil date (proleptic Gregorian calendar).
int64_t days_from_civil(int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int64_t as_if_universal(const host::CivilTime& c) {
  return days_from_civil(c.year, c.month, c.mday) * 86400 + c.hour * 3600 + c.minute * 60 +
         c.second;
}

// Seconds since 1970 of a local calendar time: the universal reading corrected by the local
// offset, taken twice so that a change of offset between the two readings is followed.
int64_t from_local_time(const host::CivilTime& local) {
  const int64_t wanted = as_if_universal(local);
  int64_t t = wanted;
  for (int i = 0; i < 2; ++i) t = wanted - (as_if_universal(host::local_time(t)) - t);
  return t;
}

// A time stamp written as local date and time: "yyyymmdd[hhmm[ss]]" in one group of digits, or
// year, month, day[, hour, minute[, second[, tenths]]] separated by any other characters (so the
// date area's "yyyy/mm/dd hh:mm:ss.0" is accepted as it stands).
bool parse_time_stamp(const uint8_t* text, int32_t n, int64_t* seconds) {
  int64_t groups[8] = {};
  int widths[8] = {};
  int count = 0;
  for (int32_t i = 0; i < n;) {
    if (text[i] < '0' || text[i] > '9') {
      ++i;
      continue;
    }
    if (count == 8) return false;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
      if (widths[count] == 14) return false;
      groups[count] = groups[count] * 10 + (text[i++] - '0');
      ++widths[count];
    }
    ++count;
  }
  int64_t f[6] = {};  // year, month, day, hour, minute, second
  if (count == 1 && (widths[0] == 8 || widths[0] == 12 || widths[0] == 14)) {
    int64_t all = groups[0];
    for (int k = widths[0] / 2 - 2; k >= 0; --k) {
      const int64_t divisor = k == 0 ? 10000 : 100;
      f[k] = all % divisor;
      all /= divisor;
    }
  } else if (count == 3 || count == 5 || count == 6 || count == 7) {
    for (int k = 0; k < count && k < 6; ++k) f[k] = groups[k];
  } else {
    return false;
  }
  if (f[0] < 1 || f[0] > 9999 || f[1] < 1 || f[1] > 12 || f[2] < 1 ||
      f[2] > convert::month_length(static_cast<int>(f[0]), static_cast<int>(f[1])) || f[3] > 23 ||
      f[4] > 59 || f[5] > 60) {
    return false;
  }
  host::CivilTime c;
  c.year = static_cast<int>(f[0]);
  c.month = static_cast<int>(f[1]);
  c.mday = static_cast<int>(f[2]);
  c.hour = static_cast<int>(f[3]);
  c.minute = static_cast<int>(f[4]);
  c.second = static_cast<int>(f[5]);
  *seconds = from_local_time(c);
  return true;
}

}  // namespace

int execute_utime(Run& run, Statement& st) {
  Operand* name_op = st.operands[0];
  Operand* time_op = st.operands[1];
  if (name_op == nullptr || time_op == nullptr) base::logic_error(base::kLogicNoExecutor, st.selid);
  if (resolve_operand(run, time_op) == nullptr || resolve_operand(run, name_op) == nullptr) {
    return kVerbNext;
  }
  // A number (binary, or written as a number) is seconds since 1970; anything else a time stamp.
  int64_t seconds = 0;
  const bool number = time_op->kind == OperandKind::kImmediate ||
                      time_op->kind == OperandKind::kComputed || time_op->type == kTypeBinary;
  const bool ok = number
                      ? convert::binary_to_int64(&seconds, time_op->address, time_op->length) == 0
                      : parse_time_stamp(time_op->address, time_op->length, &seconds);
  // A name taken from record data ends at a zero byte or before trailing blanks.
  std::string name(reinterpret_cast<const char*>(name_op->address),
                   static_cast<size_t>(name_op->length));
  name = name.substr(0, name.find('\0'));
  name = name.substr(0, name.find_last_not_of(' ') + 1);
  host::normalise_separators(name);
  if (!name.empty() && name[0] != '/' && run.files != nullptr &&
      run.files->default_dir != nullptr) {
    name = run.files->default_dir + name;
  }
  if (!ok || name.empty() || host::set_file_time(name, seconds) != 0) count_data_failure(run, st);
  return kVerbNext;
}

}  // namespace recsift::engine
