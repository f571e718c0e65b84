// A server-side host: decodes a request and checks a signed PDF with the
// installed core library alone (no Qt).
//   host-core REQUEST.json SIGNED.pdf
#include <penvora/ESS.hpp>
#include <penvora/JsonDecoding.hpp>
#include <penvora/SignatureVerifier.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: host-core REQUEST.json SIGNED.pdf\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::stringstream text;
  text << in.rdbuf();
  try {
    const auto params = penvora::decodeJson<penvora::PenvoraSDKParams>(text.str());
    std::cout << "request: " << penvora::widgetTypeJsonString(params.widget->widgetType) << " widget, "
              << params.fileProperties->signedName << "\n";
  } catch (const penvora::DecodingError& e) {
    std::cerr << "bad request at " << e.codingPath() << ": " << e.what() << "\n";
    return 1;
  }
  // The engine a server would sign with (not called here: it needs a capture).
  [[maybe_unused]] auto* sign = &penvora::ESS::signDocuments;

  try {
    const auto report = penvora::verifySignatures(argv[2]);
    for (const auto& s : report.signatures)
      std::cout << "signature " << s.field << ": " << (s.valid ? "valid" : "NOT VALID") << ", profile " << s.profile
                << ", signer " << s.signer << "\n";
    return !report.signatures.empty() && report.signatures.front().valid ? 0 : 1;
  } catch (const penvora::VerificationError& e) {
    std::cerr << "cannot verify: " << e.what() << "\n";
    return 1;
  }
}
