// The server process over real sockets: bad input from one client never
// keeps it from serving the others, and SIGTERM ends it cleanly.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "common/test_files.h"
#include "tds/tds_test_support.h"
#include "tds/wire.h"

namespace testdb::tds {
namespace {

constexpr int kWaitMs = 5000;

class Client {
 public:
  explicit Client(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }
  bool connected() const { return fd_ >= 0; }

  bool sendBytes(const std::vector<uint8_t>& b) {
    return send(fd_, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size());
  }
  /// Sends a message cut into packets of at most packetSize bytes.
  bool sendMessage(uint8_t type, const std::vector<uint8_t>& payload, size_t packetSize = 4096) {
    size_t room = packetSize - kHeaderSize;
    size_t offset = 0;
    uint8_t id = 1;
    do {
      size_t n = std::min(room, payload.size() - offset);
      bool last = offset + n == payload.size();
      if (!sendBytes(test::packet(type, std::span(payload).subspan(offset, n), last, id++))) return false;
      offset += n;
    } while (offset < payload.size());
    return true;
  }
  /// Reads one reply message. Returns 1, 0 when the server closed, -1 on
  /// timeout or bad framing. largestPacket: the longest packet of the reply.
  int readMessage(Message& out, size_t* largestPacket = nullptr) {
    std::vector<uint8_t> chunk(65536);
    std::vector<uint8_t> raw;
    while (true) {
      if (int rc = assembler_.next(out); rc != 0) {
        for (size_t pos = 0; largestPacket && pos < raw.size();) {
          PacketHeader h;
          if (parseHeader(std::span(raw).subspan(pos), h) != 0) break;
          *largestPacket = std::max<size_t>(*largestPacket, h.length);
          pos += h.length;
        }
        return rc;
      }
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, kWaitMs) <= 0) return -1;
      ssize_t n = recv(fd_, chunk.data(), chunk.size(), 0);
      if (n <= 0) return 0;
      raw.insert(raw.end(), chunk.begin(), chunk.begin() + n);
      assembler_.append(std::span(chunk.data(), static_cast<size_t>(n)));
    }
  }
  /// True when the server closes the connection within the wait.
  bool closedByServer() {
    Message m;
    int rc;
    while ((rc = readMessage(m)) == 1) {
    }
    return rc == 0;
  }
  /// PRELOGIN and LOGIN7. Returns true when the login was acknowledged.
  bool login(uint32_t packetSize = 4096) {
    Message m;
    const std::vector<uint8_t> prelogin = {0xff};
    if (!sendMessage(kPrelogin, prelogin) || readMessage(m) != 1) return false;
    test::LoginFields f;
    f.packetSize = packetSize;
    if (!sendMessage(kLogin7, test::login7(f)) || readMessage(m) != 1) return false;
    std::vector<test::ReadToken> t;
    return test::readTokens(m.payload, t) == 0 && test::tokenTypes(t).find("ad") != std::string::npos;
  }
  /// Runs a batch; the reply's tokens.
  std::vector<test::ReadToken> batch(const std::string& sql, size_t packetSize = 4096) {
    Message m;
    std::vector<test::ReadToken> t;
    if (sendMessage(kSqlBatch, test::sqlBatch(sql), packetSize) && readMessage(m) == 1) test::readTokens(m.payload, t);
    return t;
  }

 private:
  int fd_ = -1;
  MessageAssembler assembler_;
};

class ServerProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = testTempPath("server.db");
    portFile_ = testTempPath("port");
    for (const std::string& f : {db_, db_ + "-wal", db_ + "-shm", portFile_}) std::remove(f.c_str());
    pid_ = fork();
    if (pid_ == 0) {
      const char* argv[] = {DULMAR_TESTDB_SERVER_PATH, "--database", db_.c_str(), "--login", "sa", "--password",
                            "secret", "--port-file", portFile_.c_str(), nullptr};
      freopen("/dev/null", "w", stderr);
      execv(argv[0], const_cast<char* const*>(argv));
      _exit(127);
    }
    for (int i = 0; i < 500 && port_ == 0; ++i) {
      std::ifstream(portFile_) >> port_;
      if (port_ == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_NE(port_, 0) << "the server did not start";
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (const std::string& f : {db_, db_ + "-wal", db_ + "-shm", portFile_}) std::remove(f.c_str());
  }
  /// A fresh client logs in and runs a statement: the server still serves.
  void expectServing() {
    Client c(port_);
    ASSERT_TRUE(c.connected());
    ASSERT_TRUE(c.login());
    auto t = c.batch("SELECT 42");
    ASSERT_EQ(test::tokenTypes(t), "81 d1 fd");
    EXPECT_EQ(t[1].cells[0], "42");
  }

  std::string db_;
  std::string portFile_;
  pid_t pid_ = -1;
  int port_ = 0;
};

