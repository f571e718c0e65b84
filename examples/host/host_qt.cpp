// A host with the widgets: a signature pad of its own, and the launcher,
// with the installed Qt library alone.
//   QT_QPA_PLATFORM=offscreen host-qt REQUEST.json
#include <penvora/JsonDecoding.hpp>
#include <penvora/PenvoraSDKLauncher.hpp>
#include <penvora/SignatureView.hpp>

#include <QApplication>
#include <QTimer>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: host-qt REQUEST.json\n";
    return 2;
  }
  penvora::SignatureView pad;
  pad.resize(400, 200);
  std::cout << "pad: " << (pad.signature() ? "drawn" : "empty") << "\n";

  std::ifstream in(argv[1]);
  std::stringstream text;
  text << in.rdbuf();
  auto params = std::make_shared<penvora::PenvoraSDKParams>(penvora::decodeJson<penvora::PenvoraSDKParams>(text.str()));
  // A name that is not a PDF ends the request at once with the error callback.
  params->fileProperties->signedName = "not-a-pdf.txt";
  int status = 1;
  QWidget host;
  penvora::PenvoraSDKLauncher::handleDocument(
      params, &host, [&](const auto&, const auto&, const auto&, const auto&) { app.quit(); },
      [&](const std::string&) { app.quit(); },
      [&](const std::optional<std::string>& message) {
        std::cout << "error callback: " << message.value_or("none") << "\n";
        status = 0;
        app.quit();
      });
  QTimer::singleShot(10000, &app, &QApplication::quit);
  app.exec();
  return status;
}
