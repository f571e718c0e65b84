// Merges PDFs in order into one file, as the signing screen does with
// several documents, and prints the pages each source occupies.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "core/document/DocumentMerge.hpp"
#include "core/util/FileReplace.hpp"

int main(int argc, char** argv) {
  std::string password;
  bool overwrite = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  while (!args.empty() && args[0].rfind("--", 0) == 0) {
    if (args[0] == "--password" && args.size() >= 2) {
      password = args[1];
      args.erase(args.begin(), args.begin() + 2);
    } else if (args[0] == "--overwrite") {
      overwrite = true;
      args.erase(args.begin());
    } else {
      args.clear();  // an unknown option: the usage
    }
  }
  if (args.size() < 2) {
    std::cerr << "usage: penvora-merge [--password P] [--overwrite] OUT.pdf IN.pdf...\n";
    return 2;
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
      std::cerr << "penvora-merge: a source needs a password (--password)\n";
      return 1;
    case penvora::core::document::MergeResult::Status::failed:
      std::cerr << "penvora-merge: a source cannot be opened, or nothing to merge, or the output cannot be written\n";
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