TEST_F(ServerProcess, GarbageIsAnsweredByClosingAndOthersAreStillServed) {
  std::vector<uint8_t> garbage(300);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 131 + 7);
  garbage[2] = 0;  // a packet length below the header
  garbage[3] = 4;
  Client c(port_);
  ASSERT_TRUE(c.sendBytes(garbage));
  EXPECT_TRUE(c.closedByServer());
  expectServing();
}

TEST_F(ServerProcess, TruncatedPacketsAndDisconnectsMidPacketHurtNobody) {
  {
    Client c(port_);
    // a header that promises 65535 bytes, then ten of them, then the client is gone
    std::vector<uint8_t> b = {kPrelogin, 1, 0xff, 0xff, 0, 0, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_TRUE(c.sendBytes(b));
  }
  {
    Client c(port_);
    std::vector<uint8_t> b = {kSqlBatch, 1, 0};
    ASSERT_TRUE(c.sendBytes(b));
  }
  {
    Client c(port_);
    ASSERT_TRUE(c.login());
    std::vector<uint8_t> half = test::packet(kSqlBatch, test::sqlBatch("SELECT 1"));
    half.resize(half.size() / 2);
    ASSERT_TRUE(c.sendBytes(half));
  }
  expectServing();
}

TEST_F(ServerProcess, ALoginWithStringsOutsideThePacketIsClosed) {
  Client c(port_);
  std::vector<uint8_t> login = test::login7({});
  login[40] = 0xf0;
  login[41] = 0xff;
  ASSERT_TRUE(c.sendMessage(kLogin7, login));
  EXPECT_TRUE(c.closedByServer());
  expectServing();
}

TEST_F(ServerProcess, ASilentClientDoesNotHoldUpTheOthers) {
  Client silent(port_);
  ASSERT_TRUE(silent.connected());
  Client loggedInSilent(port_);
  ASSERT_TRUE(loggedInSilent.login());
  expectServing();
}

TEST_F(ServerProcess, RepliesAreCutAtTheNegotiatedPacketSize) {
  Client c(port_);
  ASSERT_TRUE(c.login(512));
  // a batch sent in 512-byte packets
  std::string sql = "CREATE TABLE t (a int, b varchar(200));";
  for (int i = 0; i < 20; ++i) sql += "INSERT INTO t VALUES (" + std::to_string(i) + ", '" + std::string(150, 'x') + "');";
  auto t = c.batch(sql, 512);
  ASSERT_EQ(t.size(), 21u);
  EXPECT_EQ(t.back().count, 1u);
  ASSERT_TRUE(c.sendMessage(kSqlBatch, test::sqlBatch("SELECT a, b FROM t ORDER BY a"), 512));
  Message m;
  size_t largest = 0;
  ASSERT_EQ(c.readMessage(m, &largest), 1);
  EXPECT_EQ(largest, 512u);
  EXPECT_GT(m.payload.size(), 3000u);
  ASSERT_EQ(test::readTokens(m.payload, t), 0);
  ASSERT_EQ(t.size(), 22u);
  EXPECT_EQ(t[20].cells[0], "19");
}

TEST_F(ServerProcess, SigtermEndsItCleanly) {
  {
    Client c(port_);
    ASSERT_TRUE(c.login());
    ASSERT_EQ(test::tokenTypes(c.batch("CREATE TABLE t (a int); INSERT INTO t VALUES (1)")), "fd fd");
    ASSERT_EQ(kill(pid_, SIGTERM), 0);
    EXPECT_TRUE(c.closedByServer());
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid_, &status, 0), pid_);
  pid_ = -1;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::ifstream(portFile_).good()) << "port file left behind";
  EXPECT_FALSE(std::ifstream(db_ + "-wal").good()) << "write-ahead log not checkpointed";
}

}  // namespace
}  // namespace testdb::tds
