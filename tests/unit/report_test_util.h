// Test support for the listing and message tests: a listing attached to its own run areas (as the
// driver attaches them) and writing to a temporary file whose bytes the tests compare.
#ifndef RECSIFT_TESTS_UNIT_REPORT_TEST_UTIL_H_
#define RECSIFT_TESTS_UNIT_REPORT_TEST_UTIL_H_

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "convert/convert.h"
#include "convert/special_area.h"
#include "report/report.h"

namespace recsift::report::testing {

// The start-up time stamp every test listing shows.
inline constexpr const char* kStamp = "2024/03/05 14:07:09.0";
inline constexpr const char* kStampShown = "2024/03/05 14:07";  // its 16 heading columns
inline constexpr const char* kShortBanner = "RECSIFT/WNT 2.08 at    2024/03/05 14:07\n";

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string temp_path(const std::string& leaf) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  static int serial = 0;
  return path + "/recsift_" + std::to_string(::getpid()) + "_" + std::to_string(++serial) + "_" +
         leaf;
}

// A listing with the driver's heading template, rule, date and special areas.
class TestListing {
 public:
  TestListing() {
    heading_1_.fill(' ');
    heading_2_.fill(' ');
    date_.fill(' ');
    special_.fill(0);
    const std::string title = "\n\rRECSIFT/WNT 2.08 at ";
    std::memcpy(heading_1_.data(), title.data(), title.size());
    std::memset(heading_2_.data(), '-', 20);
    std::memcpy(date_.data() + convert::kDateTimestamp, kStamp, std::strlen(kStamp));
    special_[convert::kSpBannerFlags] = convert::kBannerWanted;
    listing_attach(listing, heading_1_.data(), heading_2_.data(), date_.data(), special_.data(),
                   kShortBanner, "2.08.666 2005/09/16 14:33");
    path = temp_path("test.lst");
    listing.name = path;
  }
  ~TestListing() {
    if (listing.file != nullptr && !listing.standard_stream) std::fclose(listing.file);
    std::remove(path.c_str());
  }

  // Closes the listing and returns its bytes.
  std::string bytes() {
    if (listing.file != nullptr) std::fflush(listing.file);
    return read_file(path);
  }
  void text(const char* line) { listing_print(listing, line, PT_TEXT, 0); }
  void space(int32_t n) { listing_print(listing, nullptr, PT_SPACE, n); }
  int32_t special(convert::SpecialOffset offset) const {
    return convert::load_be32(special_.data() + offset);
  }
  uint8_t banner_flags() const { return special_[convert::kSpBannerFlags]; }

  Listing listing;
  std::string path;

 private:
  std::array<char, kHeadingSize> heading_1_{};
  std::array<char, kHeadingSize> heading_2_{};
  std::array<uint8_t, convert::kDateAreaSize> date_{};
  std::array<uint8_t, convert::kSpecialAreaSize> special_{};
};

// A line of `width` blanks with texts placed at 1-based columns, trailing blanks removed.
inline std::string columns(int width, std::initializer_list<std::pair<int, std::string>> parts) {
  std::string line(static_cast<size_t>(width), ' ');
  for (const auto& [column, text] : parts) line.replace(column - 1, text.size(), text);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

// The two heading lines of page `page` at page width `pw` as the listing holds them: the first
// begins with the page-control byte (CR on page 1, FF later).
inline std::string headings(int pw, int page) {
  char number[8];
  std::snprintf(number, sizeof number, "%4d", page);
  std::string first = page == 1 ? "\r" : "\f";
  first += columns(
      pw,
      {{1, "RECSIFT/WNT 2.08 at"}, {pw - 26, kStampShown}, {pw - 7, std::string("PAGE") + number}});
  const std::string rule = columns(
      pw, {{1, std::string(20, '-')}, {pw - 26, std::string(16, '-') + "   " + "--------"}});
  return first + "\r\n" + rule + "\r\n";
}

}  // namespace recsift::report::testing

#endif  // RECSIFT_TESTS_UNIT_REPORT_TEST_UTIL_H_
