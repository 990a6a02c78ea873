// What the executors of the data statements share (data_ops.cc, arithmetic.cc, compress.cc,
// utime.cc; the file verbs read record numbers with operand_number):
// the failure rule of a data statement, the record-length update, and the resolution of two
// operands in the order their lengths depend on each other. Private to the engine.
#ifndef RECSIFT_ENGINE_DATA_OPS_INTERNAL_H_
#define RECSIFT_ENGINE_DATA_OPS_INTERNAL_H_

#include <cstdint>

#include "engine/engine.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {

// A data statement failed (invalid or overflowing number, division by zero, failed
// conversion): one error against the statement and return code 8. The statement ends with Next.
void count_data_failure(Run& run, Statement& statement);

// The built-in 256-byte table a TRAN names (TranslateTable), or null.
const uint8_t* builtin_table(int32_t which);

// Makes `length` the current record length, in the run and in the record-length field of the
// special-variable area, and the addressable length follow it. The caller has checked
// 0 <= length <= run.addressable_length.
void set_record_length(Run& run, int32_t length);

// Resolves a target and its source. The operand whose length is taken from the other
// (kSameAsFirst, kSameAsSecond) is resolved after it; otherwise the target goes first when the
// source is a literal, else the source first. A null target is skipped. False when either
// fails (counted by resolution); the second is then not resolved.
bool resolve_target_and_source(Run& run, Operand* target, Operand* source);

// The number a resolved operand holds (binary, packed or decimal text, as its type says), as
// the arithmetic reads it. False when it holds none or one beyond 64 bits (arithmetic.cc).
bool operand_number(const Operand& operand, int64_t* value);

// ADD, SUB, MULT, DIV (arithmetic.cc): with the quick forms of short packed and binary fields
// unless RECSIFT_GENERAL is set; the general form alone (tests compare the two).
int execute_arithmetic(Run& run, Statement& statement);
int execute_arithmetic_general(Run& run, Statement& statement);
// ADD or SUB (no INTO) whose operands the caller has resolved: packed fields of 1 to 16 bytes.
int execute_packed_sum(Run& run, Statement& statement);
// ADD (or SUB) of the packed field `source` to the packed field `target` in place, both
// resolved, 1 to 16 bytes: false, with nothing stored, when the statement would fail.
bool add_packed_quietly(const Operand& source, const Operand& target, bool subtract);
// CMPRS and XPND (compress.cc).
int execute_compress(Run& run, Statement& statement);
int execute_expand(Run& run, Statement& statement);
// UTIME (utime.cc).
int execute_utime(Run& run, Statement& statement);

}  // namespace recsift::engine

#endif  // RECSIFT_ENGINE_DATA_OPS_INTERNAL_H_
