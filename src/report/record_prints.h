// Private to the listing: the record print formats (types 11 to 22) that listing_print and the
// page check call. Everything reaches the listing through listing_write_line, or
// listing_put_line for lines that go to the listing alone.
#ifndef RECSIFT_REPORT_RECORD_PRINTS_H_
#define RECSIFT_REPORT_RECORD_PRINTS_H_

#include "report/report.h"

namespace recsift::report {

// Types above this one are the character family: a block of them ends with a ruler line.
inline constexpr int kCharFamilyAbove = 15;

// Prints listing.print_length bytes at `data` (null prints none) in the format of `type`
// (11 to 22), with the line prefix and length column the caller set in the listing.
void print_record(Listing& listing, const uint8_t* data, int type);

// The column headings of the current type (3 lines, nothing below type 10), written to the
// listing alone. Called by the page check when the previous print was not of the character
// family; afterwards the previous type is the current one, so the heading is written once.
void write_column_headings(Listing& listing);

// Writes one line to the listing alone, as listing_write_line does for a print to the listing:
// `length` bytes of `line` less one trailing line feed and every trailing blank, then CR LF, with
// one line counted off the page. The listing must be writable. `line` must hold length + 2 bytes;
// it is left as it was.
void listing_put_line(Listing& listing, char* line, int32_t length);

// Closes an open block of character-family prints: the ruler line on the listing (when it is
// open), then the previous type counts as a text line. Nothing when no block is open.
void close_print_block(Listing& listing);

}  // namespace recsift::report

#endif  // RECSIFT_REPORT_RECORD_PRINTS_H_
