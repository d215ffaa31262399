// Benchmark (not a test) of dream handling: LZW decoding throughput on two
// generated 16 MiB inputs, one like a map body and one like text, and the
// time to extract a generated dream of about 16 MiB. Prints its figures;
// fails only when a decoded result is wrong.
//
//   dream_bench <folder of the generated benchmark files>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "game/formats/DreamArchive.h"
#include "game/formats/LzwDecode.h"

namespace {

typedef std::chrono::steady_clock Clock;

std::vector<unsigned char> ReadAll(const std::string& path) {
  std::vector<unsigned char> data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return data;
}

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

const int kRuns = 7;

// Best of several runs: the figure least disturbed by the rest of the machine.
bool DecodeFigure(const std::string& folder, const char* name, const char* label) {
  std::vector<unsigned char> input = ReadAll(folder + "/" + name + ".lzw");
  std::vector<unsigned char> expected = ReadAll(folder + "/" + name + ".bin");
  if (input.empty() || expected.empty()) {
    std::printf("%s: benchmark input missing in %s\n", label, folder.c_str());
    return false;
  }
  double best = 1e9;
  std::vector<unsigned char> out;
  for (int run = 0; run < kRuns; ++run) {
    out.clear();
    out.shrink_to_fit();
    Clock::time_point start = Clock::now();
    LzwDecode(input.data(), input.size(), out);
    best = std::min(best, Seconds(start));
    if (out != expected) {
      std::printf("%s: WRONG OUTPUT (%zu bytes decoded, %zu expected)\n", label, out.size(), expected.size());
      return false;
    }
  }
  std::printf("  LZW decode, %-9s %6.1f MiB -> %6.1f MiB   %7.0f MB/s of output\n", label,
              input.size() / 1048576.0, out.size() / 1048576.0, out.size() / best / 1e6);
  return true;
}

// A copy into a new buffer, as the decoder writes into a new one.
void CopyFigure() {
  std::vector<unsigned char> from(16 << 20, 1);
  double best = 1e9;
  for (int run = 0; run < kRuns; ++run) {
    Clock::time_point start = Clock::now();
    std::vector<unsigned char> to(from.size());
    std::memcpy(to.data(), from.data(), from.size());
    asm volatile("" : : "r"(to.data()) : "memory");  // keep the copy
    best = std::min(best, Seconds(start));
  }
  std::printf("  memory copy into a new buffer, 16.0 MiB, for scale  %7.0f MB/s\n", from.size() / best / 1e6);
}

bool ExtractFigure(const std::string& folder) {
  namespace fs = std::filesystem;
  const std::string archive = folder + "/bench.dream";
  if (!fs::exists(archive)) {
    std::printf("dream: benchmark input missing in %s\n", folder.c_str());
    return false;
  }
  double best = 1e9;
  uintmax_t total = 0;
  for (int run = 0; run < 3; ++run) {
    // A fresh folder each time: files already there would be skipped.
    fs::remove_all("bench_dream");
    fs::create_directories("bench_dream");
    fs::copy_file(archive, "bench_dream/bench.dream");
    Clock::time_point start = Clock::now();
    bool ok = ExtractDream("bench_dream\\bench.dream");
    best = std::min(best, Seconds(start));
    if (!ok) {
      std::printf("dream: EXTRACTION FAILED (see _error.txt)\n");
      return false;
    }
    total = 0;
    for (const auto& e : fs::recursive_directory_iterator("bench_dream"))
      if (e.is_regular_file() && e.path().filename() != "bench.dream") total += e.file_size();
  }
  fs::remove_all("bench_dream");
  std::printf("  extract dream  %6.1f MiB archive -> %6.1f MiB files   %7.3f s\n",
              fs::file_size(archive) / 1048576.0, total / 1048576.0, best);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: dream_bench <folder of the generated benchmark files>\n");
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = DecodeFigure(folder, "map_like", "map-like");
  ok = DecodeFigure(folder, "text_like", "text-like") && ok;
  CopyFigure();
  ok = ExtractFigure(folder) && ok;
  return ok ? 0 : 1;
}
