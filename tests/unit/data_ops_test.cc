// Tests of the data statements and the external commands: statements compiled by the real
// compiler and executed against a record (and a work area beyond it when a test asks for one).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "compiler/compiler.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "host/host.h"
#include "program/program.h"
#include "run_storage.h"
#include "statement_harness.h"

namespace recsift::engine {
namespace {

// A run over `record`, addressable up to `addressable` bytes (the record alone by default).
class DataRun {
 public:
  // `general`: arithmetic takes its general path only (the quick forms are compared with it).
  explicit DataRun(const std::string& record, size_t addressable = 0, bool general = false)
      : general_(general), area_(std::max(addressable, record.size()) + 1, '\0') {
    std::copy(record.begin(), record.end(), area_.begin());
    run_.record_base = base();
    run_.addressable_length = static_cast<int32_t>(area_.size() - 1);
    if (addressable > record.size()) {  // the room beyond the record is a work area
      run_.work_area = base();
      run_.work_length = run_.addressable_length;
      run_.work_area_given = true;
    }
    run_.special = cr_.special;
    run_.date_area = cr_.date_area;
    run_.files = &cr_.files;
    run_.messages = &cr_.messages;
    set_record_length(static_cast<int32_t>(record.size()));
  }

  // Compiles the statements ("\n"-separated) and executes them in order; returns the verb
  // result of the last one.
  int run(const std::string& statements) {
    EXPECT_EQ(cr_.compile_all(statements), "") << statements;
    return execute(executed_);
  }
  // Executes the whole program again.
  int repeat() { return execute(0); }

  std::string bytes(int pos, int len) const {
    return std::string(area_.begin() + pos - 1, area_.begin() + pos - 1 + len);
  }
  void set_record_length(int32_t n) {
    run_.record_length = n;
    convert::store_be32(cr_.special + convert::kSpRecordLength, n);
  }
  int32_t field(int offset) const { return convert::load_be32(cr_.special + offset); }
  int32_t rc() const { return return_code(run_); }
  int32_t errors() const { return last_ != nullptr ? last_->error_count : 0; }
  int32_t pointer(const char* name) const {
    return pointer_variable(run_, cr_.names.find(name)).value;
  }
  Run& state() { return run_; }
  uint8_t* base() { return reinterpret_cast<uint8_t*>(area_.data()); }

 private:
  testing_support::CaseArena arena_;  // first: the run's pool blocks go once the rest is gone
  bool general_ = false;
  compiler::testing::CompileRun cr_;
  std::string area_;  // the record and the work area, and one guard byte
  Run run_;
  Statement* last_ = nullptr;  // the statement executed last
  int executed_ = 0;           // actions compiled and executed so far

