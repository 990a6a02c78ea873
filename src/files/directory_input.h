// Directory input for record I/O: a file of type kFileDirectory is not read as data. Its name is a
// folder and a name pattern; each READ delivers one fixed-layout record describing the next
// matching file (DIR), or the next record of the matching files read one after another as one
// input (DIRDATA). record_io.cc hands OPEN, READ and CLOSE of such a file to the operations here;
// the pieces below them are exported for the unit tests.
#ifndef RECSIFT_FILES_DIRECTORY_INPUT_H_
#define RECSIFT_FILES_DIRECTORY_INPUT_H_

#include <cstdint>
#include <string_view>

#include "files/files.h"

namespace recsift::files {

// Error texts of directory input (the file's last_error points at one of these).
inline constexpr const char* kErrPathLength = "Pathlen > 256.";
inline constexpr const char* kErrSortType = "Sort Type inval.";

// Longest folder path a listing descends into (the path ends in "/").
inline constexpr int32_t kMaxListingPath = 256;

// Attribute bits (FFREC::attributes) and the letters the directory record shows for them.
enum ListingAttribute : uint8_t {
  kAttrArchive = 0x01,   // "a": an ordinary file
  kAttrReadOnly = 0x02,  // "r": the owner may not write it
  kAttrHidden = 0x04,    // "h": the name begins with "."
  kAttrSystem = 0x08,    // "s": never set on this host
};

// Layout of the directory record: columns counted from 0.
inline constexpr int32_t kColTime = 0;         // 19 characters of local time
inline constexpr int32_t kColAttributes = 24;  // "a", "r", "h", "s" or blanks
inline constexpr int32_t kColName = 29;        // 8 characters of name, "*" at 36 when longer
inline constexpr int32_t kColPoint = 37;       // "."
inline constexpr int32_t kColExtension = 38;   // 3 characters of extension, "*" at 40 when longer
inline constexpr int32_t kColSize = 42;        // 15 characters: the size edited by kSizeMask
inline constexpr int32_t kColPath = 59;        // the folder (ending in "/") and the full name
inline constexpr char kSizeMask[] = "000,000,000,009";
inline constexpr char kTimeUnavailable[] = "--- Unavailable ---";

// Whether `name` matches `pattern`: "*" any run of characters, "?" any one character other than
// ".", letters compared without regard to case. A pattern ending in ".*" also matches a name
// without a point that matches the part before it ("*.*" matches every name).
bool listing_name_matches(std::string_view pattern, std::string_view name);

// Splits a listed name into its name part and its extension: the text after the last point that
// is not the first character, or "" when there is none.
void split_listed_name(std::string_view full, std::string_view* name, std::string_view* ext);

// The last-write time as the record shows it (19 characters and a zero byte): local time, or
// kTimeUnavailable when the moment has no local time.
void listing_time_text(int64_t mtime, char text[20]);

// Builds the directory record of one file into `out`, which has room for kColPath +
// folder.size() + name.size() bytes; returns that length.
int32_t format_listing_record(uint8_t* out, const char time_text[20], uint8_t attributes,
                              std::string_view folder, std::string_view name, int64_t size);

// OPEN, READ and CLOSE of a directory file (file_type kFileDirectory), as record_io.cc's open_file,
// read_record and close_file. The listing is scanned as READs ask for entries; an error that ends
// it (kErrPathLength, kErrSortType, a member's read error under DIRDATA) is a kError of the READ.
IoResult open_listing(FileRequest& request, FFREC& file);
IoResult read_listing(FileRequest& request, FFREC& file, uint8_t* area, int32_t area_length);
IoResult close_listing(FileRequest& request, FFREC& file);

}  // namespace recsift::files

#endif  // RECSIFT_FILES_DIRECTORY_INPUT_H_
