#include "penvora/Log.hpp"

#include <cstdio>
#include <mutex>

namespace penvora {
namespace {
std::mutex& sinkMutex() {
  static std::mutex m;
  return m;
}
LogSink& sink() {
  static LogSink s;
  return s;
}
}  // namespace

void setLogSink(LogSink s) {
  std::lock_guard lock(sinkMutex());
  sink() = std::move(s);
}

void log(std::string_view line) {
  std::lock_guard lock(sinkMutex());
  if (sink()) {
    sink()(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace penvora
