// Compares questioned handwritten signatures with a person's reference
// signatures, from their biometric records, and draws an examiner's report.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ToolOptions.hpp"
#include "core/engine/BiometricKey.hpp"
#include "core/forensics/RecordLoader.hpp"
#include "core/forensics/SignatureComparator.hpp"
#include "core/forensics/TraceCopy.hpp"
#include "core/util/BoundedFile.hpp"
#include "core/util/FileReplace.hpp"

#ifdef PENVORA_FORENSICS_REPORT
#include <QGuiApplication>

#include "ForensicReport.hpp"
#endif

namespace {

using namespace penvora::core::forensics;
namespace tools = penvora::tools;

const char* const kUsage =
    "usage: penvora-forensics score --reference FILE... --questioned FILE... [--bio-key KEY.pem] [--json]\n"
    "       penvora-forensics report --reference FILE... --questioned FILE [--bio-key KEY.pem] [--overwrite]\n"
    "                                OUT.pdf|OUT.png\n"
    "FILE: a biometric record text, its base64, or a signed PDF (its record opened with --bio-key).\n"
    "An existing OUT is kept unless --overwrite is given; OUT is never one of the inputs.\n";

struct Arguments {
  std::string command, keyPath, out;
  std::vector<std::string> references, questioned;
  bool json = false, overwrite = false;
};

// "--reference" and "--questioned" take every following name up to the
// next option, so the lists read as the usage shows them.
Arguments parse(int argc, char** argv) {
  Arguments a;
  std::vector<std::string> loose;
  std::vector<std::string>* list = &loose;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--reference") {
      list = &a.references;
    } else if (arg == "--questioned") {
      list = &a.questioned;
    } else if (arg == "--json") {
      a.json = true;
    } else if (arg == "--overwrite") {
      a.overwrite = true;
    } else if (arg == "--bio-key") {
      if (i + 1 >= argc) throw tools::UsageError("--bio-key needs a value");
      a.keyPath = tools::fileName("--bio-key", argv[++i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw tools::UsageError("unknown option " + arg);
    } else {
      list->push_back(tools::fileName(list == &loose          ? "argument"
                                      : list == &a.references ? "--reference"
                                                              : "--questioned",
                                      arg));
    }
  }
  if (loose.empty()) throw tools::UsageError("a command is needed: score or report");
  a.command = loose.front();
  loose.erase(loose.begin());
  if (a.command != "report" && a.command != "score") throw tools::UsageError("unknown command " + a.command);
  // The references first: the list the usage names first.
  if (a.references.size() < 2) throw tools::UsageError("--reference needs at least two files");
  if (a.command == "report") {
    // OUT may follow the questioned file or stand before the lists.
    if (loose.empty() && a.questioned.size() >= 2) loose.push_back(a.questioned.back()), a.questioned.pop_back();
    if (loose.size() != 1) throw tools::UsageError("report needs one OUT.pdf or OUT.png");
    if (a.questioned.size() != 1) throw tools::UsageError("report compares exactly one --questioned file");
    if (a.json) throw tools::UsageError("--json is for score");
    a.out = loose.front();
  } else {
    if (a.overwrite) throw tools::UsageError("--overwrite is for report");
    if (!loose.empty()) throw tools::UsageError("unexpected argument " + loose.front());
    if (a.questioned.empty()) throw tools::UsageError("--questioned needs at least one file");
  }
  return a;
}

// Whether the file is a PDF with a signature: evidence, not a report.
bool looksSigned(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  // A header anywhere in the first kilobyte, as readers take it.
  std::string carry(1024, '\0'), chunk(1 << 20, '\0');
  in.read(carry.data(), static_cast<std::streamsize>(carry.size()));
  carry.resize(static_cast<std::size_t>(in.gcount()));
  if (carry.find("%PDF-") == std::string::npos) return false;
  const std::string_view marker = "/ByteRange";
  if (carry.find(marker) != std::string::npos) return true;
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const std::string window = carry + chunk.substr(0, static_cast<std::size_t>(in.gcount()));
    if (window.find(marker) != std::string::npos) return true;
    carry = window.substr(window.size() > marker.size() ? window.size() - marker.size() : 0);
  }
  return false;
}

// Why the report may not go to OUT, or nothing. Checked before anything
// is read: a slip on the command line (a second questioned file taken as
// OUT) must not cost an input or an evidence file.
std::string outputProblem(const Arguments& a) {
  std::vector<std::string> inputs = a.references;
  inputs.insert(inputs.end(), a.questioned.begin(), a.questioned.end());
  inputs.push_back(a.keyPath);
  return tools::outputProblem(a.out, inputs, a.overwrite, "report", [](const std::string& path) {
    return looksSigned(path) ? path + " is a signed document: a report never replaces one, --overwrite or not"
                             : std::string();
  });
}

