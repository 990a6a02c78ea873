// The I/O fault sweep: each job is run once without faults, then once for every file call it
// makes with that call failing, for each kind of fault (tests/sweep/fault_runner.cc plants it
// through the host layer). For every run:
//   - the program ends by itself (no signal, no sanitizer report);
//   - an interruption, a short read or a short write changes nothing at all: outputs, listing,
//     standard output and return code are those of the run without faults;
//   - an I/O error or a full device either changes nothing, or is reported (a message and a
//     return code of a failed run), and then every output still holds its old content or a
//     prefix of what the faultless run writes that ends on a record boundary, an output the
//     summary shows is marked incomplete, and a run that failed before its first record left
//     every output as it was.
// Outputs hold old content before every run, so that a file emptied by mistake shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kOldContent = "OLD CONTENT\n";

// Where the record boundaries of an output lie.
enum class Layout {
  kFixed80,    // 80-byte records
  kLines,      // lines ending in a line feed
  kBlocks,     // blocks of variable records, each behind its 4-byte block descriptor
  kUpdated80,  // an input rewritten in place: each 80-byte record is old or new
};

struct Output {
  std::string name;
  Layout layout;
};

struct Job {
  std::string name;
  std::string control;
  std::map<std::string, std::string> inputs;  // written before every run
  std::vector<Output> outputs;
};

void PrintTo(const Job& job, std::ostream* os) {
  *os << job.name;
}

struct Outcome {
  int rc = -1;
  std::string out, err, listing;
  std::map<std::string, std::string> files;  // output name -> content ("" when missing)
  bool exists(const std::string& name) const { return files.count(name) != 0; }
  long long calls = 0, injected = 0;
};

std::string read_file(const fs::path& path, bool* found = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (found != nullptr) *found = static_cast<bool>(in);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// ---- Data ------------------------------------------------------------------------------------

std::string fixed_records(int count) {
  std::string data;
  char rec[81];
  for (int i = 0; i < count; ++i) {
    std::snprintf(
        rec, sizeof rec, "%c%07d %-70s|", i % 3 == 0 ? 'R' : 'S', i,
        std::string(static_cast<size_t>(i % 61), static_cast<char>('a' + i % 26)).c_str());
    data.append(rec, 80);
  }
  return data;
}

std::string text_lines(int count) {
  std::string data;
  for (int i = 0; i < count; ++i) {
    data += i % 2 == 0 ? 'A' : 'B';
    data += std::to_string(i * 7919 % 10007);
    data.append(static_cast<size_t>(i % 97), static_cast<char>('a' + i % 26));
    data += '\n';
  }
  return data;
}

std::string order_keys(int count, int records) {
  std::string data;
  char line[32];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "%07d order %d\n", (i * 37) % (records + records / 10), i);
    data += line;
  }
  return data;
}

std::vector<Job> jobs() {
  const std::string fixed = fixed_records(9000);
  const std::string lines = text_lines(6000);
  std::vector<Job> all;
  all.push_back({"copy",
                 "READ fixed.dat RECFM=F LRECL=80\nWRITE copy.dat RECFM=F LRECL=80\n",
                 {{"fixed.dat", fixed}},
                 {{"copy.dat", Layout::kFixed80}}});
  all.push_back(
      {"select_two",
       "READ lines.txt\nIF POS 1 = 'A'\nTHEN WRITE a.txt EOL=LF\nELSE WRITE b.txt EOL=LF\n",
       {{"lines.txt", lines}},
       {{"a.txt", Layout::kLines}, {"b.txt", Layout::kLines}}});
  all.push_back({"update",
                 "READ upd.dat RECFM=F LRECL=80\nIF POS 1 = 'R'\nTHEN MOVE 'U' TO POS 1\n"
                 "THEN UPDATE upd.dat\n",
                 {{"upd.dat", fixed_records(60)}},
                 {{"upd.dat", Layout::kUpdated80}}});
  all.push_back({"variable_output",
                 "READ lines.txt\nWRITE v.dat RECFM=VB LRECL=200 BLKSIZE=4000\n",
                 {{"lines.txt", lines}},
                 {{"v.dat", Layout::kBlocks}}});
  all.push_back({"listing",
                 "READ fixed.dat RECFM=F LRECL=80\nWRITE copy.dat RECFM=F LRECL=80\n"
                 "PRINT TYPE C\n",
                 {{"fixed.dat", fixed_records(14000)}},
                 {{"copy.dat", Layout::kFixed80}}});
  all.push_back({"keyed",
                 "READ orders.txt\nREAD fixed.dat RECFM=F LRECL=80 KEYPOS=2 KEYLEN=7 KEY=POS 1,7\n"
                 "WRITE priced.txt EOL=LF\n",
                 {{"orders.txt", order_keys(40, 9000)}, {"fixed.dat", fixed}},
                 {{"priced.txt", Layout::kLines}}});
  all.push_back({"csv",
                 "READ fixed.dat RECFM=F LRECL=80\n"
                 "CSV rows.csv EOL=LF HEADER TRIM 'id' POS 2 LEN 7 TYPE Z 'text' POS 10 LEN 70\n",
                 {{"fixed.dat", fixed_records(3000)}},
                 {{"rows.csv", Layout::kLines}}});
  return all;
}

