// A small host: takes a request as JSON, shows the signing component over
// its window and prints each callback. With --replay it plays a recorded
// signature and taps through the real widgets, so it runs without a person
// (kiosk self-tests, headless machines with QT_QPA_PLATFORM=offscreen).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>

#include "ReplayPlayer.hpp"
#include "UiProbe.hpp"
#include "core/util/BoundedFile.hpp"
#include "penvora/JsonDecoding.hpp"
#include "penvora/PenvoraSDKLauncher.hpp"
#include "qt/document/PenvoraSDKSignatureViewController.hpp"

namespace {

int usage() {
  std::cerr << "usage: penvora-demo REQUEST.json [--replay INK.json] [--dark] [--probe]\n"
               "  Shows the signing component for the request and prints the callback it ends with.\n"
               "  --replay INK.json  play a recorded signature and taps instead of waiting for a person\n"
               "  --dark             a dark palette, as a device in dark mode\n"
               "  --probe            answer each line on standard input with what is on screen (tests)\n"
               "exit status: 0 signed, 3 rejected, 4 error callback, 5 replay failed, 6 left with back, 2 bad input\n";
  return 2;
}

// Bounded and regular files only: a pipe or device named by mistake is
// refused with the reason instead of being read until memory runs out.
std::optional<std::string> readFile(const char* path, const char* what) {
  try {
    return penvora::core::util::readBoundedFile(path, penvora::core::util::kRequestFileLimit, what);
  } catch (const penvora::core::util::FileReadError& e) {
    std::cerr << "penvora-demo: " << e.what() << "\n";
    return std::nullopt;
  }
}

std::string printable(const std::optional<std::string>& s) { return s ? "\"" + *s + "\"" : "none"; }

QPalette darkPalette() {
  QPalette p;
  p.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
  p.setColor(QPalette::WindowText, Qt::white);
  p.setColor(QPalette::Base, QColor(0x2A, 0x2A, 0x2A));
  p.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
  p.setColor(QPalette::Text, Qt::white);
  p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  p.setColor(QPalette::ButtonText, Qt::white);
  p.setColor(QPalette::PlaceholderText, QColor(0x9E, 0x9E, 0x9E));
  p.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
  p.setColor(QPalette::HighlightedText, Qt::white);
  return p;
}

}  // namespace

namespace {

int run(int argc, char** argv) {
  QApplication app(argc, argv);
  const char* requestPath = nullptr;
  const char* inkPath = nullptr;
  bool probe = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--replay" && i + 1 < argc)
      inkPath = argv[++i];
    else if (arg == "--probe")
      probe = true;
    else if (arg == "--dark") {
      QApplication::setStyle(QStringLiteral("Fusion"));
      QApplication::setPalette(darkPalette());
    } else if (!requestPath && arg.rfind('-', 0) != 0)
      requestPath = argv[i];
    else
      return usage();
  }
  if (!requestPath) return usage();

  const auto requestText = readFile(requestPath, "The request");
  if (!requestText) return 2;
  std::shared_ptr<penvora::PenvoraSDKParams> params;
  try {
    params = std::make_shared<penvora::PenvoraSDKParams>(penvora::decodeJson<penvora::PenvoraSDKParams>(*requestText));
  } catch (const penvora::DecodingError& e) {
    std::cerr << "penvora-demo: " << requestPath << ": " << e.what() << "\n";
    return 2;
  }
  std::optional<penvora::demo::ReplayPlayer> player;
  if (inkPath) {
    const auto inkText = readFile(inkPath, "The recording");
    if (!inkText) return 2;
    const nlohmann::json ink = nlohmann::json::parse(*inkText, nullptr, false);
    if (ink.is_discarded()) {
      std::cerr << "penvora-demo: " << inkPath << ": not readable JSON\n";
      return 2;
    }
    if (const auto problem = penvora::demo::ReplayPlayer::validate(ink); !problem.empty()) {
      std::cerr << "penvora-demo: " << inkPath << ": " << problem << "\n";
      return 2;
    }
    player.emplace(ink);
  }

  QMainWindow host;
  host.setWindowTitle(QStringLiteral("Penvora demo host"));
  host.setCentralWidget(new QLabel(QStringLiteral("Host application"), &host));
  // A tablet-sized host, no larger than the screen it is on.
  QSize size(900, 1100);
  if (const QScreen* s = QGuiApplication::primaryScreen(); s && QGuiApplication::platformName() != "offscreen")
    size = size.boundedTo(s->availableGeometry().size());
  host.resize(size);
  host.show();

  int status = 6;  // back: no callback
  auto done = [&](int code) {
    status = code;
    std::cout.flush();
    QTimer::singleShot(0, &app, [&] { app.quit(); });
  };
  penvora::PenvoraSDKLauncher::handleDocument(
      params, &host,
      [&](const std::vector<std::string>& files, const std::optional<std::string>& image,
          const std::optional<std::string>& header, const std::optional<std::string>& record) {
        std::cout << "successCallback:";
        for (const auto& f : files) std::cout << " " << f;
        if (image) std::cout << " image=" << *image;
        if (header) std::cout << " header=" << header->size() << " chars";
        if (record) std::cout << " record=" << record->size() << " chars";
        std::cout << "\n";
        done(0);
      },
      [&](const std::string& reason) {
        std::cout << "rejectCallback: \"" << reason << "\"\n";
        done(3);
      },
      [&](const std::optional<std::string>& message) {
        std::cout << "errorCallback: " << printable(message) << "\n";
        done(4);
      });

  // Without a callback, the screen closing (back) ends the demo too.
  auto* screen = [&]() -> penvora::qt::document::PenvoraSDKSignatureViewController* {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* c = w->findChild<penvora::qt::document::PenvoraSDKSignatureViewController*>()) return c;
    return nullptr;
  }();
  if (screen)
    QObject::connect(screen, &QObject::destroyed, &app, [&] {
      QTimer::singleShot(200, &app, [&] {
        if (status == 6) app.quit();
      });
    });
  if (player && screen) {
    QTimer::singleShot(0, &app, [&, screen] {
      if (!player->play(screen)) {
        std::cout << "replay failed: " << player->error() << "\n";
        done(5);
      }
    });
  }
  if (probe && screen) new penvora::demo::UiProbe(screen, &app);
  if (!screen && status == 6) return 4;  // reported at once (bad output name)
  app.exec();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "penvora-demo: " << e.what() << "\n";
    return 2;
  }
}
