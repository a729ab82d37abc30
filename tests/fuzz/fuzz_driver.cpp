#include "tests/fuzz/fuzz_driver.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void FuzzCheck(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "robustness check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzz

#ifndef FUZZ_LIBFUZZER

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sanitizer/common_interface_defs.h>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_mutator.h"

namespace {

struct Seed {
  std::string name;
  std::vector<uint8_t> bytes;
};

// What runs now, for the failure handlers (which may only use what is safe
// in a signal handler).
const uint8_t* g_input = nullptr;
size_t g_input_size = 0;
long g_iteration = -1;
const char* g_seed_name = "";
char g_failure_path[4096];
volatile sig_atomic_t g_reported = 0;

void WriteAll(int fd, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = write(fd, p, size);
    if (written <= 0) return;
    p += written;
    size -= static_cast<size_t>(written);
  }
}

void Say(const char* text) { WriteAll(2, text, std::strlen(text)); }

void SayNumber(long value) {
  char digits[24];
  int n = 0;
  unsigned long v = value < 0 ? 0ul - static_cast<unsigned long>(value) : value;
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && n < 22);
  if (value < 0) digits[n++] = '-';
  char text[24];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  WriteAll(2, text, static_cast<size_t>(n));
}

void ReportFailingInput() {
  if (g_reported || g_input == nullptr) return;
  g_reported = 1;
  const int fd = open(g_failure_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    WriteAll(fd, g_input, g_input_size);
    close(fd);
  }
  Say("failing input: ");
  if (g_iteration < 0) {
    Say("the seed ");
    Say(g_seed_name);
  } else {
    Say("mutation ");
    SayNumber(g_iteration);
    Say(" (last seed used: ");
    Say(g_seed_name);
    Say(")");
  }
  Say(", ");
  SayNumber(static_cast<long>(g_input_size));
  Say(" bytes, written to ");
  Say(g_failure_path);
  Say("\n");
}

void OnAbort(int) {
  ReportFailingInput();
  signal(SIGABRT, SIG_DFL);
  raise(SIGABRT);
}

void OnAlarm(int) {
  Say("an input ran past the time limit\n");
  ReportFailingInput();
  signal(SIGABRT, SIG_DFL);
  abort();
}

void OnSanitizerDeath() { ReportFailingInput(); }

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The dictionary format libFuzzer reads: one token a line, in double quotes,
// optionally after "name="; \\, \" and \xAB escapes; "#" starts a comment.
bool LoadDictionary(const std::string& path, fuzz::FuzzMutator* mutator) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const size_t open = line.find('"');
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#' || open == std::string::npos) continue;
    std::string token;
    for (size_t i = open + 1; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] != '\\' || i + 1 >= line.size()) {
        token += line[i];
      } else if (line[i + 1] == 'x' && i + 3 < line.size()) {
        token += static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16));
        i += 3;
      } else {
        token += line[++i];
      }
    }
    mutator->AddToken(token);
  }
  return true;
}

void RunInput(const std::vector<uint8_t>& bytes, unsigned timeout_seconds) {
  // An exactly sized copy, so that reading past the input is caught.
  std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
  std::copy(bytes.begin(), bytes.end(), copy.get());
  g_input = copy.get();
  g_input_size = bytes.size();
  if (timeout_seconds > 0) alarm(timeout_seconds);
  LLVMFuzzerTestOneInput(copy.get(), bytes.size());
  if (timeout_seconds > 0) alarm(0);
  g_input = nullptr;
}

int Usage() {
  std::fprintf(stderr,
               "usage: harness [--iterations N] [--seed S] [--dict FILE] [--max-len BYTES]\n"
               "               [--input-timeout SECONDS] SEED_FOLDER_OR_FILE...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 10000;
  uint64_t seed = 0x5EED2024;
  size_t max_size = 1 << 20;
  unsigned timeout_seconds = 20;
  std::string dictionary;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--iterations" && has_value) {
      iterations = std::atol(argv[++i]);
    } else if (arg == "--seed" && has_value) {
      seed = std::strtoull(argv[++i], nullptr, 0);
    } else if (arg == "--dict" && has_value) {
      dictionary = argv[++i];
    } else if (arg == "--max-len" && has_value) {
      max_size = static_cast<size_t>(std::atol(argv[++i]));
    } else if (arg == "--input-timeout" && has_value) {
      timeout_seconds = static_cast<unsigned>(std::atol(argv[++i]));
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage();
    } else {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty()) return Usage();

  std::vector<Seed> seeds;
  for (const std::string& input : inputs) {
    std::vector<std::string> paths;
    if (std::filesystem::is_directory(input)) {
      for (const auto& item : std::filesystem::directory_iterator(input)) {
        if (item.is_regular_file()) paths.push_back(item.path().string());
      }
      std::sort(paths.begin(), paths.end());
    } else if (std::filesystem::is_regular_file(input)) {
      paths.push_back(input);
    } else {
      std::fprintf(stderr, "no such seed file or folder: %s\n", input.c_str());
      return 2;
    }
    for (const std::string& path : paths) seeds.push_back({path, ReadFile(path)});
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "no seeds\n");
    return 2;
  }

  fuzz::FuzzMutator mutator(seed, max_size);
  if (!dictionary.empty() && !LoadDictionary(dictionary, &mutator)) {
    std::fprintf(stderr, "cannot read the dictionary %s\n", dictionary.c_str());
    return 2;
  }

  const std::string name = std::filesystem::path(argv[0]).filename().string();
  std::snprintf(g_failure_path, sizeof g_failure_path, "%s-failure.bin", name.c_str());
  signal(SIGABRT, OnAbort);
  signal(SIGALRM, OnAlarm);
  __sanitizer_set_death_callback(OnSanitizerDeath);

  const auto start = std::chrono::steady_clock::now();
  for (const Seed& s : seeds) {
    g_seed_name = s.name.c_str();
    RunInput(s.bytes, timeout_seconds);
  }
  // Most mutations start from a seed; some continue from the last mutation
  // so that damage accumulates.
  std::vector<uint8_t> last;
  for (long i = 0; i < iterations; ++i) {
    const Seed& base = seeds[static_cast<size_t>(i) % seeds.size()];
    const Seed& other = seeds[mutator.Below(static_cast<uint32_t>(seeds.size()))];
    const bool chain = !last.empty() && mutator.Below(4) == 0;
    std::vector<uint8_t> bytes = mutator.Mutate(chain ? last : base.bytes, other.bytes);
    g_iteration = i;
    if (!chain) g_seed_name = base.name.c_str();
    RunInput(bytes, timeout_seconds);
    last = std::move(bytes);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%s: %zu seeds and %ld mutations in %.1f s: all checks held\n", name.c_str(),
              seeds.size(), iterations, seconds);
  return 0;
}

#endif  // FUZZ_LIBFUZZER
