// PRINT, PLOG, LOG, SPACE and LINE: the statement's data and settings handed to the listing.
// PRINT writes to the listing, LOG to the log stream, PLOG to both; a LOG with REPLY waits for
// a console reply into its reply field.
//
// Exports (run_internal.h): execute_print.
#include "engine/engine.h"
#include "engine/run_internal.h"
#include "files/files.h"
#include "program/operand.h"
#include "program/program.h"
#include "report/report.h"

namespace recsift::engine::detail {

int execute_print(Run& run, Statement& st) {
  report::Listing& listing = *run.listing;
  if (st.op == Op::kSpace || st.op == Op::kLine) {
    listing.destination = report::DEST_LISTING;
    report::listing_print(listing, nullptr, st.modifier, st.argument);
    return kVerbNext;
  }
  const uint8_t* data = run.record_base;
  int32_t length = run.record_length;
  Operand* op = st.operands[0];
  if (op != nullptr) {
    data = resolve_operand(run, op);
    if (data == nullptr) return kVerbNext;  // counted and raised by resolution
    length = op->length;
    // "The rest of the record" that starts in the record ends with it: the addressable bytes
    // beyond (the 528 of the empty record after end of file, a work area) are not the record.
    const uint8_t* record_end = run.record_base + run.record_length;
    if (op->len_kind == LengthKind::kRest && op->len.value == 0 && data >= run.record_base &&
        data < record_end && length > record_end - data) {
      length = static_cast<int32_t>(record_end - data);
    }
  }
  if (st.reply != nullptr) {
    uint8_t* reply = resolve_operand(run, st.reply);
    if (reply == nullptr) return kVerbNext;
    listing.reply_area = reinterpret_cast<char*>(reply);
    listing.reply_length = st.reply->length;
  }
  listing.destination = st.op == Op::kPrint ? report::DEST_LISTING
                        : st.op == Op::kLog ? report::DEST_LOG
                                            : report::DEST_LISTING | report::DEST_LOG;
  listing.print_length = length;
  listing.record_length = run.record_length;
  listing.input_number = run.current_input != nullptr ? run.current_input->record_count : 0;
  listing.selection_total = st.exec_count;
  listing.selection_id = st.selid;
  listing.statement_dump = true;
  listing.statement_enclosure = static_cast<uint16_t>(st.argument);
  listing.statement_dump_all = (st.flags & kSfDumpAll) != 0;
  listing.log_cut_80 = op != nullptr && op->len_kind == LengthKind::kRest && op->len.value == 0;
  report::listing_print(listing, data, st.modifier, 0);
  listing.reply_area = nullptr;
  listing.reply_length = 0;
  listing.log_cut_80 = false;
  listing.statement_dump = false;
  listing.destination = report::DEST_LISTING;
  return kVerbNext;
}

}  // namespace recsift::engine::detail
