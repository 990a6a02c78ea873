// The compiled program as text: one line per statement record, in chain order, for the compiler
// tests and for traces.
//
// Exports (compiler.h): dump, describe_operand, describe_file.
//
// A line holds the selection id and the type name, then only the fields that are set, each as
// name=value (flags by name), so that a test states exactly what a statement compiled to:
//   1 act pr mod=17 arg=0x7c3a op0
//   -2 if cmp=1 op0 op1 true=#3 false=#4
// Continuations and jump targets name records by their place in the chain (#1 is the head).
#include <cstdio>
#include <string>
#include <string_view>

#include "compiler/compiler.h"
#include "engine/program.h"

namespace recsift::compiler {

std::string (*describe_operand)(const engine::Operand* operand) = nullptr;
std::string (*describe_file)(const files::FFREC* file) = nullptr;

namespace {

// Short names of the statement types, by type.
constexpr std::string_view kTypeNames[] = {"end", "act", "then",   "else",  "if",
                                           "and", "or",  "thenif", "elseif"};
static_assert(std::size(kTypeNames) == engine::kStElseIf + 1);

// Names of the compile-time statement flags, in bit order of the names shown.
struct FlagName {
  uint32_t bit;           // StatementFlag bit
  std::string_view name;  // as shown
};
constexpr FlagName kFlagNames[] = {
    {engine::kSfRange, "range"},
    {engine::kSfScan, "scan"},
    {engine::kSfStepped, "stepped"},
    {engine::kSfReverse, "reverse"},
    {engine::kSfPadded, "padded"},
    {engine::kSfConsoleClear, "clear"},
    {engine::kSfDumpAll, "dumpall"},
    {engine::kSfRepeating, "repeating"},
    {engine::kSfRetired, "retired"},
    {engine::kSfDefaultInput, "definput"},
    {engine::kSfContinuedThen, "contthen"},
    {engine::kSfRequireRecord, "reqrec"},
};

// Operations whose argument reads best in hexadecimal: conversion codes and dump enclosures.
bool hex_argument(uint8_t op) {
  return op == engine::kOpConvert || op == engine::kOpPrint || op == engine::kOpPlog ||
         op == engine::kOpLog;
}

std::string number(int64_t n) {
  return std::to_string(n);
}

std::string hex(uint32_t n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", n);
  return buf;
}

std::string operand(const engine::Operand* op) {
  if (describe_operand == nullptr) return {};
  return "(" + describe_operand(op) + ")";
}

std::string place(const engine::Program& program, const engine::Statement* target) {
  int i = 1;
  for (const engine::Statement* s = program.head; s != nullptr; s = s->next, ++i) {
    if (s == target) return "#" + number(i);
  }
  return "#?";
}

std::string line(const engine::Program& program, const engine::Statement& s) {
  std::string out = number(s.selid) + " ";
  out += s.type < std::size(kTypeNames) ? std::string(kTypeNames[s.type]) : "type" + number(s.type);
  auto add = [&out](const std::string& field) { out += " " + field; };
  if (s.op != 0) {
    if (engine::is_condition(s.type)) {
      add("cmp=" + number(s.op));
    } else if (!engine::op_name(s.op).empty()) {
      add(std::string(engine::op_name(s.op)));
    } else {
      add("op=" + number(s.op));
    }
  }
  if (s.modifier != 0) add("mod=" + number(s.modifier));
  if (s.access != 0) add("access=" + number(s.access));
  if (s.argument != 0) {
    add("arg=" +
        (hex_argument(s.op) ? hex(static_cast<uint32_t>(s.argument)) : number(s.argument)));
  }
  if (s.stopaft != 0) add("stop=" + number(s.stopaft));
  if (s.times != 0) add("times=" + number(s.times));
  for (size_t i = 0; i < s.operands.size(); ++i) {
    if (s.operands[i] != nullptr)
      add("op" + number(static_cast<int64_t>(i)) + operand(s.operands[i]));
  }
  if (s.reply != nullptr) add("reply" + operand(s.reply));
  if (s.call_args != nullptr) {
    std::string args = "call[";
    for (int i = 0; i < s.argument; ++i) {
      args += (i == 0 ? "" : ",") + std::string("a") +
              operand(static_cast<engine::Operand*>(s.call_args[i]));
    }
    add(args + "]");
  }
  if (s.file != nullptr) {
    add(describe_file != nullptr ? "file=" + describe_file(s.file) : std::string("file"));
  }
  if (s.pad != ' ' && s.pad != 0) add("pad=" + hex(s.pad));
  if (s.step != 1 && s.step != 0) add("step=" + number(s.step));
  if (s.ptr_var >= 0) add("ptr=" + number(s.ptr_var));
  if (s.flags != 0) {
    std::string names;
    for (const FlagName& f : kFlagNames) {
      if ((s.flags & f.bit) != 0) names += (names.empty() ? "" : ",") + std::string(f.name);
    }
    add("flags=" + names);
  }
  if (s.label != nullptr) add("label=" + std::string(s.label->name));
  if (s.branch != nullptr) {
    add("to=" + std::string(s.branch->name) + (s.branch->target != nullptr ? "" : "?"));
  }
  if (s.jump != nullptr) add("jump=" + place(program, s.jump));
  if (s.on_true != nullptr) add("true=" + place(program, s.on_true));
  if (s.on_false != nullptr) add("false=" + place(program, s.on_false));
  if (s.on_false_suspended != nullptr) add("susp=" + place(program, s.on_false_suspended));
  return out;
}

}  // namespace

std::string dump(const engine::Program& program) {
  std::string out;
  for (const engine::Statement* s = program.head; s != nullptr; s = s->next) {
    out += line(program, *s);
    out += '\n';
  }
  return out;
}

}  // namespace recsift::compiler
