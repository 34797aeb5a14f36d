// dulmar-testdb-server: the test database behind a TDS listener, so that real
// SQL Server clients (FreeTDS, tedious) can be tested against it. One thread
// per client; SIGTERM or SIGINT ends it after every connection has closed its
// database handle.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tds/connection.h"
#include "tds/options.h"
#include "tds/wire.h"

namespace {

using namespace testdb::tds;
using testdb::FaultPlan;

constexpr size_t kMaxClients = 64;
constexpr size_t kReadChunk = 16384;
// A client silent this long mid-login is dropped, so a stuck peer cannot hold a slot for ever.
constexpr int kLoginTimeoutMs = 60000;

int g_wakePipe[2] = {-1, -1};

void onSignal(int) {
  const char c = 'x';
  ssize_t ignored = write(g_wakePipe[1], &c, 1);
  (void)ignored;
}

// A socket closed when it goes out of scope.
struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

struct Client {
  int fd = -1;
  std::thread thread;
  std::atomic<bool> done{false};
};

// Sends all bytes. Returns 0, or -1 when the peer is gone.
int sendAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    sent += static_cast<size_t>(n);
  }
  return 0;
}

// Milliseconds that `bytes` take on a link of `mbit` Mbit/s (0: no limit).
double transferMs(double mbit, size_t bytes) { return mbit > 0 ? static_cast<double>(bytes) * 8 / (mbit * 1000) : 0; }

// Clears the end-of-message bit of the last packet: a link lost in mid-answer.
void unfinish(std::vector<uint8_t>& packets) {
  size_t last = packets.size();
  for (size_t at = 0; at + kHeaderSize <= packets.size();) {
    last = at;
    size_t length = (static_cast<size_t>(packets[at + 2]) << 8) | packets[at + 3];
    if (length < kHeaderSize) break;
    at += length;
  }
  if (last < packets.size()) packets[last + 1] &= static_cast<uint8_t>(~kEndOfMessage);
}

void serve(const ServerOptions& options, std::shared_ptr<FaultPlan> plan, int fd, uint16_t spid) {
  Connection connection(options.config, std::move(plan), spid);
  MessageAssembler assembler;
  std::vector<uint8_t> chunk(kReadChunk);
  std::vector<uint8_t> reply;
  std::vector<uint8_t> packets;
  bool loggedIn = false;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, loggedIn ? -1 : kLoginTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return;
    ssize_t n = recv(fd, chunk.data(), chunk.size(), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    assembler.append(std::span(chunk.data(), static_cast<size_t>(n)));
    Message message;
    int rc;
    while ((rc = assembler.next(message)) == 1) {
      // The round trip, attention included, and the request's time on the wire.
      double waitMs = options.latencyMs + transferMs(options.bandwidthMbit, message.payload.size() + kHeaderSize);
      if (waitMs > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(waitMs));
      Next next = connection.handle(message.type, message.payload, reply);
      packets.clear();
      if (!reply.empty()) packetize(reply, connection.packetSize(), spid, packets);
      if (next == Next::Close && connection.linkLost()) unfinish(packets);
      double replyMs = transferMs(options.bandwidthMbit, packets.size());
      if (replyMs > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(replyMs));
      if (sendAll(fd, packets) != 0 || next == Next::Close) return;
      if (message.type == kLogin7) loggedIn = true;
    }
    if (rc < 0) return;
  }
}

int listenOn(const ServerOptions& options, int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(options.port));
  if (inet_pton(AF_INET, options.listen.c_str(), &addr.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(fd, 64) != 0) {
    close(fd);
    return -1;
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  return fd;
}

// Writes the port through a temporary file, so a reader never sees half of it.
int writePortFile(const std::string& path, int port) {
  std::string tmp = path + ".tmp";
  FILE* f = fopen(tmp.c_str(), "w");
  if (!f) return -1;
  fprintf(f, "%d\n", port);
  if (fclose(f) != 0) return -1;
  return rename(tmp.c_str(), path.c_str());
}

void reapFinished(std::list<Client>& clients) {
  for (auto it = clients.begin(); it != clients.end();) {
    if (it->done) {
      it->thread.join();
      close(it->fd);
      it = clients.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  std::string error;
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error) != 0) {
    fprintf(stderr, "dulmar-testdb-server: %s\n%s", error.c_str(), kUsage);
    return 2;
  }
  for (const std::string& key : options.ignoredKeys) {
    fprintf(stderr, "dulmar-testdb-server: %s has no meaning on the wire; ignored\n", key.c_str());
  }
  if (pipe2(g_wakePipe, O_CLOEXEC) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  int port = 0;
  Fd listener(listenOn(options, port));
  if (listener.fd < 0) {
    fprintf(stderr, "dulmar-testdb-server: cannot listen on %s:%d: %s\n", options.listen.c_str(), options.port,
            strerror(errno));
    return 1;
  }
  fprintf(stderr,
          "dulmar-testdb-server: listening on %s:%d for %s; it speaks TDS in clear text (no TLS) "
          "and exists for tests only\n",
          options.listen.c_str(), port, options.config.databaseName.c_str());
  if (!options.portFile.empty() && writePortFile(options.portFile, port) != 0) {
    fprintf(stderr, "dulmar-testdb-server: cannot write %s\n", options.portFile.c_str());
    return 1;
  }

  auto plan = std::make_shared<FaultPlan>(options.config.faults);
  std::list<Client> clients;
  std::mutex clientsMutex;
  uint16_t nextSpid = kFirstSpid;
  while (true) {
    pollfd fds[2] = {{listener.fd, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
    int ready = poll(fds, 2, 1000);
    if (ready < 0 && errno != EINTR) break;
    if (fds[1].revents) break;
    std::lock_guard<std::mutex> lock(clientsMutex);
    reapFinished(clients);
    if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;
    int fd = accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // A server that a fault took down refuses connections.
    if (clients.size() >= kMaxClients || plan->down()) {
      close(fd);
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Client& c = clients.emplace_back();
    c.fd = fd;
    uint16_t spid = nextSpid;
    nextSpid = static_cast<uint16_t>(nextSpid == 32767 ? kFirstSpid : nextSpid + 1);
    c.thread = std::thread([&options, &c, plan, spid] {
      serve(options, plan, c.fd, spid);
      shutdown(c.fd, SHUT_RDWR);
      c.done = true;
    });
  }
  // Wake every client thread; each closes its database handle on the way out.
  std::lock_guard<std::mutex> lock(clientsMutex);
  for (Client& c : clients) shutdown(c.fd, SHUT_RDWR);
  for (Client& c : clients) {
    c.thread.join();
    close(c.fd);
  }
  if (!options.portFile.empty()) unlink(options.portFile.c_str());
  fprintf(stderr, "dulmar-testdb-server: stopped after %ld durable commits\n", options.config.commits->total());
  return 0;
}