// The first of `refs` whose pen trace `s` repeats (the same record, in
// whatever file or form, or its trace moved, scaled or shifted in time),
// or refs.size().
std::size_t sameTraceAs(const std::vector<PenSignature>& refs, const PenSignature& s) {
  std::size_t i = 0;
  while (i < refs.size() && !TraceCopy::isCopy(refs[i], s)) ++i;
  return i;
}

int run(int argc, char** argv) {
  Arguments a;
  try {
    a = parse(argc, argv);
  } catch (const tools::UsageError& e) {
    return tools::usageFailure("penvora-forensics", e.what(), kUsage);
  }
  if (a.command == "report")
    if (const auto problem = outputProblem(a); !problem.empty()) {
      std::fprintf(stderr, "penvora-forensics: %s\n", problem.c_str());
      return 2;
    }
  std::string key;
  std::vector<PenSignature> refs, questioned;
  try {
    if (!a.keyPath.empty()) {
      key = penvora::core::util::readBoundedFile(a.keyPath, penvora::core::util::kKeyFileLimit, "The key");
      if (const auto problem = penvora::core::engine::BiometricKey::problem(key); !problem.empty())
        throw ForensicsError(a.keyPath + ": " + problem);
    }
    for (const auto& f : a.references) {
      auto r = RecordLoader::loadFile(f, key);
      // A reference counted twice shrinks the references' spread and
      // distorts every score.
      if (const auto twin = sameTraceAs(refs, r); twin < refs.size())
        throw ForensicsError(f + ": the same signature as reference " + a.references[twin] +
                             " (each reference must be a different signature)");
      refs.push_back(std::move(r));
    }
    for (const auto& f : a.questioned) questioned.push_back(RecordLoader::loadFile(f, key));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "penvora-forensics: %s\n", e.what());
    return 2;
  }

  if (a.command == "report") {
#ifdef PENVORA_FORENSICS_REPORT
    // Drawing needs fonts, not a screen.
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    try {
      tools::writeForensicReport({a.references, a.questioned.front(), refs, questioned.front()}, a.out, a.overwrite);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "penvora-forensics: %s\n", e.what());
      return 2;
    }
    return 0;
#else
    std::fprintf(stderr, "penvora-forensics: this build has no report drawing (built without Qt)\n");
    return 2;
#endif
  }

  // One reference model per feature set: pressure is compared only when
  // the questioned record carries it too. Every comparison is made before
  // anything is printed, so a failure leaves no partial answer.
  std::vector<Comparison> comparisons;
  try {
    const bool refsPressure = SignatureComparator::pressureUsable(refs, refs.front());
    const ReferenceModel plain(refs, false, SignatureComparator::settings(false));
    std::optional<ReferenceModel> withPressure;
    if (refsPressure) withPressure.emplace(refs, true, SignatureComparator::settings(true));
    for (std::size_t i = 0; i < questioned.size(); ++i) {
      const auto& q = questioned[i];
      try {
        comparisons.push_back((refsPressure && q.hasPressure ? *withPressure : plain).compare(q));
      } catch (const ForensicsError& e) {
        throw ForensicsError(a.questioned[i] + ": " + e.what());
      }
    }
  } catch (const ForensicsError& e) {
    std::fprintf(stderr, "penvora-forensics: %s\n", e.what());
    return 2;
  }
  nlohmann::ordered_json results = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < questioned.size(); ++i) {
    const Comparison& c = comparisons[i];
    const bool genuine = SignatureComparator::genuine(c.distance);
    // No two handwritten signatures share every point, even moved or
    // scaled: one that does is a copy of that reference, whatever its
    // distance says.
    const std::size_t twin = sameTraceAs(refs, questioned[i]);
    if (a.json) {
      results.push_back(
          {{"file", a.questioned[i]}, {"distance", c.distance}, {"decision", genuine ? "genuine" : "forgery"}});
      if (twin < refs.size()) results.back()["identicalTo"] = a.references[twin];
    } else {
      const std::string copy =
          twin < refs.size() ? "; the trace of reference " + a.references[twin] + ": a copy, not a new signature" : "";
      std::printf("%s: distance %.4f %s threshold %.4f: %s%s%s\n", a.questioned[i].c_str(), c.distance,
                  genuine ? "<=" : ">", SignatureComparator::kThreshold, genuine ? "genuine" : "forgery",
                  c.usedPressure ? " (pressure compared)" : "", copy.c_str());
    }
  }
  // A file name need not be UTF-8; the answer must still be valid JSON.
  if (a.json)
    std::cout << nlohmann::ordered_json{{"threshold", SignatureComparator::kThreshold}, {"results", results}}.dump(
                     -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "penvora-forensics: %s\n", e.what());
    return 2;
  }
}
