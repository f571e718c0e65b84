// Benchmarks against peers: signs a 1-page, a 500-page and a 50 MB PDF
// (peers: sha512sum of the same file as the floor, pdfsig -add-signature,
// mutool sign) and merges 20 documents of 50 pages (peers: qpdf --empty
// --pages, pdfunite). Every contender runs in a child process, measured
// the same way, the contenders of one task taking turns. Prints one tab-separated row per contender:
// task, input MB, contender, median ms, peak KB, ratio (ours over theirs);
// bench/table.py lays them out.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BenchDocuments.hpp"
#include "core/engine/ESS.hpp"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 5;

struct Measure {
  double medianMs = -1;
  long peakKb = 0;
};

// Runs `cmd` once in a child (through the shell, as every contender is);
// wall time and RSS, or nothing when it fails.
std::optional<std::pair<double, long>> runOnce(const std::string& cmd) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(std::system((cmd + " >/dev/null 2>&1").c_str()) == 0 ? 0 : 1);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return std::make_pair(ms, usage.ru_maxrss);
}

// Every command `kRuns` times, taking turns (one run of each per round), so
// that a shared machine's slow spell falls on all of them alike; median
// wall time and largest RSS of each.
std::vector<Measure> measureTogether(const std::vector<std::string>& cmds) {
  std::vector<std::vector<double>> times(cmds.size());
  std::vector<Measure> out(cmds.size());
  std::vector<bool> failed(cmds.size(), false);
  for (int round = 0; round < kRuns; ++round)
    for (std::size_t i = 0; i < cmds.size(); ++i) {
      if (failed[i]) continue;
      const auto run = runOnce(cmds[i]);
      if (!run) {
        failed[i] = true;
        continue;
      }
      times[i].push_back(run->first);
      out[i].peakKb = std::max(out[i].peakKb, run->second);
    }
  for (std::size_t i = 0; i < cmds.size(); ++i) {
    if (failed[i]) {
      out[i] = Measure{};
      continue;
    }
    std::sort(times[i].begin(), times[i].end());
    out[i].medianMs = times[i][times[i].size() / 2];
  }
  return out;
}

