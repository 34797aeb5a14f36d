#include "common/file_lock.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "common/test_files.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

// Two guards in one process conflict like two processes: flock locks belong
// to an open file and LockFileEx locks to a handle, not to the process.
TEST(FileLock, OneHolderAtATimeAndTheNextAfterIt) {
  const std::string path = testTempPath("lock");
  fs::remove(path);
  FileLock first;
  ASSERT_EQ(first.acquire(path, 0), 0);
  EXPECT_TRUE(first.held());
  EXPECT_TRUE(fs::is_regular_file(path));

  FileLock second;
  EXPECT_EQ(second.acquire(path, 50), -1);  // waits, then gives up
  EXPECT_EQ(errno, EWOULDBLOCK);
  EXPECT_FALSE(second.held());

  first.release();
  EXPECT_FALSE(first.held());
  ASSERT_EQ(second.acquire(path, 0), 0);
  EXPECT_TRUE(second.held());
  {
    FileLock third;
    EXPECT_EQ(third.acquire(path, 0), -1);
  }
  second.release();
  // The lock file stays for the next one: removing it could let two hold it.
  EXPECT_TRUE(fs::is_regular_file(path));
  FileLock fourth;
  EXPECT_EQ(fourth.acquire(path, 0), 0);
  fourth.release();
  fs::remove(path);
}

TEST(FileLock, EndOfTheGuardDropsTheLock) {
  const std::string path = testTempPath("lock");
  {
    FileLock scoped;
    ASSERT_EQ(scoped.acquire(path, 0), 0);
  }
  FileLock next;
  EXPECT_EQ(next.acquire(path, 0), 0);
  next.release();
  fs::remove(path);
}

TEST(FileLock, WhatIsNoLockFileIsRefused) {
  FileLock lock;
  EXPECT_EQ(lock.acquire(testTempPath("no-such-folder") + "/x.lock", 0), -1);
  EXPECT_FALSE(lock.held());

  const std::string folder = testTempPath("folder");
  fs::create_directories(folder);
  EXPECT_EQ(lock.acquire(folder, 0), -1);
  EXPECT_FALSE(lock.held());
  fs::remove_all(folder);
#ifndef _WIN32
  // A FIFO would block an ordinary open for reading until a writer came.
  const std::string fifo = testTempPath("fifo");
  fs::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(lock.acquire(fifo, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  fs::remove(fifo);
  // A link is not followed: it could point the lock anywhere.
  const std::string real = testTempPath("real");
  const std::string link = testTempPath("link");
  fs::remove(link);
  writeFileBytes(real, "");
  fs::create_symlink(real, link);
  EXPECT_EQ(lock.acquire(link, 0), -1);
  fs::remove(link);
  fs::remove(real);
#endif
}
