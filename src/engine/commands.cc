// The verbs that reach outside the program: SYSTEM runs a command through the host's command
// interpreter and leaves its exit status in RETSYS; CALL passes the addresses of its argument
// fields to a routine of the call library and raises the return code to the routine's status;
// SLEEP waits.
//
// SYSTEM never changes the return code for the command's status; a command that cannot be
// started at all is a failure of the statement (RETSYS -1, return code 8). A CALL that cannot
// pass its arguments (547), or whose routine returns a negative status (567), ends the run.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "base/fatal.h"
#include "convert/convert.h"
#include "convert/special_area.h"
#include "engine/data_ops_internal.h"
#include "engine/engine.h"
#include "files/files.h"
#include "host/host.h"
#include "program/operand.h"
#include "program/program.h"

namespace recsift::engine {
namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

int execute_system(Run& run, Statement& st) {
  Operand* command = st.operands[0];
  if (command == nullptr || resolve_operand(run, command) == nullptr) return kVerbNext;
  // The command is exactly the operand's bytes; the record around it is not touched.
  const std::string text(reinterpret_cast<const char*>(command->address),
                         static_cast<size_t>(command->length));
  int status = 0;
  if (host::run_command(text, &status) != 0) {
    status = -1;
    count_data_failure(run, st);
  }
  if (run.special != nullptr) {
    convert::store_be32(run.special + convert::kSpCommandStatus, status);
  }
  return kVerbNext;
}

int execute_call(Run& run, Statement& st) {
  const files::CallEntry entry = run.files != nullptr ? run.files->call_entry : nullptr;
  if (st.file == nullptr || entry == nullptr) {
    record_run_error(run, kRunErrNoCallLibrary, st.file);
    return kVerbAbend;
  }
  // The routine's name as the definition keeps it: name and extension.
  char routine[sizeof st.file->name + sizeof st.file->ext + 1] = {};
  std::strcat(routine, st.file->name);
  if (st.file->ext[0] != 0) {
    std::strcat(routine, ".");
    std::strcat(routine, st.file->ext);
  }
  const int count = st.argument;
  std::vector<void*> addresses(static_cast<size_t>(count > 0 ? count : 0) + 1, nullptr);
  int resolved = 0;
  for (int i = 0; i < count && st.call_args != nullptr; ++i) {
    auto* arg = static_cast<Operand*>(st.call_args[i]);
    if (arg == nullptr) break;
    uint8_t* address = resolve_operand(run, arg);
    if (address == nullptr) break;
    addresses[static_cast<size_t>(i)] = address;
    ++resolved;
  }
  if (resolved != count) {
    record_run_error(run, kRunErrCallArguments);
    return kVerbAbend;
  }
  const int status = entry(routine, addresses.data());
  if (status < 0) {
    record_run_error(run, kRunErrNegativeStatus);
    return kVerbAbend;
  }
  raise_return_code(run, status);
  return kVerbNext;
}

}  // namespace

int execute_command(Run& run, Statement& statement) {
  switch (statement.op) {
    case Op::kCms:
      return execute_system(run, statement);
    case Op::kCall:
      return execute_call(run, statement);
    case Op::kSleep:
      host::sleep_ms(int64_t{statement.argument} * kMillisecondsPerSecond);
      return kVerbNext;
    default:
      base::logic_error(base::kLogicNoExecutor, statement.selid);
  }
}

}  // namespace recsift::engine
