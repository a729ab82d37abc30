// The shared driver of the native robustness harnesses in tests/fuzz/.
//
// A harness is one source file that defines LLVMFuzzerTestOneInput and
// checks its properties with FuzzCheck. The test build compiles it with the
// host compiler, the address and undefined-behaviour sanitizers and
// fuzz_driver.cpp, whose main runs a bounded, deterministic session:
//
//   <harness> [--iterations N] [--seed S] [--dict FILE] [--max-len BYTES]
//             [--input-timeout SECONDS] SEED_FOLDER_OR_FILE...
//
// Every seed runs as it is, then N mutations of the seeds (FuzzMutator, with
// the tokens of FILE). When a check, a sanitizer or the per-input time limit
// stops the run, the input at fault is written to <harness>-failure.bin in
// the working folder and the iteration is printed; `<harness> --iterations 0
// <harness>-failure.bin` replays it alone.
//
// The same harness is a libFuzzer target when compiled with -DFUZZ_LIBFUZZER
// (which leaves out this main) and -fsanitize=fuzzer; with clang installed
// the build folder has them all behind one target:
//
//   cmake --build build --target fuzz_libfuzzer
//   build/tests/fuzz/json_value_fuzz-libfuzzer -max_total_time=600
//       -dict=tests/fuzz/json_value.dict /tmp/json_corpus tests/fuzz/seeds/json_value
//
// (one command line; the first folder collects what the fuzzer finds, the
// seeds stay as they are).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fuzz {

// Aborts the run with |what| when |ok| is false.
void FuzzCheck(bool ok, const char* what);

}  // namespace fuzz
