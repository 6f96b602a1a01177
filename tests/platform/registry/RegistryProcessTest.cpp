#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/Registry.h"
#include "support/TempHive.h"

namespace {

constexpr const char* kKey = "Software\\Korvent_Programs\\Pellora\\Stress";

// The bytes every test writes for value `n`, so a torn or misplaced value shows.
std::string Payload(int writer, int n) { return "writer " + std::to_string(writer) + " value " + std::to_string(n) + std::string(1, '\0'); }

std::string ReadValue(HKEY key, const std::string& name) {
  char data[128];
  DWORD size = sizeof data, type = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) return "<missing>";
  if (type != REG_SZ) return "<wrong type>";
  return std::string(data, size);
}

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string verdict = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW) {
      verdict = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    } else {
      verdict = sqlite3_errmsg(db);
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return verdict;
}

TEST(RegistryProcesses, TwoWritersAtOnceBothSucceedCompletely) {
  TempHive hive;
  constexpr int kValues = 500;
  int go[2];
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(go[1]);
      char byte;
      if (read(go[0], &byte, 1) != 0) _exit(90);  // both start when the pipe closes
      // Neither process finds a hive: they also race to make it.
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) _exit(91);
      int failures = 0;
      for (int n = 0; n < kValues; ++n) {
        const std::string name = "w" + std::to_string(writer) + "_" + std::to_string(n);
        const std::string data = Payload(writer, n);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())) !=
            ERROR_SUCCESS) {
          ++failures;
        }
        // Readers run between the writes too, and must never be refused.
        DWORD size = 0;
        if (RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) ++failures;
      }
      RegCloseKey(key);
      _exit(failures > 80 ? 80 : failures);
    }
    children.push_back(child);
  }
  close(go[0]);
  const auto start = std::chrono::steady_clock::now();
  close(go[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "failed calls (91: the key could not be made)";
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  RecordProperty("milliseconds", static_cast<int>(elapsed.count()));
  std::printf("two writers, %d values each: %lld ms\n", kValues, static_cast<long long>(elapsed.count()));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS) << RegLastErrorText();
  int wrong = 0;
  for (int writer = 0; writer < 2; ++writer) {
    for (int n = 0; n < kValues; ++n) {
      if (ReadValue(key, "w" + std::to_string(writer) + "_" + std::to_string(n)) != Payload(writer, n)) ++wrong;
    }
  }
  EXPECT_EQ(wrong, 0);
  char name[64];
  DWORD nameSize = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 2 * kValues, name, &nameSize, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(key);
  EXPECT_EQ(IntegrityCheck(hive.File()), "ok");
}

// Both processes find the hive folder but no hive in it, and make their first call at about
// the same moment, as a saver starting while the Options dialog opens on a new account does.
// Whichever makes the hive, the other must see either nothing or the whole hive. Several
// pairs race at once, each on its own hive, and the second of a pair starts up to half a
// millisecond late, which is when the other's creation most often lands mid-check. The hives
// live in memory where it can: the locks are the same as on a disk, and the many rounds stay
// quick.
TEST(RegistryProcesses, TwoFirstOpensOfANewHiveBothSucceed) {
  TempHive hive;
  char pattern[] = "/dev/shm/pellora-race-XXXXXX";
  const char* inMemory = mkdtemp(pattern);
  const std::string base = inMemory ? inMemory : hive.Dir();
  struct RemovedAfterwards {
    std::string dir;
    ~RemovedAfterwards() {
      std::error_code ignored;
      if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
    }
  } inMemoryFolder{inMemory ? base : std::string()};
  constexpr int kRounds = 200;
  constexpr int kPairsAtOnce = 8;
  int failures = 0;
  std::string firstFailure;
  const auto start = std::chrono::steady_clock::now();
  for (int batch = 0; batch < kRounds / kPairsAtOnce; ++batch) {
    int go[2], said[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(said), 0);
    std::vector<pid_t> children;
    std::vector<std::string> folders;
    for (int pair = 0; pair < kPairsAtOnce; ++pair) {
      const int round = batch * kPairsAtOnce + pair;
      const std::string config = base + "/round" + std::to_string(round);
      ASSERT_TRUE(std::filesystem::create_directories(config + "/pellora"));
      folders.push_back(config);
      setenv("XDG_CONFIG_HOME", config.c_str(), 1);
      for (int side = 0; side < 2; ++side) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
          close(go[1]);
          close(said[0]);
          char byte;
          if (read(go[0], &byte, 1) != 0) _exit(90);  // all start when the pipe closes
          if (side == 1) usleep(static_cast<useconds_t>(round * 7919 % 500));
          HKEY key = nullptr;
          const LSTATUS rc = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Race", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
          if (rc == ERROR_SUCCESS) _exit(0);
          // Short enough to reach the pipe in one piece while others write too.
          const std::string text = (std::to_string(rc) + ": " + RegLastErrorText()).substr(0, 400) + "\n";
          if (write(said[1], text.data(), text.size()) < 0) _exit(92);
          _exit(91);
        }
        children.push_back(child);
      }
    }
    close(go[0]);
    close(said[1]);
    close(go[1]);
    for (pid_t child : children) {
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    char text[512];
    const ssize_t got = read(said[0], text, sizeof text);
    if (got > 0 && firstFailure.empty()) firstFailure.assign(text, static_cast<size_t>(got));
    close(said[0]);
    for (const std::string& folder : folders) std::filesystem::remove_all(folder);
  }
  hive.Activate();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("%d rounds of two first opens: %d calls failed, %lld ms\n", kRounds, failures, static_cast<long long>(elapsed.count()));
  EXPECT_EQ(failures, 0) << firstFailure;
}

