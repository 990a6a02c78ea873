// CSV lines: the CSV statement turns the columns of the current record into one line of text
// and writes it to its file; a file whose statement asks for a header gets the column names as
// its first line, once.
//
// Exports (run_internal.h): execute_csv, write_csv_headers.
//
// Invariants:
//  - A cell never loses a byte silently: text that holds the separator, a double quote or a
//    line end is quoted (quotes doubled); a number that cannot be read gives an empty cell, one
//    error against the statement and return code 8.
//  - A column that starts at or beyond the end of the current record (a shorter variable-length
//    record) gives an empty cell and no error.
//  - Numbers are exact: packed and zoned digits are copied as digits, never through a binary
//    value, so any length converts.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine::detail {
namespace {

using program::CsvColumn;
using program::CsvLine;

constexpr uint8_t kEbcdicBlank = 0x40;
constexpr uint8_t kEbcdicPlus = 0x4E;
constexpr uint8_t kEbcdicMinus = 0x60;

// Digits of a number, most significant first (in storage the run keeps), and its sign.
struct Digits {
  std::string& digits;
  bool negative = false;
};

// Appends `text` as one cell: quoted, with its quotes doubled, when it holds the separator, a
// quote or a line end.
void append_cell(std::string& out, const uint8_t* text, size_t n, uint8_t separator) {
  bool quote = false;
  for (size_t i = 0; i < n && !quote; ++i) {
    const uint8_t c = text[i];
    quote = c == separator || c == '"' || c == '\r' || c == '\n';
  }
  if (!quote) {
    out.append(reinterpret_cast<const char*>(text), n);
    return;
  }
  out.push_back('"');
  for (size_t i = 0; i < n; ++i) {
    if (text[i] == '"') out.push_back('"');
    out.push_back(static_cast<char>(text[i]));
  }
  out.push_back('"');
}

// The number's text: no leading zeros (one 0 before the point), "-" for a negative value that is
// not zero, `scale` decimals after a point, or -scale zeros appended.
void append_number(std::string& out, const Digits& d, int32_t scale) {
  size_t first = d.digits.find_first_not_of('0');
  if (first == std::string::npos) first = d.digits.size();
  const std::string_view sig = std::string_view(d.digits).substr(first);
  if (d.negative && !sig.empty()) out.push_back('-');
  if (scale <= 0) {
    if (sig.empty()) {
      out.push_back('0');
      return;
    }
    out.append(sig);
    out.append(static_cast<size_t>(-scale), '0');
    return;
  }
  const auto decimals = static_cast<size_t>(scale);
  if (sig.size() > decimals) {
    out.append(sig.substr(0, sig.size() - decimals));
    out.push_back('.');
    out.append(sig.substr(sig.size() - decimals));
  } else {
    out.append("0.");
    out.append(decimals - sig.size(), '0');
    out.append(sig);
  }
}

bool read_packed(const uint8_t* p, int32_t n, Digits* d) {
  if (n < 1) return false;
  d->digits.clear();
  for (int32_t i = 0; i < n; ++i) {
    const int hi = p[i] >> 4;
    const int lo = p[i] & 0x0F;
    if (hi > 9) return false;
    d->digits.push_back(static_cast<char>('0' + hi));
    if (i + 1 < n) {
      if (lo > 9) return false;
      d->digits.push_back(static_cast<char>('0' + lo));
    } else if (lo < 0x0A) {
      return false;  // the last low nibble is the sign
    } else {
      d->negative = lo == 0x0B || lo == 0x0D;
    }
  }
  return true;
}

bool read_binary(const uint8_t* p, int32_t n, bool is_signed, Digits* d) {
  if (n < 1 || n > 8) return false;
  uint64_t v = 0;
  for (int32_t i = 0; i < n; ++i) v = v << 8 | p[i];
  if (is_signed && (p[0] & 0x80) != 0) {
    if (n < 8) v |= ~uint64_t{0} << (8 * n);  // extend the sign
    v = ~v + 1;                               // the magnitude, also of the lowest value
    d->negative = true;
  }
  char text[24];
  char* end = text + sizeof text;
  char* p_digit = end;
  do {
    *--p_digit = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  d->digits.assign(p_digit, end);
  return true;
}

// One over-punched digit: its digit and sign, in EBCDIC (zone C, A, E, F positive, D, B
// negative) or in ASCII ("0"-"9" and "{", "A"-"I" positive; "}", "J"-"R" and "p"-"y" negative).
bool overpunched(uint8_t c, bool ebcdic, char* digit, bool* negative) {
  if (ebcdic) {
    const int zone = c >> 4;
    const int low = c & 0x0F;
    if (low > 9 || zone < 0x0A) return false;
    *digit = static_cast<char>('0' + low);
    *negative = zone == 0x0B || zone == 0x0D;
    return true;
  }
  *negative = false;
  if (c >= '0' && c <= '9') {
    *digit = static_cast<char>(c);
  } else if (c == '{') {
    *digit = '0';
  } else if (c >= 'A' && c <= 'I') {
    *digit = static_cast<char>('1' + (c - 'A'));
  } else if (c == '}') {
    *digit = '0';
    *negative = true;
  } else if (c >= 'J' && c <= 'R') {
    *digit = static_cast<char>('1' + (c - 'J'));
    *negative = true;
  } else if (c >= 'p' && c <= 'y') {
    *digit = static_cast<char>('0' + (c - 'p'));
    *negative = true;
  } else {
    return false;
  }
  return true;
}

bool plain_digit(uint8_t c, bool ebcdic, char* digit) {
  if (ebcdic ? (c >> 4) != 0x0F || (c & 0x0F) > 9 : c < '0' || c > '9') return false;
  *digit = static_cast<char>('0' + (c & 0x0F));
  return true;
}

// A zoned number: leading blanks pass as zeros; *blank is set when the field is all blanks.
bool read_zoned(const uint8_t* p, int32_t n, bool ebcdic, uint8_t sign, Digits* d, bool* blank) {
  const uint8_t space = ebcdic ? kEbcdicBlank : ' ';
  int32_t first = 0;
  int32_t last = n;  // one past the last digit byte
  d->digits.clear();
  if (sign == program::kCsvSignLeadingSeparate || sign == program::kCsvSignTrailingSeparate) {
    const int32_t at = sign == program::kCsvSignLeadingSeparate ? 0 : n - 1;
    if (n < 2) return false;
    const uint8_t c = p[at];
    if (c == (ebcdic ? kEbcdicMinus : '-')) {
      d->negative = true;
    } else if (c != (ebcdic ? kEbcdicPlus : '+')) {
      *blank = std::all_of(p, p + n, [space](uint8_t b) { return b == space; });
      return false;
    }
    if (at == 0) first = 1;
    if (at != 0) last = n - 1;
  }
  while (first < last && p[first] == space) ++first;
  if (first == last) {
    *blank = true;
    return false;
  }
  const int32_t punched = sign == program::kCsvSignTrailing  ? last - 1
                          : sign == program::kCsvSignLeading ? first
                                                             : -1;
  for (int32_t i = first; i < last; ++i) {
    char digit = 0;
    if (i == punched) {
      bool negative = false;
      if (!overpunched(p[i], ebcdic, &digit, &negative)) return false;
      d->negative = negative;
    } else if (!plain_digit(p[i], ebcdic, &digit)) {
      return false;
    }
    d->digits.push_back(digit);
  }
  return true;
}

// The bytes of a column in the current record, or null for an empty cell (*failed when that
// is a failure, counted by resolution).
const uint8_t* column_bytes(Run& run, const CsvColumn& c, int32_t* n, bool* failed) {
  program::Operand* f = c.field;
  const program::Term& pos = f->pos;
  if (pos.kind == program::TermKind::kAbsolute && pos.next == nullptr &&
      f->len_kind == program::LengthKind::kFixed && pos.value >= 1 && f->len.value >= 0) {
    const int64_t start = pos.value - 1;
    if (start >= run.record_length) return nullptr;  // beyond a shorter record
    if (start + f->len.value <= run.addressable_length) {
      *n = f->len.value;
      return run.record_base + start;
    }
  }
  uint8_t* bytes = resolve_operand(run, f);
  if (bytes == nullptr) {
    *failed = true;
    return nullptr;
  }
  *n = f->length;
  return bytes;
}

// Appends the cell of column `c`. False when its bytes hold no number of its form.
bool append_column(Run& run, const CsvLine& line, const CsvColumn& c, std::string& out, Digits& d) {
  int32_t n = 0;
  bool failed = false;
  const uint8_t* p = column_bytes(run, c, &n, &failed);
  if (p == nullptr) return !failed;
  d.negative = false;
  bool ok = true;
  bool blank = false;
  switch (c.form) {
    case program::kCsvText: {
      const uint8_t* text = p;
      if (line.ebcdic) {
        const uint8_t* table = builtin_table(program::kTableAscii);
        run.csv_text.resize(static_cast<size_t>(n));
        for (int32_t i = 0; i < n; ++i) run.csv_text[static_cast<size_t>(i)] = table[p[i]];
        text = reinterpret_cast<const uint8_t*>(run.csv_text.data());
      }
      size_t length = static_cast<size_t>(n);
      if (line.trim) {
        while (length > 0 && text[length - 1] == ' ') --length;
      }
      append_cell(out, text, length, line.separator);
      return true;
    }
    case program::kCsvPacked:
      ok = read_packed(p, n, &d);
      break;
    case program::kCsvBinary:
    case program::kCsvUnsignedBinary:
      ok = read_binary(p, n, c.form == program::kCsvBinary, &d);
      break;
    default:
      ok = read_zoned(p, n, line.ebcdic, c.sign, &d, &blank);
      break;
  }
  if (!ok) return blank;  // an all-blank number is an empty cell, anything else a failure
  const size_t at = out.size();
  append_number(out, d, c.scale);
  const uint8_t sep = line.separator;
  if (sep == '-' || sep == '.' || (sep >= '0' && sep <= '9')) {
    const std::string cell = out.substr(at);
    out.resize(at);
    append_cell(out, reinterpret_cast<const uint8_t*>(cell.data()), cell.size(), sep);
  }
  return true;
}

// Writes run.csv_line to the statement's file, as WRITE writes a record.
int write_line(Run& run, Statement& st) {
  return put_record(run, *st.file, false, reinterpret_cast<const uint8_t*>(run.csv_line.data()),
                    static_cast<int32_t>(run.csv_line.size()));
}

// The header line of the statement's line, when it wants one and its file has none yet.
int write_header(Run& run, Statement& st) {
  CsvLine& line = *st.csv;
  line.header_written = true;
  if (!line.header) return kVerbNext;
  // Another CSV statement may have given the file its header already.
  for (Statement* other = run.program->head; other != nullptr; other = other->next) {
    if (other != &st && other->op == Op::kCsv && other->csv != nullptr && other->file == st.file &&
        other->csv->header && other->csv->header_written) {
      return kVerbNext;
    }
  }
  std::string& out = run.csv_line;
  out.clear();
  for (int32_t i = 0; i < line.count; ++i) {
    if (i > 0) out.push_back(static_cast<char>(line.separator));
    const CsvColumn& c = line.columns[i];
    append_cell(out, reinterpret_cast<const uint8_t*>(c.name != nullptr ? c.name : ""),
                static_cast<size_t>(c.name_length), line.separator);
  }
  return write_line(run, st);
}

}  // namespace

int execute_csv(Run& run, Statement& st) {
  CsvLine& line = *st.csv;
  if (!line.header_written) {
    if (int verb = write_header(run, st); verb != kVerbNext) return verb;
  }
  std::string& out = run.csv_line;
  out.clear();
  Digits d{run.csv_digits};
  bool ok = true;
  for (int32_t i = 0; i < line.count; ++i) {
    if (i > 0) out.push_back(static_cast<char>(line.separator));
    if (!append_column(run, line, line.columns[i], out, d)) ok = false;
  }
  if (!ok) count_data_failure(run, st);
  return write_line(run, st);
}

bool write_csv_headers(Run& run) {
  if (run.program == nullptr) return true;
  for (Statement* st = run.program->head; st != nullptr; st = st->next) {
    if (st->op != Op::kCsv || st->csv == nullptr || st->csv->header_written ||
        st->file == nullptr || !st->file->is_open) {
      continue;
    }
    Statement* const current = run.current;
    run.current = st;
    const int verb = write_header(run, *st);
    run.current = current;
    if (verb != kVerbNext) return false;
  }
  return true;
}

}  // namespace recsift::engine::detail
