// A Qt Quick style host: a QGuiApplication and a bare QWindow. The screens
// are widgets, which need a QApplication; without one the launcher says so
// through the error callback instead of aborting the host.
//   QT_QPA_PLATFORM=offscreen host-window REQUEST.json
#include <penvora/ErrorTexts.hpp>
#include <penvora/JsonDecoding.hpp>
#include <penvora/PenvoraSDKLauncher.hpp>

#include <QGuiApplication>
#include <QWindow>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::cerr << "usage: host-window REQUEST.json\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::stringstream text;
  text << in.rdbuf();
  auto params = std::make_shared<penvora::PenvoraSDKParams>(penvora::decodeJson<penvora::PenvoraSDKParams>(text.str()));
  QWindow host;
  host.resize(800, 600);
  int status = 1;
  penvora::PenvoraSDKLauncher::handleDocument(
      params, &host, [](const auto&, const auto&, const auto&, const auto&) {}, [](const std::string&) {},
      [&](const std::optional<std::string>& message) {
        std::cout << "error callback: " << message.value_or("none") << "\n";
        if (message == std::string(penvora::errortext::NeedsQApplication)) status = 0;
      });
  return status;  // reported at once: nothing was shown
}
