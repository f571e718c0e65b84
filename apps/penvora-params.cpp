// Decodes a request in its JSON form and prints the parameter tree (with
// secrets masked), or the decoding error naming the offending key.
#include <fstream>
#include <iostream>
#include <sstream>

#include "penvora/ErrorTexts.hpp"
#include "penvora/JsonDecoding.hpp"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: penvora-params REQUEST.json\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "penvora-params: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  try {
    auto params = penvora::decodeJson<penvora::PenvoraSDKParams>(ss.str());
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
