// Whole-file helpers for tests that write a data file and read back what the program wrote.
#ifndef RECSIFT_TESTS_UNIT_FILE_BYTES_H_
#define RECSIFT_TESTS_UNIT_FILE_BYTES_H_

#include <cstdio>
#include <string>

namespace recsift::testing {

// Replaces the file's contents; false when it cannot be written.
inline bool put_file_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

// The file's contents, or "<missing>" when it cannot be opened.
inline std::string file_bytes(const std::string& path) {
  std::string text;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return "<missing>";
  for (int c; (c = std::fgetc(in)) != EOF;) text += static_cast<char>(c);
  std::fclose(in);
  return text;
}

}  // namespace recsift::testing

#endif  // RECSIFT_TESTS_UNIT_FILE_BYTES_H_
