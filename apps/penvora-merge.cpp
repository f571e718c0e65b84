// Merges PDFs in order into one file, as the signing screen does with
// several documents, and prints the pages each source occupies.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "ToolOptions.hpp"

#include "core/document/DocumentMerge.hpp"
#include "core/util/FileReplace.hpp"

int main(int argc, char** argv) {
  // Output's buffer taken now: allocated after the merge, it would first
  // make malloc tidy the whole heap the sources' models left behind.
  static char outputBuffer[BUFSIZ];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  namespace tools = penvora::tools;
  const char* const usage =
      "usage: penvora-merge [--password P | --password-env VAR] [--overwrite] OUT.pdf IN.pdf...\n";
  std::string password;
  bool overwrite = false;
  std::vector<std::string> args;
  try {
    args = tools::parseOptions(argc, argv,
                               {{"--password", true, [&](const std::string& v) { password = v; }, true},
                                {"--overwrite", false, [&](const std::string&) { overwrite = true; }}});
    if (args.size() < 2) throw tools::UsageError("OUT.pdf and at least one IN.pdf are needed");
    for (const auto& a : args) tools::fileName("a file argument", a);
  } catch (const tools::UsageError& e) {
    return tools::usageFailure("penvora-merge", e.what(), usage);
  }
  const std::filesystem::path out = args[0];
  const std::vector<std::string> sources(args.begin() + 1, args.end());
  // Refused before any work: an existing output stays unless --overwrite,
  // and only a regular file is ever replaced.
  try {
    penvora::core::util::checkReplaceable(out.string(), overwrite);
  } catch (const penvora::core::util::FileReplaceError& e) {
    std::cerr << "penvora-merge: " << e.what() << "\n";
    return 1;
  }
  const std::filesystem::path folder = out.has_parent_path() ? out.parent_path() : ".";
  const auto merged = penvora::core::document::mergeDocuments(sources, password, folder.string());
  switch (merged.status) {
    case penvora::core::document::MergeResult::Status::needsPassword:
      std::cerr << "penvora-merge: " << merged.message << " (--password)\n";
      return 1;
    case penvora::core::document::MergeResult::Status::failed:
      std::cerr << "penvora-merge: " << merged.message << "\n";
      return 1;
    case penvora::core::document::MergeResult::Status::merged:
      break;
  }
  // The merge names its file by a fresh UUID in the same folder: a rename
  // within one file system, so OUT.pdf is either absent or complete.
  try {
    penvora::core::util::moveIntoPlace(merged.path, out.string(), overwrite);
  } catch (const penvora::core::util::FileReplaceError& e) {
    std::error_code ignored;
    std::filesystem::remove(merged.path, ignored);
    std::cerr << "penvora-merge: " << e.what() << "\n";
    return 1;
  }
  for (const auto& info : merged.pageInfos)
    std::cout << info.firstPage << "-" << info.lastPage << "\t" << info.title << "\n";
  return 0;
}