  // Executes the actions of the program after the first `skip` ones.
  int execute(int skip) {
    int verb = kVerbNext;
    int seen = 0;
    for (Statement* s = cr_.program.head; s != nullptr; s = s->next) {
      if (!is_action(s->type) || seen++ < skip) continue;
      run_.current = s;
      const bool command = s->op == Op::kCms || s->op == Op::kCall || s->op == Op::kSleep;
      const bool arithmetic =
          s->op == Op::kAdd || s->op == Op::kSub || s->op == Op::kMult || s->op == Op::kDiv;
      verb = command                  ? execute_command(run_, *s)
             : general_ && arithmetic ? execute_arithmetic_general(run_, *s)
                                      : execute_data_operation(run_, *s);
      last_ = s;
    }
    executed_ = seen;
    return verb;
  }
};

// One statement on a record: the bytes at pos..pos+len-1 afterwards, the rc and errors.
struct Row {
  const char* statement;
  std::string record;
  int pos, len;
  std::string expected;  // the bytes afterwards
  int32_t rc;            // the return code afterwards
};

void check(const std::vector<Row>& rows) {
  for (const Row& r : rows) {
    DataRun d(r.record);
    EXPECT_EQ(d.run(r.statement), kVerbNext) << r.statement;
    EXPECT_EQ(d.bytes(r.pos, r.len), r.expected) << r.statement;
    EXPECT_EQ(d.rc(), r.rc) << r.statement;
    EXPECT_EQ(d.errors(), r.rc == 8 ? 1 : 0) << r.statement;
  }
}

using std::string_literals::operator""s;

TEST(DataOperations, MoveAndBitwiseForms) {
  check({
      {"MOVE 'ABC' TO POS 1,6", "xxxxxxxx", 1, 8, "ABC   xx", 0},
      {"MOVE 'AB' TO POS 1,4 PAD '*'", "xxxxx", 1, 5, "AB**x", 0},
      {"MOVE 'ABCDEF' TO POS 2,4", "xxxxx", 1, 5, "xABCx", 0},
      // An overlapping target after its source repeats the source's first byte.
      {"MOVE POS 1,9 TO POS 2,10", "ABCDEFGHIJ", 1, 10, "AAAAAAAAAA", 0},
      {"MOVE POS 2,10 TO POS 1,9", "ABCDEFGHIJ", 1, 10, "BCDEFGHIJJ", 0},
      // The pad byte is combined too: 0x32 AND blank is blank.
      {"MOD POS 1,3 AND X'0F'", "123", 1, 3, "\x01  ", 0},
      {"POS 1 OR X'20'", "ABC", 1, 3, "aBC", 0},
      // The source takes its length from the target: resolved after it.
      {"MOD POS 1 LEN 2 XOR POS 3", "ab  ", 1, 4, "AB  ", 0},
      {"MOVE POS 8,12 TO POS 1,3", "abcdefghij", 1, 10, "hijdefghij", 8},  // source clipped
  });
}

TEST(DataOperations, TranslateTables) {
  check({
      {"TRAN POS 1,10 UPPER", "abc-xyz{1}", 1, 10, "ABC-XYZ{1}", 0},
      {"TRAN POS 1,3 TO POS 4,6 LOWER", "ABC...", 1, 6, "ABCabc", 0},
      {"TRAN POS 1,6 'abc' 'xyz'", "abcabd", 1, 6, "xyzxyd", 0},
      {"TRAN POS 1,8 PRINT", "\x00\x1F ~\x7F\x80\x81\xFF"s, 1, 8, ".. ~.\x80..", 0},
  });
  // EBCDIC is a permutation whose inverse is ASCII.
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
  DataRun d(all);
  d.run("TRAN POS 1,256 EBCDIC");
  const std::string e = d.bytes(1, 256);
  EXPECT_EQ(e.substr('A', 3), "\xC1\xC2\xC3");
  EXPECT_EQ(e.substr('0', 2), "\xF0\xF1");
  EXPECT_EQ(e[' '], '\x40');
  EXPECT_EQ(e['a'], '\x81');
  std::string sorted = e;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, [&] {
    std::string s = all;
    std::sort(s.begin(), s.end());
    return s;
  }());
  d.run("TRAN POS 1,256 ASCII");
  EXPECT_EQ(d.bytes(1, 256), all);
}

TEST(DataOperations, PackedAndBinaryArithmetic) {
  check({
      {"ADD 1 TO POS 1,3 TYPE P", "\x00\x99\x9C"s, 1, 3, "\x01\x00\x0C"s, 0},
      // B - A; the sign follows the larger magnitude.
      {"SUB POS 1,2 FROM POS 3,4 TYPE P", "\x00\x5C\x01\x2D"s, 3, 2, "\x01\x7D", 0},
      {"SUB POS 1,2 FROM POS 3,4 TYPE P", "\x02\x0D\x00\x5C"s, 3, 2, "\x02\x5C", 0},
      {"SUB POS 1,2 FROM POS 3,4 TYPE P", "\x03\x0C\x01\x2B"s, 3, 2, "\x04\x2D", 0},
      {"ADD POS 1,2 TO POS 3,4 TYPE P", "\x00\x5D\x00\x5C"s, 3, 2, "\x00\x0C"s, 0},
      // Overflow, invalid digits or sign, division by zero: target unchanged.
      {"ADD POS 1,2 TO POS 3,4 TYPE P", "\x00\x1C\x99\x9C"s, 3, 2, "\x99\x9C", 8},
      {"ADD POS 1,2 TO POS 3,4 TYPE P", "\x00\x15\x00\x1C"s, 3, 2, "\x00\x1C"s, 8},
      {"ADD POS 1,2 TO POS 3,4 TYPE P", "\x0A\x1C\x00\x1C"s, 3, 2, "\x00\x1C"s, 8},
      {"DIV POS 1,2 INTO POS 3,4 TYPE P", "\x00\x0C\x01\x7C"s, 3, 2, "\x01\x7C", 8},
      {"DIV POS 1,2 INTO POS 3,4 REM POS 5,6 TYPE P", "\x00\x5C\x01\x7D....."s, 3, 4,
       "\x00\x3D\x00\x2D"s, 0},
      {"ADD POS 1,4 TO POS 5,8 TYPE B", "\x7F\xFF\xFF\xFF\x00\x00\x00\x01"s, 5, 4,
       "\x00\x00\x00\x01"s, 8},
      {"SUB POS 1,2 FROM POS 3,4 TYPE B", "\x00\x05\xFF\xFE"s, 3, 2, "\xFF\xF9", 0},
      {"DIV 3 INTO POS 1,1 TYPE B", "\xFF", 1, 1, "\x55", 0},  // a 1-byte field is unsigned
      // Products beyond 32 bits, packed and binary.
      {"MULT POS 1,5 BY POS 6,10 INTO POS 11,20 TYPE P",
       "\x12\x34\x56\x78\x9C\x98\x76\x54\x32\x1C.........."s, 11, 10,
       "\x01\x21\x93\x26\x31\x11\x26\x35\x26\x9C", 0},
      {"MULT POS 1,4 BY 1000000 INTO POS 5,12 TYPE B", "\x00\x4C\x4B\x40........"s, 5, 8,
       "\x00\x00\x04\x8C\x27\x39\x50\x00"s, 0},
      {"MULT POS 1,4 BY 1000 TYPE B", "\x00\x4C\x4B\x40"s, 1, 4, "\x00\x4C\x4B\x40"s, 8},
      {"ADD 12345678901234 TO POS 1,8 TYPE B", "\x00\x00\x00\x00\x00\x00\x00\x01"s, 1, 8,
       "\x00\x00\x0B\x3A\x73\xCE\x2F\xF3"s, 0},
      // Decimal text fields: zoned results, a negative sign overpunched.
      {"SUB 50 FROM POS 1,4 TYPE Z", "0012", 1, 4, "003Q", 0},
  });
}

// The quick forms of packed and binary arithmetic (short fields, decimal sums) against the general
// path on edge values: every digit 9, zeros of both signs, each sign nibble, bad digits and signs,
// carries through every digit, results that do not fit, and fields of every length either side
// of the quick forms' limits. Bytes, return code, error count and verb result must agree.
TEST(DataOperations, QuickArithmeticAgreesWithTheGeneralPath) {
  std::mt19937 random(20261208);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // An n-byte packed field: mostly valid, with its digits all 9, all 0 or random.
  auto packed = [&](int n) {
    std::string f(static_cast<size_t>(n), '\0');
    const int style = pick(4);
    for (int i = 0; i < n; ++i) {
      const int hi = style == 0 ? 9 : style == 1 ? 0 : pick(10);
      const int lo = style == 0 ? 9 : style == 1 ? 0 : pick(10);
      f[static_cast<size_t>(i)] = static_cast<char>(hi << 4 | lo);
    }
    auto& last = f.back();
    last = static_cast<char>((last & 0xF0) | (0x0A + pick(6)));
    if (pick(12) == 0) last = static_cast<char>((last & 0xF0) | pick(10));  // bad sign
    if (pick(12) == 0) f[static_cast<size_t>(pick(n))] |= 0xA0;             // bad digit
    if (n > 2 && pick(3) == 0) f[0] = 0;  // shorter values: fewer overflows
    return f;
  };
  auto binary = [&](int n) {
    std::string f(static_cast<size_t>(n), '\0');
    for (auto& c : f) c = static_cast<char>(pick(256));
    if (pick(4) == 0) f[0] = static_cast<char>(pick(2) != 0 ? 0x7F : 0x80);
    return f;
  };
  const char* verbs[] = {"ADD POS 1,%a TO POS 21,%b",
                         "SUB POS 1,%a FROM POS 21,%b",
                         "ADD POS 1,%a TO POS 21,%b INTO POS 41,%c",
                         "SUB POS 1,%a FROM POS 21,%b INTO POS 41,%c",
                         "ADD 1 TO POS 21,%b",
                         "SUB -99999 FROM POS 21,%b",
                         "MULT POS 1,%a BY POS 21,%b INTO POS 41,%c",
                         "DIV POS 1,%a INTO POS 21,%b"};
  for (int i = 0; i < 6000; ++i) {
    const bool is_packed = pick(4) != 0;
    const int limit = is_packed ? 18 : 10;  // beyond the quick forms' 16 and 8 bytes
    const int verb_number = pick(8);
    const int la = 1 + pick(verb_number == 7 ? 8 : limit);  // a divisor has at most 8 bytes
    const int lb = 1 + pick(limit);
    const int lc = 1 + pick(limit);
    std::string record = is_packed ? packed(la) : binary(la);
    record.resize(20, '.');
    record += is_packed ? packed(lb) : binary(lb);
    record.resize(40, '.');
    record += is_packed ? packed(lc) : binary(lc);
    record.resize(60, '.');
    std::string statement = verbs[verb_number];
    for (auto [key, n] : {std::pair{"%a", la}, {"%b", 20 + lb}, {"%c", 40 + lc}}) {
      if (auto at = statement.find(key); at != std::string::npos) {
        statement.replace(at, 2, std::to_string(n));
      }
    }
    statement += is_packed ? " TYPE P" : " TYPE B";
    DataRun quick(record);
    DataRun general(record, 0, true);
    const int verb = quick.run(statement);
    ASSERT_EQ(general.run(statement), verb) << statement;
    ASSERT_EQ(quick.bytes(1, 60), general.bytes(1, 60)) << statement;
    ASSERT_EQ(quick.rc(), general.rc()) << statement;
    ASSERT_EQ(quick.errors(), general.errors()) << statement;
  }
  // Carries through every digit and a negative zero, against values worked out by hand.
  check({
      {"ADD POS 1,10 TO POS 11,20 TYPE P",
       "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1C\x99\x99\x99\x99\x99\x99\x99\x99\x99\x9F"s, 11, 10,
       "\x99\x99\x99\x99\x99\x99\x99\x99\x99\x9F"s, 8},
      {"ADD POS 1,10 TO POS 11,20 TYPE P",
       "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1C\x09\x99\x99\x99\x99\x99\x99\x99\x99\x9F"s, 11, 10,
       "\x10\x00\x00\x00\x00\x00\x00\x00\x00\x0C"s, 0},
      {"SUB POS 1,2 FROM POS 3,5 TYPE P", "\x00\x1C\x00\x00\x0B"s, 3, 3, "\x00\x00\x1D"s, 0},
      {"ADD POS 1,2 TO POS 3,5 TYPE P", "\x00\x0D\x00\x00\x0B"s, 3, 3, "\x00\x00\x0C"s, 0},
  });
}

TEST(DataOperations, Assignments) {
  DataRun d("0123456789", 10);
  d.run("@P = POS 4\n@Q = 7\n@R = @Q+2\n@S = POS 1,2 TYPE C");
  EXPECT_EQ(d.pointer("P"), 4);
  EXPECT_EQ(d.pointer("Q"), 7);
  EXPECT_EQ(d.pointer("R"), 9);
  EXPECT_EQ(d.pointer("S"), 1);  // "01"
  d.run("MOVE 'x' TO POS @R");
  EXPECT_EQ(d.bytes(9, 1), "x");
  // Pointer 0 shows its address in UXATPTR.
  d.run("@ = 3");
  EXPECT_EQ(static_cast<uint32_t>(d.field(convert::kSpAtPointer)),
            host::address_word(d.base() + 2));

  d.run("LRECL = 5");
  EXPECT_EQ(d.state().record_length, 5);
  EXPECT_EQ(d.field(convert::kSpRecordLength), 5);
  d.run("LRECL = 11");
  EXPECT_EQ(d.state().record_length, 5);
  EXPECT_EQ(d.state().lrecl_changes_ignored, 1);
  EXPECT_EQ(d.rc(), 8);
  EXPECT_EQ(d.errors(), 1);
  d.run("RC = 0");  // lowers
  EXPECT_EQ(d.rc(), 0);
  d.run("RC = POS 1,2 TYPE C");
  EXPECT_EQ(d.rc(), 1);
}

TEST(DataOperations, GenIsRepeatableWithItsBase) {
  std::vector<int> first;
  for (int pass = 0; pass < 2; ++pass) {
    DataRun d("....");
    d.run("GEN POS 1,4 TYPE B RANGE 1,6 BASE ABCD");
    std::vector<int> values{convert::load_be32(d.base())};
    for (int i = 1; i < 10; ++i) {
      d.repeat();
      values.push_back(convert::load_be32(d.base()));
    }
    if (pass == 0) first = values;
    EXPECT_EQ(values, first);
  }
  // BASE ABCD is the EBCDIC seed C1C2C3C4.
  EXPECT_EQ(first, (std::vector<int>{1, 5, 6, 5, 4, 4, 2, 4, 5, 5}));

  DataRun c("........");
  c.run("GEN POS 1,8 TYPE C RANGE 'xyz' BASE X'00000001'");  // a seed whose upper half is 0
  EXPECT_EQ(c.bytes(1, 8).find_first_not_of("xyz"), std::string::npos);
  EXPECT_EQ(c.rc(), 0);
}

TEST(DataOperations, CompressAndExpand) {
  // One known compression: literal, blank run, byte run, literal, zero run, terminator.
  DataRun d("AB    CCCDD\0\0xy"s, 40);
  d.run("CMPRS POS 1,15 TO POS 21,40");
  const std::string packed =
      "\x01"
      "AB"
      "\x43"
      "\xC2"
      "C"
      "\x01"
      "DD"
      "\x81"
      "\x01"
      "xy"
      "\xFE";
  EXPECT_EQ(d.bytes(21, static_cast<int>(packed.size())), packed);
  EXPECT_EQ(d.state().record_length, static_cast<int32_t>(packed.size()));
  EXPECT_EQ(d.field(convert::kSpRecordLength), static_cast<int32_t>(packed.size()));
  d.run("CMPRS POS 1,15 TO POS 21,25");  // does not fit: target unchanged
  EXPECT_EQ(d.rc(), 8);
  EXPECT_EQ(d.bytes(21, 5), packed.substr(0, 5));

  // Random data with runs of every length class round-trips.
  std::mt19937 gen(7);
  std::string data;
  while (data.size() < 9000) {
    const int kind = static_cast<int>(gen() % 5);
    const size_t n = kind == 4 ? 4100 + gen() % 300 : 1 + gen() % (gen() % 2 ? 40 : 300);
    const char fill = kind == 0 ? ' ' : kind == 1 ? '\0' : static_cast<char>(gen());
    for (size_t i = 0; i < n; ++i) data += kind == 2 ? static_cast<char>(gen() % 3) : fill;
  }
  data.resize(9000);
  DataRun r(data, 30000);
  r.run("CMPRS POS 1,9000 TO POS 9001,19000");
  const int32_t k = r.state().record_length;
  ASSERT_GT(k, 0);
  ASSERT_LT(k, 9000);
  r.run("XPND POS 9001 LEN " + std::to_string(k) + " TO POS 20001 LEN 9000");
  EXPECT_EQ(r.state().record_length, 9000);
  EXPECT_EQ(r.bytes(20001, 9000), data);
  EXPECT_EQ(r.rc(), 0);

  // In place: the record becomes its compressed form.
  DataRun p("aaaaaaaaaa");
  p.run("CMPRS POS 1,10");
  EXPECT_EQ(p.bytes(1, 3),
            "\xC9"
            "a"
            "\xFE");
  EXPECT_EQ(p.state().record_length, 3);
}

// Malformed compressed data and a target without room fail the statement (return code 8) and
// leave the target as it was; overlapping operands are read before the result is stored.
TEST(DataOperations, CompressedDataFailures) {
  const struct {
    std::string data;
    const char* statement;
  } bad[] = {
      {"\x01"
       "AB\xFE\x00"s,
       "XPND POS 1,5 TO POS 11,20"},                 // a byte after the end mark
      {"\x41\xFE", "XPND POS 1,2 TO POS 11 LEN 1"},  // expands past the target
      {"\x05"
       "AB",
       "XPND POS 1,3 TO POS 11,20"},              // a literal cut off
      {"\x21", "XPND POS 1,1 TO POS 11,20"},      // a header cut off
      {"\x41\x41", "XPND POS 1,2 TO POS 11,20"},  // no end mark
  };
  for (const auto& c : bad) {
    DataRun d(c.data, 40);
    d.run(c.statement);
    EXPECT_EQ(d.rc(), 8) << c.statement;
    EXPECT_EQ(d.errors(), 1) << c.statement;
    EXPECT_EQ(d.bytes(11, 10), std::string(10, '\0')) << c.statement;
    EXPECT_EQ(d.state().record_length, static_cast<int32_t>(c.data.size())) << c.statement;
  }
  DataRun o("0123456789", 40);
  o.run("CMPRS POS 1,10 TO POS 5,20");
  EXPECT_EQ(o.rc(), 0);
  EXPECT_EQ(o.bytes(5, 12),
            "\x09"
            "0123456789\xFE"s);
  EXPECT_EQ(o.state().record_length, 12);
  o.run("XPND POS 5,16 TO POS 1,10");
  EXPECT_EQ(o.errors(), 0);
  EXPECT_EQ(o.bytes(1, 10), "0123456789");
}

TEST(DataOperationsDeathTest, CompressWithoutSource) {
  EXPECT_EXIT(
      {
        DataRun d("x");
        Statement s;
        s.op = Op::kRead;
        execute_data_operation(d.state(), s);
      },
      ::testing::ExitedWithCode(27009 % 256), "Logic Error=27009");
}

TEST(DataOperations, ConversionsDatesAndFileTimes) {
  check({
      {"CVCP POS 1,4 TO POS 5,7", "-123...", 5, 3, "\x00\x12\x3D"s, 0},
      {"CVPC POS 1,2 TO POS 3 FMT '99'", "\x12\x3C..", 3, 2, "**", 8},  // mask overflow
  });
  DataRun d("x");
  d.run("CVDATE NOW TO DATECB");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(d.state().date_area), 8), "++++++++");

  char name[] = "/tmp/recsift_utime_XXXXXX";
  const int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  close(fd);
  d.run(std::string("UTIME F ") + name + " FTIME '2024/01/02 03:04:05.0'");
  d.run(std::string("TOUCH ") + name + " FTIME 'yesterday'");
  struct stat st {};
  ASSERT_EQ(stat(name, &st), 0);
  const host::CivilTime c = host::local_time(st.st_mtime);
  EXPECT_EQ((std::vector<int>{c.year, c.month, c.mday, c.hour, c.minute, c.second}),
            (std::vector<int>{2024, 1, 2, 3, 4, 5}));
  EXPECT_EQ(d.rc(), 8);  // the second time value is no date
  unlink(name);
}

