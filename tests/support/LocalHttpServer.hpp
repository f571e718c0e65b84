#pragma once
// A small HTTP/1.0 server on 127.0.0.1 for tests: one thread, one request
// at a time, the handler gives status, content type and body.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

struct HttpReply {
  int status = 200;
  std::string contentType = "application/octet-stream";
  std::string body;
  int delaySeconds = 0;  // stall before answering
};

// Binds `fd` to a free port on 127.0.0.1; the port.
inline int bindLoopback(int fd) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

class LocalHttpServer {
 public:
  using Handler = std::function<HttpReply(const std::string& body)>;  // body of the request

  explicit LocalHttpServer(Handler handler) : handler_(std::move(handler)) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    port_ = bindLoopback(fd_);
    listen(fd_, 8);
    thread_ = std::thread([this] { serve(); });
  }
  ~LocalHttpServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

  std::string url(const std::string& path = "/") const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string lastHeaders() const { return lastHeaders_; }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      int c = accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      handle(c);
      close(c);
    }
  }

  void handle(int c) {
    std::string in;
    char buf[8192];
    std::size_t headerEnd = std::string::npos, contentLength = 0;
    while (true) {
      pollfd p{c, POLLIN, 0};
      if (poll(&p, 1, 2000) <= 0) return;
      const ssize_t n = read(c, buf, sizeof buf);
      if (n <= 0) return;
      in.append(buf, static_cast<std::size_t>(n));
      if (headerEnd == std::string::npos && (headerEnd = in.find("\r\n\r\n")) != std::string::npos) {
        std::string lower = in.substr(0, headerEnd);
        for (auto& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        auto at = lower.find("content-length:");
        if (at != std::string::npos) contentLength = std::stoul(lower.substr(at + 15));
      }
      if (headerEnd != std::string::npos && in.size() >= headerEnd + 4 + contentLength) break;
    }
    lastHeaders_ = in.substr(0, headerEnd);
    const HttpReply reply = handler_(in.substr(headerEnd + 4, contentLength));
    for (int i = 0; i < reply.delaySeconds * 10 && !stop_; ++i) usleep(100000);
    std::string out = "HTTP/1.0 " + std::to_string(reply.status) + " X\r\nContent-Type: " + reply.contentType +
                      "\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                      reply.body;
    for (std::size_t sent = 0; sent < out.size();) {
      const ssize_t n = write(c, out.data() + sent, out.size() - sent);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

  Handler handler_;
  int fd_ = -1, port_ = 0;
  std::atomic<bool> stop_{false};
  std::string lastHeaders_;
  std::thread thread_;
};

}  // namespace testsupport
