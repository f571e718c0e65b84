// Benchmarks against peers: signs a 1-page, a 500-page and a 50 MB PDF
// (peers: sha512sum of the same file as the floor, pdfsig -add-signature,
// mutool sign) and merges 20 documents of 50 pages (peers: qpdf --empty
// --pages, pdfunite). Every contender runs in a child process, measured
// the same way. Prints one tab-separated row per contender:
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

// Runs `work` in a child `kRuns` times; median wall time, largest RSS.
Measure measure(const std::function<int()>& work) {
  std::vector<double> times;
  long peak = 0;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) _exit(work());
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    times.push_back(ms);
    peak = std::max(peak, usage.ru_maxrss);
  }
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], peak};
}

Measure command(const std::string& cmd) {
  return measure([cmd] { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0 ? 0 : 1; });
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
    const Measure ours = command("'" + signTool + "' '" + src.string() + "' '" + (dir / "ours.pdf").string() +
                                 "' --field 0 --overwrite");
    const Measure hash = command("sha512sum '" + src.string() + "'");
    const std::string task = "sign " + in.name;
    auto row = [&](const char* who, const Measure& m) { printRow(task, fileMb(src), who, m, ours); };
    // A contender counts only when its output holds a valid signature.
    auto signedRow = [&](const char* who, const Measure& m, const fs::path& out) {
      const bool valid =
          std::system(("pdfsig '" + out.string() + "' 2>/dev/null | grep -q 'Signature is Valid'").c_str()) == 0;
      row(who, valid ? m : Measure{});
      fs::remove(out);
    };
    signedRow("penvora", ours, dir / "ours.pdf");
    row("sha512sum", hash);
    if (havePdfsig)
      signedRow("pdfsig -add-signature",
                command("pdfsig -add-signature -nssdir sql:" + nss.string() + " -nick '" + nick + "' '" + src.string() +
                        "' '" + (dir / "pdfsig.pdf").string() + "'"),
                dir / "pdfsig.pdf");
    if (haveMutool)
      signedRow("mutool sign",
                command("mutool sign -s '" + p12.string() + "' -P '" + pw + "' -o '" + (dir / "mutool.pdf").string() +
                        "' '" + src.string() + "' " + fieldObject(src)),
                dir / "mutool.pdf");
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
  const Measure oursMerge = command("'" + mergeTool + "' --overwrite '" + merged + "'" + list);
  const std::string mergeTask = "merge 20 x 50 pages";
  printRow(mergeTask, partsMb, "penvora", oursMerge, oursMerge);
  printRow(mergeTask, partsMb, "qpdf --empty --pages", command("qpdf --empty --pages" + list + " -- '" + merged + "'"),
           oursMerge);
  if (std::system("command -v pdfunite >/dev/null") == 0)
    printRow(mergeTask, partsMb, "pdfunite", command("pdfunite" + list + " '" + merged + "'"), oursMerge);
  fs::remove(p12);
  fs::remove_all(dir);
  return 0;
}
