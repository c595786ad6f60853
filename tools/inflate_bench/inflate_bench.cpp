// Inflate throughput of InflateText over a folder of zlib streams.
//   inflate_bench CORPUS_DIR STREAM_DIR REPS
// STREAM_DIR holds NAME.z for every file NAME of CORPUS_DIR. Each stream is
// inflated once and compared with its file, then all streams are inflated
// REPS times; the figures are plain megabytes (10^6 bytes) per second, per
// kind of file (by extension) and in total.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>

#include "payload/ZLibOpen.h"

namespace {

bool ReadFile(const std::string& path, std::string& out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out.clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return true;
}

std::string KindOf(const std::string& name) {
  std::string ext = name.substr(name.find_last_of('.') + 1);
  for (char& c : ext) c = (char)std::tolower((unsigned char)c);
  if (ext == "txt" || ext == "log") return "text";
  if (ext == "bin") return "random";
  if (ext == "img") return "sparse";
  return "other";
}

struct TItem {
  std::string Kind, Stream;
  size_t Plain;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: inflate_bench CORPUS_DIR STREAM_DIR REPS\n");
    return 2;
  }
  std::string corpus = argv[1], streams = argv[2];
  int reps = std::atoi(argv[3]);
  std::vector<TItem> items;
  DIR* d = opendir(corpus.c_str());
  if (!d) {
    std::fprintf(stderr, "cannot read %s\n", corpus.c_str());
    return 1;
  }
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    TItem it;
    std::string plain;
    if (!ReadFile(corpus + "/" + name, plain) ||
        !ReadFile(streams + "/" + name + ".z", it.Stream)) {
      std::fprintf(stderr, "missing %s or its stream\n", name.c_str());
      return 1;
    }
    if (InflateText(it.Stream) != plain) {
      std::fprintf(stderr, "inflated bytes differ: %s\n", name.c_str());
      return 1;
    }
    it.Kind = KindOf(name);
    it.Plain = plain.size();
    items.push_back(it);
  }
  closedir(d);

  std::map<std::string, std::pair<double, double>> perKind;  // bytes, seconds
  double totalBytes = 0, totalSeconds = 0;
  for (const TItem& it : items) {
    auto t0 = std::chrono::steady_clock::now();
    size_t got = 0;
    for (int r = 0; r < reps; ++r) got += InflateText(it.Stream).size();
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (got != it.Plain * reps) return 1;
    perKind[it.Kind].first += (double)got;
    perKind[it.Kind].second += s;
    totalBytes += (double)got;
    totalSeconds += s;
  }
  for (const auto& k : perKind)
    if (k.second.first > 0)
      std::printf("InflateText      %-7s %9.1f MB %8.3f s %9.1f MB/s\n", k.first.c_str(),
                  k.second.first / 1e6, k.second.second, k.second.first / 1e6 / k.second.second);
  std::printf("InflateText      %-7s %9.1f MB %8.3f s %9.1f MB/s\n", "total", totalBytes / 1e6,
              totalSeconds, totalBytes / 1e6 / totalSeconds);
  return 0;
}