TEST(RegistryProcesses, AWriterKilledMidWriteLosesNothingThatSucceeded) {
  TempHive hive;
  constexpr int kRounds = 50;
  std::mt19937 random(20261207);
  std::vector<std::set<int>> confirmed(kRounds);
  const auto start = std::chrono::steady_clock::now();
  int killedWhileWriting = 0;
  for (int round = 0; round < kRounds; ++round) {
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(report[0]);
      HKEY key = nullptr;
      if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) _exit(91);
      for (int n = 0;; ++n) {
        const std::string name = "r" + std::to_string(round) + "_" + std::to_string(n);
        const std::string data = Payload(round, n);
        if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())) !=
            ERROR_SUCCESS) {
          _exit(92);
        }
        // Only after the call has returned success does the parent hear of it.
        if (write(report[1], &n, sizeof n) != static_cast<ssize_t>(sizeof n)) _exit(93);
      }
    }
    close(report[1]);
    // Even rounds kill inside the write loop for certain; odd rounds at any moment from the
    // start, which includes making and opening the hive.
    int n = 0;
    if (round % 2 == 0 && read(report[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) confirmed[round].insert(n);
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(200, 30000)(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status) << " in round " << round;
    while (read(report[0], &n, sizeof n) == static_cast<ssize_t>(sizeof n)) confirmed[round].insert(n);
    close(report[0]);
    if (!confirmed[round].empty()) ++killedWhileWriting;

    // A fresh process must be able to open the hive and find every confirmed value.
    const pid_t checker = fork();
    ASSERT_GE(checker, 0);
    if (checker == 0) {
      HKEY key = nullptr;
      const LSTATUS rc = RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key);
      if (rc == ERROR_FILE_NOT_FOUND && confirmed[round].empty()) _exit(0);
      if (rc != ERROR_SUCCESS) _exit(94);
      for (int value : confirmed[round]) {
        if (ReadValue(key, "r" + std::to_string(round) + "_" + std::to_string(value)) != Payload(round, value)) _exit(95);
      }
      _exit(0);
    }
    ASSERT_EQ(waitpid(checker, &status, 0), checker);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round << " (94: the hive did not open, 95: a confirmed value is missing)";
    if (std::filesystem::exists(hive.File())) {
      ASSERT_EQ(IntegrityCheck(hive.File()), "ok") << "round " << round;
    }
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("%d killed writers (%d mid-loop): %lld ms\n", kRounds, killedWhileWriting, static_cast<long long>(elapsed.count()));

  // At the end every round's confirmed values are still all there.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS) << RegLastErrorText();
  int missing = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int value : confirmed[round]) {
      if (ReadValue(key, "r" + std::to_string(round) + "_" + std::to_string(value)) != Payload(round, value)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0);
  RegCloseKey(key);
}

TEST(RegistryProcesses, AHiveLockedTooLongAnswersBusyAndStaysWhole) {
  TempHive hive;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const std::string before = Payload(0, 0);
  ASSERT_EQ(RegSetValueExA(key, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(before.data()), static_cast<DWORD>(before.size())),
            ERROR_SUCCESS);

  // Another program takes the write lock and keeps it past the busy timeout.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(hive.File().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE vals SET data=x'00' WHERE name='Kept'", nullptr, nullptr, nullptr), SQLITE_OK);
  const std::string after = Payload(1, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RegSetValueExA(key, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(after.data()), static_cast<DWORD>(after.size())),
            ERROR_BUSY);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(waited.count(), 4000) << "a busy hive is waited for before giving up";
  EXPECT_NE(RegLastErrorText().find("busy"), std::string::npos) << RegLastErrorText();
  EXPECT_NE(RegLastErrorText().find(hive.File()), std::string::npos) << RegLastErrorText();
  // Readers are not held up by the writer, and see only what was committed.
  EXPECT_EQ(ReadValue(key, "Kept"), before);
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);

  EXPECT_EQ(RegSetValueExA(key, "Kept", 0, REG_SZ, reinterpret_cast<const BYTE*>(after.data()), static_cast<DWORD>(after.size())),
            ERROR_SUCCESS);
  EXPECT_EQ(ReadValue(key, "Kept"), after);
  RegCloseKey(key);
}

}  // namespace
