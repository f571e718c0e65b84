// Decodes a request in its JSON form and prints the parameter tree (with
// secrets masked), or the decoding error naming the offending key.
#include <iostream>
#include <string>

#include "ToolOptions.hpp"
#include "core/util/BoundedFile.hpp"

#include "penvora/ErrorTexts.hpp"
#include "penvora/JsonDecoding.hpp"

int main(int argc, char** argv) {
  namespace tools = penvora::tools;
  std::string path;
  try {
    const auto args = tools::parseOptions(argc, argv, {});
    if (args.size() != 1)
      throw tools::UsageError(args.empty() ? "REQUEST.json is needed" : "unexpected argument " + args[1]);
    path = tools::fileName("REQUEST.json", args[0]);
  } catch (const tools::UsageError& e) {
    return tools::usageFailure("penvora-params", e.what(), "usage: penvora-params REQUEST.json\n");
  }
  std::string request;
  try {
    request = penvora::core::util::readBoundedFile(path, penvora::core::util::kRequestFileLimit, "The request");
  } catch (const penvora::core::util::FileReadError& e) {
    std::cerr << "penvora-params: " << e.what() << "\n";
    return 1;
  }
  try {
    auto params = penvora::decodeJson<penvora::PenvoraSDKParams>(request);
    std::cout << penvora::redactedJson(params) << "\n";
    if (!penvora::hasPdfExtension(params.fileProperties->signedName))
      std::cout << "note: signedName does not end with .pdf; the request would fail with "
                << penvora::errorkey::IncorrectPDFExtension << "\n";
  } catch (const penvora::DecodingError& e) {
    std::cerr << "penvora-params: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
