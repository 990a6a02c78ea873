// Generates the keyed-read benchmark's data: a file of 80-byte fixed records in ascending order of
// an 8-digit key at position 1 (the even numbers from 0), and a text file of 8-digit keys to look
// up, in random order, one in ten of them absent (odd). Deterministic (fixed seed).
//
// Usage: gen_keyed RECORDS_FILE RECORD_COUNT KEYS_FILE KEY_COUNT
#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: gen_keyed RECORDS_FILE RECORD_COUNT KEYS_FILE KEY_COUNT\n");
    return 2;
  }
  const long records = std::atol(argv[2]);
  const long keys = std::atol(argv[4]);
  std::mt19937_64 rng(20261208);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  char rec[81];
  for (long i = 0; i < records; ++i) {
    // Data after the key end in a letter, so that no output strips a trailing blank.
    std::snprintf(rec, sizeof rec, "%08ld record %09ld %-52s", 2 * i, i, "payload.........");
    for (int k = 28; k < 80; ++k) rec[k] = static_cast<char>('a' + (i + k) % 26);
    std::fwrite(rec, 1, 80, out);
  }
  std::fclose(out);
  out = std::fopen(argv[3], "wb");
  if (out == nullptr) return 1;
  std::uniform_int_distribution<long> pick(0, records - 1);
  for (long i = 0; i < keys; ++i) std::fprintf(out, "%08ld\n", 2 * pick(rng) + (i % 10 == 9));
  std::fclose(out);
  return 0;
}
