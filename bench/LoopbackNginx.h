#pragma once

// nginx on a free loopback port, serving a folder: the reference web server the
// benchmarks compare the host against.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "platform/linux/ChildProcess.h"

namespace tavrelle::bench {

class Nginx {
 public:
  explicit Nginx(const std::string& root) {
    port_ = freePort();
    std::string conf = root + "/nginx.conf";
    std::ofstream(conf) << "daemon off; master_process off; worker_processes 1; pid " << root
                        << "/nginx.pid; error_log " << root
                        << "/nginx-error.log;\nevents {}\nhttp {\n"
                        << " access_log off; sendfile on; tcp_nopush on; client_body_temp_path "
                        << root << "; proxy_temp_path " << root << "; fastcgi_temp_path " << root
                        << "; uwsgi_temp_path " << root << "; scgi_temp_path " << root
                        << ";\n server { listen 127.0.0.1:" << port_ << "; root " << root
                        << "; location / { add_header Access-Control-Allow-Origin * always;"
                        << " add_header Cache-Control no-store always; } }\n}\n";
    std::string binary = "/usr/sbin/nginx";
    pid_ = tavrelle::linux_platform::StartProgram({binary, "-c", conf, "-e", "/dev/null"}, true);
    waitUntilListening();
  }
  ~Nginx() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      tavrelle::linux_platform::WaitForProgram(pid_);
    }
  }
  bool running() const { return pid_ > 0; }
  int port() const { return port_; }

 private:
  void waitUntilListening() const {
    for (int attempt = 0; attempt < 500 && pid_ > 0; ++attempt) {
      int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(port_));
      bool up = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
      close(s);
      if (up) return;
      usleep(10'000);
    }
  }
  static int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
  }
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tavrelle::bench