TEST(ExternalCommands, SystemStatusGoesToRetsysNotTheReturnCode) {
  DataRun d("exit 3");
  d.run("SYSTEM POS 1,6");
  EXPECT_EQ(d.field(convert::kSpCommandStatus), 3);
  EXPECT_EQ(d.rc(), 0);
  d.run("SYSTEM 'true'");
  EXPECT_EQ(d.field(convert::kSpCommandStatus), 0);
}

TEST(ExternalCommands, CallRaisesTheReturnCodeOrEndsTheRun) {
  DataRun d("\x00\x00\x00\x04\xFF\xFF\xFF\xFF"s);
  EXPECT_EQ(d.run("CALL retcode POS 1,4"), kVerbNext);
  EXPECT_EQ(d.rc(), 4);
  EXPECT_EQ(d.run("CALL retcode POS 5,8"), kVerbAbend);
  EXPECT_EQ(d.state().first_error, 567);
  EXPECT_EQ(d.rc(), 4);

  DataRun e("\x00\x00\x00\x04"s);
  EXPECT_EQ(e.run("CALL other POS 1,4 'lit'"), kVerbNext);  // status 0: unchanged
  EXPECT_EQ(e.rc(), 0);
  EXPECT_EQ(e.run("CALL retcode POS 9,12"), kVerbAbend);  // outside the record
  EXPECT_EQ(e.state().first_error, 547);
}

}  // namespace
}  // namespace recsift::engine
