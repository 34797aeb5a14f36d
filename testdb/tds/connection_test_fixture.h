#pragma once
// The fixture of the server's connection tests: a database file of the test's
// own, a Connection driven message by message, its replies read as tokens.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "tds/connection.h"
#include "tds/tds_test_support.h"
#include "tds/tokens.h"
#include "tds/wire.h"

namespace testdb::tds::test {

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = testTempPath("tds.db");
    removeFiles();
    config_.file = file_;
    config_.databaseName = "attendance";
    config_.login = "dulmar";
    config_.password = "secret";
  }
  void TearDown() override {
    connection_.reset();
    removeFiles();
  }
  void removeFiles() {
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file_ + suffix).c_str());
  }

  Connection& connection() {
    if (!connection_) {
      if (!plan_) plan_ = std::make_shared<FaultPlan>(config_.faults);
      connection_ = std::make_unique<Connection>(config_, plan_);
    }
    return *connection_;
  }

  /// Sends a message; returns the reply's tokens and what the connection does next.
  std::vector<ReadToken> send(uint8_t type, const std::vector<uint8_t>& payload, Next* next = nullptr) {
    std::vector<uint8_t> reply;
    Next n = connection().handle(type, payload, reply);
    if (next) *next = n;
    std::vector<ReadToken> tokens;
    EXPECT_EQ(test::readTokens(reply, tokens), 0);
    return tokens;
  }

  std::vector<ReadToken> login(const test::LoginFields& f, Next* next = nullptr) {
    return send(kLogin7, test::login7(f), next);
  }

  void loginOk() {
    test::LoginFields f;
    f.user = "dulmar";
    Next next;
    login(f, &next);
    ASSERT_EQ(next, Next::Continue);
  }

  std::vector<ReadToken> batch(const std::string& sql, Next* next = nullptr) {
    return send(kSqlBatch, test::sqlBatch(sql), next);
  }

  std::string file_;
  ServerConfig config_;
  std::shared_ptr<FaultPlan> plan_;
  std::unique_ptr<Connection> connection_;
};

}  // namespace testdb::tds::test