// ---- Runs ------------------------------------------------------------------------------------

class Sweep {
 public:
  explicit Sweep(const Job& job) : job_(job) {
    const char* runner = std::getenv("FAULT_RUNNER");
    runner_ = runner != nullptr ? runner : "";
    dir_ = fs::temp_directory_path() /
           ("recsift_sweep_" + job.name + "_" +
            std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    write_file(dir_ / "job.ctl", job.control);
  }
  ~Sweep() { fs::remove_all(dir_); }

  bool ready() const { return !runner_.empty(); }

  Outcome run(const std::string& plan) {
    for (const Output& o : job_.outputs) write_file(dir_ / o.name, kOldContent);
    for (const auto& [name, bytes] : job_.inputs) write_file(dir_ / name, bytes);
    fs::remove(dir_ / "job.lst");
    fs::remove(dir_ / "calls");
    const std::string command = "cd '" + dir_.string() + "' && RECSIFT_FAULT='" + plan +
                                "' RECSIFT_FAULT_CALLS=calls SOURCE_DATE_EPOCH=0 '" + runner_ +
                                "' -ctl job.ctl -lst job.lst >stdout 2>stderr";
    Outcome o;
    if (recsift::host::run_command(command, &o.rc) != 0) o.rc = -1;
    o.out = read_file(dir_ / "stdout");
    o.err = read_file(dir_ / "stderr");
    o.listing = read_file(dir_ / "job.lst");
    for (const Output& out : job_.outputs) {
      bool found = false;
      std::string bytes = read_file(dir_ / out.name, &found);
      if (found) o.files[out.name] = std::move(bytes);
    }
    std::istringstream(read_file(dir_ / "calls")) >> o.calls >> o.injected;
    return o;
  }

  const Job& job() const { return job_; }

 private:
  const Job& job_;
  std::string runner_;
  fs::path dir_;
};

// The offsets at which a prefix of `full` ends on a record boundary.
std::set<size_t> boundaries(const std::string& full, Layout layout) {
  std::set<size_t> at{0};
  switch (layout) {
    case Layout::kFixed80:
    case Layout::kUpdated80:
      for (size_t i = 80; i <= full.size(); i += 80) at.insert(i);
      break;
    case Layout::kLines:
      for (size_t i = 0; i < full.size(); ++i) {
        if (full[i] == '\n') at.insert(i + 1);
      }
      break;
    case Layout::kBlocks:
      break;  // compared record by record (a block cut short is written with its own length)
  }
  return at;
}

size_t be16(const std::string& s, size_t at) {
  return static_cast<size_t>(static_cast<unsigned char>(s[at])) << 8 |
         static_cast<unsigned char>(s[at + 1]);
}

// The records of a file of blocks, each block and record behind its descriptor; false when the
// descriptors do not tile the file.
bool block_records(const std::string& file, std::vector<std::string>* records) {
  for (size_t i = 0; i < file.size();) {
    if (i + 4 > file.size()) return false;
    const size_t block_end = i + be16(file, i);
    if (block_end <= i + 4 || block_end > file.size()) return false;
    for (i += 4; i < block_end;) {
      if (i + 4 > block_end) return false;
      const size_t length = be16(file, i);
      if (length < 4 || i + length > block_end) return false;
      records->push_back(file.substr(i + 4, length - 4));
      i += length;
    }
  }
  return true;
}

// Whether `got` is what a failed run may leave of an output whose faultless content is `full`
// and whose content before the run was `before`.
bool acceptable_remains(const std::string& got, const std::string& full, const std::string& before,
                        Layout layout) {
  if (got == before) return true;
  if (layout == Layout::kUpdated80) {
    // Records rewritten in place, in order: the first k as the faultless run leaves them, the rest
    // as they were.
    if (got.size() != full.size()) return false;
    for (size_t k : boundaries(full, layout)) {
      if (got.compare(0, k, full, 0, k) == 0 && got.compare(k, std::string::npos, before, k) == 0) {
        return true;
      }
    }
    return false;
  }
  if (layout == Layout::kBlocks) {
    std::vector<std::string> some, all;
    if (!block_records(got, &some) || !block_records(full, &all) || some.size() > all.size()) {
      return false;
    }
    return std::equal(some.begin(), some.end(), all.begin());
  }
  return got.size() <= full.size() && full.compare(0, got.size(), got) == 0 &&
         boundaries(full, layout).count(got.size()) != 0;
}

bool sanitizer_spoke(const Outcome& o) {
  return o.err.find("Sanitizer") != std::string::npos ||
         o.err.find("runtime error") != std::string::npos;
}

struct Kind {
  const char* name;
  bool transparent;  // must change nothing
  bool repeat;       // the fault persists once met (a full device stays full)
};
constexpr Kind kKinds[] = {{"eio", false, false},
                           {"enospc", false, true},
                           {"eintr", true, false},
                           {"short-read", true, false},
                           {"short-write", true, false}};

// Every return code a run that met a fault may end with: 44 a failed file verb, 48 a failure
// while the run was being prepared, 77 a listing that could not be written, 1 a listing that
// could not be opened.
const std::set<int> kFailureCodes = {1, 44, 48, 77};

void sweep(const Job& job) {
  Sweep s(job);
  if (!s.ready()) {
    ADD_FAILURE() << "FAULT_RUNNER names no program";
    return;
  }
  long long injected = 0;
  for (const Kind& kind : kKinds) {
    const Outcome clean = s.run(std::string(kind.name) + " 0");
    EXPECT_EQ(clean.rc, 0) << job.name << ": the run without faults fails\n" << clean.out;
    EXPECT_GT(clean.calls, 0) << job.name << " " << kind.name;
    for (long long n = 1; n <= clean.calls; ++n) {
      const std::string plan =
          std::string(kind.name) + " " + std::to_string(n) + (kind.repeat ? " repeat" : "");
      const Outcome o = s.run(plan);
      const std::string where = job.name + " with " + plan + " (rc " + std::to_string(o.rc) +
                                ")\nstdout:\n" + o.out + "stderr:\n" + o.err;
      injected += o.injected;
      ASSERT_GE(o.injected, 1) << where;
      ASSERT_TRUE(o.rc >= 0 && o.rc < 128 && !sanitizer_spoke(o)) << where;
      const bool unchanged = o.rc == clean.rc && o.out == clean.out && o.err == clean.err &&
                             o.listing == clean.listing && o.files == clean.files;
      if (kind.transparent || unchanged) {
        EXPECT_TRUE(unchanged) << where;
        continue;
      }
      // A fault that changed the run is reported: a message and a failure's return code.
      EXPECT_TRUE(kFailureCodes.count(o.rc) != 0) << where;
      EXPECT_TRUE(o.out.find("qelfio: ") != std::string::npos ||
                  o.err.find(" failed.") != std::string::npos)
          << where;
      for (const Output& out : job.outputs) {
        const auto input = job.inputs.find(out.name);
        const std::string before = input != job.inputs.end() ? input->second : kOldContent;
        const std::string got = o.exists(out.name) ? o.files.at(out.name) : "";
        EXPECT_TRUE(acceptable_remains(got, clean.files.at(out.name), before, out.layout))
            << where << "\n"
            << out.name << " holds " << got.size() << " bytes (of "
            << clean.files.at(out.name).size() << ")";
        if (o.rc == 48) {
          EXPECT_EQ(got, before) << where << "\n" << out.name << " was changed";
        }
        // A summary that shows an output the run replaced and failed to complete says so.
        if (o.rc == 44 && got != before && got != clean.files.at(out.name) &&
            out.layout != Layout::kUpdated80 && o.listing.find("SUMMARY") != std::string::npos) {
          EXPECT_NE(o.listing.find("OUTPUT*INCOMPLETE"), std::string::npos) << where;
        }
      }
    }
  }
  std::printf("[ sweep    ] %s: %lld faults injected\n", job.name.c_str(), injected);
}

class FaultSweep : public ::testing::TestWithParam<Job> {};

TEST_P(FaultSweep, EveryFileCallFailsInTurn) {
  sweep(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Jobs, FaultSweep, ::testing::ValuesIn(jobs()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
