// Generates the benchmark's data: a text file of LF-ended lines of 40-120 printable bytes, 1% of
// them holding "XYZZY" somewhere and about 5% holding "ABC" in columns 10-12; and a file of
// 80-byte fixed records as a mainframe would hold them: EBCDIC letters, digits and blanks, with a
// 5-byte packed decimal field (9 digits and a sign, C or D) at positions 21-25. Deterministic
// (fixed seed), so runs compare like with like.
//
// Usage: gen_data TEXT_FILE TEXT_MB FIXED_FILE FIXED_MB
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: gen_data TEXT_FILE TEXT_MB FIXED_FILE FIXED_MB\n");
    return 2;
  }
  const long long text_bytes = std::atoll(argv[2]) * 1024 * 1024;
  const long long fixed_bytes = std::atoll(argv[4]) * 1024 * 1024;
  std::mt19937_64 rng(20261207);
  std::uniform_int_distribution<int> length(40, 120);
  std::uniform_int_distribution<int> printable(0x20, 0x7e);
  std::uniform_int_distribution<int> percent(0, 99);

  std::FILE* text = std::fopen(argv[1], "wb");
  if (text == nullptr) return 1;
  std::string line;
  long long written = 0;
  while (written < text_bytes) {
    const int n = length(rng);
    line.assign(static_cast<size_t>(n), ' ');
    for (char& c : line) c = static_cast<char>(printable(rng));
    // Keep the markers where they are meant to be: no accidental ones elsewhere.
    for (size_t at; (at = line.find("XYZZY")) != std::string::npos;) line[at] = 'x';
    if (line.compare(9, 3, "ABC") == 0) line[9] = 'a';
    // A trailing blank would be stripped by the default TRUNC of text output: avoid it.
    if (line.back() == ' ') line.back() = '.';
    if (percent(rng) < 5) line.replace(9, 3, "ABC");
    if (percent(rng) == 0) {
      std::uniform_int_distribution<int> where(0, n - 5);
      line.replace(static_cast<size_t>(where(rng)), 5, "XYZZY");
    }
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), text);
    written += static_cast<long long>(line.size());
  }
  std::fclose(text);

  std::FILE* fixed = std::fopen(argv[3], "wb");
  if (fixed == nullptr) return 1;
  // EBCDIC: blank, A-I, J-R, S-Z, 0-9.
  std::vector<unsigned char> alphabet = {0x40};
  for (int c = 0xC1; c <= 0xC9; ++c) alphabet.push_back(static_cast<unsigned char>(c));
  for (int c = 0xD1; c <= 0xD9; ++c) alphabet.push_back(static_cast<unsigned char>(c));
  for (int c = 0xE2; c <= 0xE9; ++c) alphabet.push_back(static_cast<unsigned char>(c));
  for (int c = 0xF0; c <= 0xF9; ++c) alphabet.push_back(static_cast<unsigned char>(c));
  std::vector<unsigned char> record(80);
  for (long long done = 0; done < fixed_bytes; done += 80) {
    for (unsigned char& c : record) c = alphabet[rng() % alphabet.size()];
    unsigned long long digits = rng() % 1000000000ULL;
    record[24] = static_cast<unsigned char>((digits % 10) << 4 | (rng() % 4 == 0 ? 0xD : 0xC));
    digits /= 10;
    for (int i = 23; i >= 20; --i, digits /= 100) {
      record[i] = static_cast<unsigned char>((digits / 10 % 10) << 4 | digits % 10);
    }
    std::fwrite(record.data(), 1, record.size(), fixed);
  }
  std::fclose(fixed);
  return 0;
}