// Makes an input in a child process, so the memory that took stays out of
// this process, whose size every later child starts from.
void makeInChild(const std::function<void()>& make) {
  const pid_t pid = fork();
  if (pid == 0) {
    make();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

// The signature field's object number, as `mutool sign` wants it, read by
// mutool itself so that no document is parsed in this process.
std::string fieldObject(const fs::path& pdf) {
  std::string out;
  if (FILE* p = popen(("mutool show '" + pdf.string() + "' trailer/Root/AcroForm/Fields 2>/dev/null").c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  const auto digit = out.find_first_of("0123456789");
  return digit == std::string::npos ? "0" : out.substr(digit, out.find_first_not_of("0123456789", digit) - digit);
}

double fileMb(const fs::path& p) { return static_cast<double>(fs::file_size(p)) / 1e6; }

void printRow(const std::string& task, double mb, const char* who, const Measure& m, const Measure& ours) {
  if (m.medianMs < 0) {
    std::printf("%s\t%.1f\t%s\tfailed\t\t\n", task.c_str(), mb, who);
    return;
  }
  std::printf("%s\t%.1f\t%s\t%.1f\t%ld\t%.2f\n", task.c_str(), mb, who, m.medianMs, m.peakKb,
              ours.medianMs / m.medianMs);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // Ours runs as the penvora-sign tool, a process like the peers.
  const fs::path apps =
      argc > 1 ? fs::path(argv[1]) : fs::canonical("/proc/self/exe").parent_path().parent_path() / "apps";
  const std::string signTool = (apps / "penvora-sign").string();
  const std::string mergeTool = (apps / "penvora-merge").string();
  const fs::path dir = fs::temp_directory_path() / ("penvora-bench-sign-" + std::to_string(getpid()));
  fs::create_directories(dir);

  // Peers' identities: the same default identity as a file and in an NSS
  // database for pdfsig.
  const fs::path p12 = penvora::core::engine::ESS::writeTempP12(*penvora::core::engine::ESS::defaultIdentity());
  const std::string pw = penvora::core::engine::ESS::certificatePassword(std::nullopt);
  const fs::path nss = dir / "nss";
  fs::create_directories(nss);
  const bool havePdfsig =
      std::system(("certutil -N -d sql:" + nss.string() + " --empty-password >/dev/null 2>&1 && pk12util -i '" +
                   p12.string() + "' -d sql:" + nss.string() + " -W '" + pw + "' >/dev/null 2>&1")
                      .c_str()) == 0;
  const bool haveMutool = std::system("command -v mutool >/dev/null") == 0;
  const std::string nick = "Penvora Default Test Signer";

  // Pages grow the page tree, megabytes only the bytes to hash: the time
  // past sha512sum's should stay flat along both. Each input is written
  // when its turn comes (and only the one asked for, when one is).
  struct Input {
    std::string name;
    fs::path path;
    std::function<void(const fs::path&)> make;
  };
  std::vector<Input> inputs;
  for (int pages : {1, 500, 5'000, 50'000})
    inputs.push_back({std::to_string(pages) + (pages == 1 ? " page" : " pages"),
                      dir / ("pages-" + std::to_string(pages) + ".pdf"),
                      [pages](const fs::path& p) { bench::writeTextPages(p, pages, "Penvora benchmark page", true); }});
  for (int mb : {1, 50, 500})
    inputs.push_back(
        {std::to_string(mb) + " MB", dir / ("picture-" + std::to_string(mb) + ".pdf"),
         [mb](const fs::path& p) { bench::writePicturePage(p, static_cast<std::size_t>(mb) * 1'000'000); }});

  for (const auto& in : inputs) {
    if (argc > 2 && in.name != argv[2]) continue;  // one input only, when asked
    const fs::path& src = in.path;
    // Written in a child, so the memory that took stays out of this
    // process, whose size every later child starts from.
    makeInChild([&] { in.make(src); });
    // Ours first; each contender's output, when it has one, must then
    // hold a valid signature to count.
    struct Contender {
      const char* who;
      std::string cmd;
      fs::path out;
    };
    std::vector<Contender> contenders{
        {"penvora",
         "'" + signTool + "' '" + src.string() + "' '" + (dir / "ours.pdf").string() + "' --field 0 --overwrite",
         dir / "ours.pdf"},
        {"sha512sum", "sha512sum '" + src.string() + "'", {}}};
    if (havePdfsig)
      contenders.push_back({"pdfsig -add-signature",
                            "pdfsig -add-signature -nssdir sql:" + nss.string() + " -nick '" + nick + "' '" +
                                src.string() + "' '" + (dir / "pdfsig.pdf").string() + "'",
                            dir / "pdfsig.pdf"});
    if (haveMutool)
      contenders.push_back({"mutool sign",
                            "mutool sign -s '" + p12.string() + "' -P '" + pw + "' -o '" +
                                (dir / "mutool.pdf").string() + "' '" + src.string() + "' " + fieldObject(src),
                            dir / "mutool.pdf"});
    std::vector<std::string> cmds;
    for (const auto& c : contenders) cmds.push_back(c.cmd);
    std::vector<Measure> measured = measureTogether(cmds);
    for (std::size_t i = 0; i < contenders.size(); ++i) {
      const fs::path& out = contenders[i].out;
      if (out.empty()) continue;
      const bool valid =
          std::system(("pdfsig '" + out.string() + "' 2>/dev/null | grep -q 'Signature is Valid'").c_str()) == 0;
      if (!valid) measured[i] = Measure{};
      fs::remove(out);
    }
    const std::string task = "sign " + in.name;
    for (std::size_t i = 0; i < contenders.size(); ++i)
      printRow(task, fileMb(src), contenders[i].who, measured[i], measured[0]);
    fs::remove(src);
  }
  // Merging: 20 documents of 50 pages each, in order, into one file.
  std::vector<fs::path> parts;
  double partsMb = 0;
  for (int i = 0; i < 20; ++i) {
    parts.push_back(dir / ("part-" + std::to_string(i + 1) + ".pdf"));
    makeInChild([&] { bench::writeTextPages(parts.back(), 50, "Document " + std::to_string(i + 1), false); });
    partsMb += fileMb(parts.back());
  }
  std::string list;
  for (const auto& p : parts) list += " '" + p.string() + "'";
  const std::string merged = (dir / "merged.pdf").string();
  const std::string mergeTask = "merge 20 x 50 pages";
  std::vector<std::pair<const char*, std::string>> mergers{
      {"penvora", "'" + mergeTool + "' --overwrite '" + merged + "'" + list},
      {"qpdf --empty --pages", "qpdf --empty --pages" + list + " -- '" + merged + "'"}};
  if (std::system("command -v pdfunite >/dev/null") == 0)
    mergers.push_back({"pdfunite", "pdfunite" + list + " '" + merged + "'"});
  std::vector<std::string> mergeCmds;
  for (const auto& m : mergers) mergeCmds.push_back(m.second);
  const std::vector<Measure> mergeTimes = measureTogether(mergeCmds);
  for (std::size_t i = 0; i < mergers.size(); ++i)
    printRow(mergeTask, partsMb, mergers[i].first, mergeTimes[i], mergeTimes[0]);
  fs::remove(p12);
  fs::remove_all(dir);
  return 0;
}
