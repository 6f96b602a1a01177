#include "platform/registry/Registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Marks a SQLite file as one of our hives ("PlRH"), so another program's database is never
// mistaken for one and written to.
constexpr int32_t kApplicationId = 0x506C5248;
constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;
constexpr int64_t kRootId = 1;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr REGSAM kDeleteRight = 0x00010000;
// Deleting keys needs one of these: a handle opened only for reading changes nothing.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | kDeleteRight;
constexpr const char* kRootName = "HKEY_CURRENT_USER";

thread_local std::string lastErrorText;

LSTATUS Fail(LSTATUS code, std::string text) {
  lastErrorText = std::move(text);
  return code;
}

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

int64_t NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

struct OpenKey {
  int64_t id = 0;
  REGSAM access = 0;
  FileIdentity hive;
  std::string path;  // for messages: "HKEY_CURRENT_USER\Software\..."
};

std::string ComputeHivePath() {
  const char* config = getenv("XDG_CONFIG_HOME");
  std::string base;
  // A relative XDG_CONFIG_HOME is to be ignored, so the hive never depends on the working folder.
  if (config && config[0] == '/') {
    base = config;
  } else {
    const char* home = getenv("HOME");
    std::string homeDir;
    if (home && home[0] == '/') {
      homeDir = home;
    } else {
      struct passwd entry;
      struct passwd* found = nullptr;
      char buffer[4096];
      if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir &&
          found->pw_dir[0] == '/') {
        homeDir = found->pw_dir;
      }
    }
    if (homeDir.empty()) return {};
    base = homeDir + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/pellora/hive.db";
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// Maps a SQLite failure to the platform's code and a sentence that names the hive file.
LSTATUS SqliteFailure(int rc, const std::string& path, const char* detail) {
  const std::string file = "The registry hive " + Quoted(path);
  const std::string why = detail ? std::string(" (") + detail + ")" : std::string();
  const std::string leftAlone = " It was left as it is; move it away to start with a new hive.";
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Fail(ERROR_BUSY, file + " is busy: another program has kept it locked for more than " +
                                  std::to_string(kBusyTimeoutMs / 1000) + " seconds.");
    case SQLITE_CORRUPT:
      return Fail(ERROR_REGISTRY_CORRUPT, file + " is damaged" + why + "." + leftAlone);
    case SQLITE_NOTADB:
      return Fail(ERROR_BADDB, file + " is not a registry hive: it is not a database file." + leftAlone);
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Fail(ERROR_ACCESS_DENIED, file + " cannot be written" + why + ".");
    case SQLITE_CANTOPEN:
      return Fail(ERROR_CANTOPEN, file + " cannot be opened" + why + ".");
    case SQLITE_FULL:
      return Fail(ERROR_CANTWRITE, file + " cannot be written: the disk is full.");
    case SQLITE_NOMEM:
      return Fail(ERROR_OUTOFMEMORY, file + " cannot be used: out of memory.");
    case SQLITE_TOOBIG:
      return Fail(ERROR_INVALID_PARAMETER, "The value is too large to be stored in the registry hive " + Quoted(path) + ".");
    default:
      return Fail(ERROR_REGISTRY_IO_FAILED, file + " could not be read or written" + why + ".");
  }
}

LSTATUS ErrnoFailure(int error, const std::string& what) {
  const std::string text = what + ": " + std::strerror(error) + ".";
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      return Fail(ERROR_ACCESS_DENIED, text);
    case ENOENT:
    case ENOTDIR:
      return Fail(ERROR_PATH_NOT_FOUND, text);
    case ENOSPC:
    case EDQUOT:
      return Fail(ERROR_CANTWRITE, text);
    default:
      return Fail(ERROR_CANTOPEN, text);
  }
}

// Creates the folders above the hive that are missing, private to the user.
LSTATUS MakeFolders(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string folder = path.substr(0, slash);
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at != folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return ErrnoFailure(errno, "The registry hive folder " + Quoted(part) + " cannot be created");
    }
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return ErrnoFailure(errno, "The registry hive folder " + Quoted(folder) + " cannot be used");
  if (!S_ISDIR(info.st_mode)) return Fail(ERROR_PATH_NOT_FOUND, "The registry hive folder " + Quoted(folder) + " is not a folder.");
  return ERROR_SUCCESS;
}

// One connection per process, reopened when the hive's path or file changes (tests move
// XDG_CONFIG_HOME between cases) or when the process has forked, since a SQLite connection
// must not be used on both sides of a fork.
class Hive {
 public:
  ~Hive() { Drop(); }

  std::mutex mutex;
  std::map<uintptr_t, OpenKey> handles;
  uintptr_t nextHandle = 0x1000;

  const std::string& Path() const { return path_; }
  const FileIdentity& Identity() const { return identity_; }
  sqlite3* Db() const { return db_; }

  LSTATUS Connect() {
    const std::string path = ComputeHivePath();
    if (path.empty()) {
      return Fail(ERROR_PATH_NOT_FOUND, "The registry hive cannot be found: neither XDG_CONFIG_HOME nor HOME names a folder.");
    }
    if (db_ && !damaged_ && path == path_ && pid_ == getpid()) {
      struct stat info;
      if (stat(path.c_str(), &info) == 0 && FileIdentity{info.st_dev, info.st_ino} == identity_) return ERROR_SUCCESS;
    }
    Drop();
    return Open(path);
  }

  // After damage shows up mid-session the next call checks the file again from scratch. The
  // connection itself stays until then: the failing call still has statements in use.
  void Forget() { damaged_ = true; }

  sqlite3_stmt* Statement(const char* sql) {
    auto found = statements_.find(sql);
    if (found != statements_.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK) {
      sqlite3_finalize(statement);
      return nullptr;
    }
    statements_.emplace(sql, statement);
    return statement;
  }

 private:
  void Drop() {
    if (db_ && pid_ == getpid()) {
      for (auto& entry : statements_) sqlite3_finalize(entry.second);
      sqlite3_close_v2(db_);
    }
    // In a forked child the parent's connection is abandoned, not closed: closing it here
    // could touch the parent's locks and WAL index.
    statements_.clear();
    db_ = nullptr;
    path_.clear();
    damaged_ = false;
  }

  int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

  // Changing the journal mode of a new hive can answer "busy" at once, without the busy
  // handler, while another process makes the same hive; so it waits here for the same time.
  int ExecPatiently(const char* sql) {
    int rc = Exec(sql);
    for (int waited = 0; (rc & 0xFF) == SQLITE_BUSY && waited < kBusyTimeoutMs; waited += 10) {
      usleep(10000);
      rc = Exec(sql);
    }
    return rc;
  }

  // Reads the first row's numbers, one per column, into `results`.
  int QueryInts(const char* sql, std::initializer_list<int64_t*> results) {
    sqlite3_stmt* statement = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(statement);
      if (rc == SQLITE_ROW) {
        int column = 0;
        for (int64_t* result : results) *result = sqlite3_column_int64(statement, column++);
        rc = SQLITE_OK;
      } else if (rc == SQLITE_DONE) {
        rc = SQLITE_CORRUPT;
      }
    }
    sqlite3_finalize(statement);
    return rc;
  }

  LSTATUS Open(const std::string& path) {
    if (LSTATUS rc = MakeFolders(path)) return rc;
    const std::string file = "The registry hive " + Quoted(path);
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
      if (errno != ENOENT) return ErrnoFailure(errno, file + " cannot be used");
      const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) return ErrnoFailure(errno, file + " cannot be created");
      if (fd >= 0) {
        fchmod(fd, 0600);  // the umask may have taken away the owner's own rights
        close(fd);
      }
      if (stat(path.c_str(), &info) != 0) return ErrnoFailure(errno, file + " cannot be used");
    }
    if (!S_ISREG(info.st_mode)) return Fail(ERROR_BADDB, file + " is not a file. It was left as it is; move it away to start with a new hive.");
    if (access(path.c_str(), R_OK) != 0) return ErrnoFailure(errno, file + " cannot be read");
    if (access(path.c_str(), W_OK) != 0) return ErrnoFailure(errno, file + " cannot be written");

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
      const std::string detail = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close_v2(db);
      return SqliteFailure(rc, path, detail.c_str());
    }
    db_ = db;
    path_ = path;
    pid_ = getpid();
    identity_ = FileIdentity{info.st_dev, info.st_ino};
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (LSTATUS status = Prepare(); status != ERROR_SUCCESS) {
      Drop();
      return status;
    }
    return ERROR_SUCCESS;
  }

  // What tells a hive from anything else. A creation is one transaction, so any single moment
  // of the file shows either nothing at all or a whole hive.
  struct Stamp {
    int64_t applicationId = 0;
    int64_t version = 0;
    int64_t objects = 0;
    bool Empty() const { return applicationId == 0 && version == 0 && objects == 0; }
  };

  // One statement, so one snapshot: read one by one, another process's creation could commit
  // between the id and the object count, and a half-seen hive would look foreign.
  int ReadStamp(Stamp* stamp) {
    return QueryInts("SELECT (SELECT application_id FROM pragma_application_id),"
                     " (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_master)",
                     {&stamp->applicationId, &stamp->version, &stamp->objects});
  }

  // Tells our hive from anything else before a single byte is written, then makes a new
  // hive. Only a file with nothing in it (empty, or a database without any content, as a
  // creation cut short leaves it) counts as new.
  LSTATUS Prepare() {
    Stamp stamp;
    // The stamp and the content are checked in one read transaction, so both see the
    // same moment of a hive that another process may be making right now.
    int rc = Exec("BEGIN");
    if (rc == SQLITE_OK) rc = ReadStamp(&stamp);
    if (rc != SQLITE_OK) {
      const std::string detail = sqlite3_errmsg(db_);
      Exec("ROLLBACK");
      return SqliteFailure(rc, path_, detail.c_str());
    }
    // All of this only reads: a file that fails here is left exactly as it was.
    LSTATUS status = stamp.Empty() ? ERROR_SUCCESS : CheckOurs(stamp);
    if (status == ERROR_SUCCESS && !stamp.Empty()) status = CheckContent();
    Exec("ROLLBACK");
    if (status != ERROR_SUCCESS) return status;
    // WAL: a commit is one append that a killed process cannot tear, and readers never wait
    // for writers. FULL: a write that returned success is on the disk, even if power fails.
    rc = ExecPatiently("PRAGMA journal_mode=WAL");
    if (rc == SQLITE_OK) rc = Exec("PRAGMA synchronous=FULL");
    if (rc != SQLITE_OK) return SqliteFailure(rc, path_, sqlite3_errmsg(db_));
    // "Empty" was true a moment ago; CreateSchema decides again under the write lock.
    if (stamp.Empty()) return CreateSchema();
    return ERROR_SUCCESS;
  }

  LSTATUS CheckContent() {
    int64_t tables = 0;
    int rc = QueryInts("SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('keys','vals')", {&tables});
    if (rc != SQLITE_OK) return SqliteFailure(rc, path_, sqlite3_errmsg(db_));
    if (tables != 2) return SqliteFailure(SQLITE_CORRUPT, path_, "its tables are missing");
    std::string verdict;
    sqlite3_stmt* check = nullptr;
    rc = sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &check, nullptr);
    if (rc == SQLITE_OK) {
      if (sqlite3_step(check) == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(check, 0);
        verdict = text ? reinterpret_cast<const char*>(text) : "";
      } else {
        rc = sqlite3_errcode(db_);
      }
    }
    sqlite3_finalize(check);
    if (rc != SQLITE_OK) return SqliteFailure(rc, path_, sqlite3_errmsg(db_));
    if (verdict != "ok") return SqliteFailure(SQLITE_CORRUPT, path_, verdict.c_str());
    return ERROR_SUCCESS;
  }

  LSTATUS CheckOurs(const Stamp& stamp) {
    const std::string file = "The registry hive " + Quoted(path_);
    const std::string leftAlone = " It was left as it is; move it away to start with a new hive.";
    const int64_t version = stamp.version;
    if (stamp.applicationId != kApplicationId) {
      return Fail(ERROR_BADDB, file + " is not a registry hive: it is a database of another kind." + leftAlone);
    }
    if (version > kSchemaVersion) {
      return Fail(ERROR_BADDB, file + " was made by a newer version of this program (hive version " +
                                   std::to_string(version) + ")." + leftAlone);
    }
    if (version != kSchemaVersion) {
      return Fail(ERROR_REGISTRY_CORRUPT, file + " has an unknown hive version " + std::to_string(version) + "." + leftAlone);
    }
    return ERROR_SUCCESS;
  }

  LSTATUS CreateSchema() {
    int rc = Exec("BEGIN IMMEDIATE");
    if (rc != SQLITE_OK) return SqliteFailure(rc, path_, sqlite3_errmsg(db_));
    // Another process may have made the hive while this one waited for the lock.
    Stamp stamp;
    rc = ReadStamp(&stamp);
    if (rc != SQLITE_OK) {
      const std::string detail = sqlite3_errmsg(db_);
      Exec("ROLLBACK");
      return SqliteFailure(rc, path_, detail.c_str());
    }
    if (!stamp.Empty()) {
      Exec("ROLLBACK");
      return CheckOurs(stamp);
    }
    const std::string now = std::to_string(NowMilliseconds());
    // Values keep the order they were first set in, as the platform enumerates them.
    const std::string schema =
        "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name TEXT NOT NULL,"
        " folded TEXT NOT NULL, written INTEGER NOT NULL);"
        "CREATE UNIQUE INDEX keys_by_parent ON keys(parent, folded);"
        "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL,"
        " folded TEXT NOT NULL, type INTEGER NOT NULL, data BLOB NOT NULL);"
        "CREATE UNIQUE INDEX vals_by_key ON vals(key, folded);"
        "INSERT INTO keys(id, parent, name, folded, written) VALUES(1, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user', " + now + ");"
        "INSERT INTO keys(id, parent, name, folded, written) VALUES(2, 1, 'Control Panel', 'control panel', " + now + ");"
        "INSERT INTO keys(id, parent, name, folded, written) VALUES(3, 2, 'Desktop', 'desktop', " + now + ");"
        "INSERT INTO vals(key, name, folded, type, data) VALUES(3, 'ScreenSaveUsePassword', 'screensaveusepassword', 4, x'00000000');"
        "PRAGMA application_id=" + std::to_string(kApplicationId) + ";"
        "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    rc = Exec(schema.c_str());
    if (rc == SQLITE_OK) rc = Exec("COMMIT");
    if (rc != SQLITE_OK) {
      const std::string detail = sqlite3_errmsg(db_);
      Exec("ROLLBACK");
      return SqliteFailure(rc, path_, detail.c_str());
    }
    return ERROR_SUCCESS;
  }

  sqlite3* db_ = nullptr;
  std::string path_;
  FileIdentity identity_;
  pid_t pid_ = 0;
  bool damaged_ = false;
  std::unordered_map<const char*, sqlite3_stmt*> statements_;
};

Hive& TheHive() {
  static Hive hive;
  return hive;
}

// One prepared statement in use; resets itself so the cached statement can be used again.
class Query {
 public:
  Query(Hive& hive, const char* sql) : hive_(hive), statement_(hive.Statement(sql)) {}
  ~Query() {
    if (statement_) {
      sqlite3_reset(statement_);
      sqlite3_clear_bindings(statement_);
    }
  }
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& Bind(int index, int64_t value) {
    if (statement_) sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  Query& Bind(int index, const std::string& text) {
    if (statement_) sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Query& BindBlob(int index, const BYTE* data, DWORD size) {
    static const BYTE nothing = 0;
    // A zero-length blob, never NULL: an empty value is still a value.
    if (statement_) sqlite3_bind_blob64(statement_, index, size ? data : &nothing, size, SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() {
    if (!statement_) return sqlite3_errcode(hive_.Db()) == SQLITE_OK ? SQLITE_ERROR : sqlite3_errcode(hive_.Db());
    return sqlite3_step(statement_);
  }
  int64_t Int(int column) const { return sqlite3_column_int64(statement_, column); }
  std::string Text(int column) const {
    const unsigned char* text = sqlite3_column_text(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(statement_, column)))
                : std::string();
  }
  const BYTE* Blob(int column) const { return static_cast<const BYTE*>(sqlite3_column_blob(statement_, column)); }
  size_t Bytes(int column) const { return static_cast<size_t>(sqlite3_column_bytes(statement_, column)); }

 private:
  Hive& hive_;
  sqlite3_stmt* statement_;
};

LSTATUS StepFailure(Hive& hive, int rc) {
  const LSTATUS status = SqliteFailure(rc, hive.Path(), sqlite3_errmsg(hive.Db()));
  if ((rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB) hive.Forget();
  return status;
}

enum class Access { Read, Write };

// Every call is one transaction; a writer takes the lock at the start so that two writers
// never deadlock upgrading from reading.
class Transaction {
 public:
  Transaction(Hive& hive, Access access) : hive_(hive) {
    const int rc = sqlite3_exec(hive.Db(), access == Access::Write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    status_ = rc == SQLITE_OK ? ERROR_SUCCESS : StepFailure(hive, rc);
    open_ = rc == SQLITE_OK;
  }
  ~Transaction() {
    if (open_ && hive_.Db()) sqlite3_exec(hive_.Db(), "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  LSTATUS Status() const { return status_; }
  LSTATUS Commit() {
    const int rc = sqlite3_exec(hive_.Db(), "COMMIT", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      open_ = false;
      return ERROR_SUCCESS;
    }
    return StepFailure(hive_, rc);
  }

 private:
  Hive& hive_;
  LSTATUS status_;
  bool open_ = false;
};

bool IsPredefined(HKEY key) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(key);
  return value >= 0x80000000u && value <= 0x80000060u;
}

// Finds the open key behind a handle; connects to the hive first.
LSTATUS Resolve(Hive& hive, HKEY key, OpenKey* result) {
  if (key == HKEY_CURRENT_USER) {
    if (LSTATUS rc = hive.Connect()) return rc;
    *result = OpenKey{kRootId, KEY_ALL_ACCESS, hive.Identity(), kRootName};
    return ERROR_SUCCESS;
  }
  if (IsPredefined(key)) return Fail(ERROR_INVALID_HANDLE, "Only HKEY_CURRENT_USER exists in this registry.");
  auto found = hive.handles.find(reinterpret_cast<uintptr_t>(key));
  if (found == hive.handles.end()) return Fail(ERROR_INVALID_HANDLE, "The registry key handle is not open.");
  if (LSTATUS rc = hive.Connect()) return rc;
  if (!(found->second.hive == hive.Identity())) {
    return Fail(ERROR_INVALID_HANDLE, "The registry key handle " + found->second.path +
                                          " belongs to a hive that is no longer in use; the hive in use is " +
                                          Quoted(hive.Path()) + ".");
  }
  *result = found->second;
  return ERROR_SUCCESS;
}

LSTATUS CheckAlive(Hive& hive, const OpenKey& key) {
  Query query(hive, "SELECT 1 FROM keys WHERE id=?1");
  const int rc = query.Bind(1, key.id).Step();
  if (rc == SQLITE_ROW) return ERROR_SUCCESS;
  if (rc == SQLITE_DONE) return Fail(ERROR_KEY_DELETED, "The registry key " + key.path + " has been deleted.");
  return StepFailure(hive, rc);
}

LSTATUS CheckRight(const OpenKey& key, REGSAM needed, const char* doing) {
  if ((key.access & needed) != 0) return ERROR_SUCCESS;
  return Fail(ERROR_ACCESS_DENIED, "The registry key " + key.path + " was not opened for " + doing + ".");
}

// Splits a subkey path. A leading backslash is refused, as the platform refuses it when
// creating keys; one trailing backslash is ignored; an empty name in the middle is refused.
LSTATUS SplitPath(const char* subKey, std::vector<std::string>* parts) {
  parts->clear();
  if (!subKey || !*subKey) return ERROR_SUCCESS;
  const std::string_view path(subKey);
  if (path.front() == '\\') return Fail(ERROR_BAD_PATHNAME, "The registry key path \"" + std::string(path) + "\" starts with a backslash.");
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end == start) return Fail(ERROR_BAD_PATHNAME, "The registry key path \"" + std::string(path) + "\" has an empty key name.");
    if (end - start > kMaxKeyNameLength) {
      return Fail(ERROR_INVALID_PARAMETER, "A key name in \"" + std::string(path) + "\" is longer than 255 characters.");
    }
    parts->emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return ERROR_SUCCESS;
}

// Looks up one child key: *id is 0 when there is none.
LSTATUS FindChild(Hive& hive, int64_t parent, const std::string& name, int64_t* id, std::string* storedName) {
  Query query(hive, "SELECT id, name FROM keys WHERE parent=?1 AND folded=?2");
  const int rc = query.Bind(1, parent).Bind(2, Fold(name)).Step();
  if (rc == SQLITE_ROW) {
    *id = query.Int(0);
    *storedName = query.Text(1);
    return ERROR_SUCCESS;
  }
  if (rc == SQLITE_DONE) {
    *id = 0;
    return ERROR_SUCCESS;
  }
  return StepFailure(hive, rc);
}

std::string Joined(const std::string& base, const std::vector<std::string>& parts) {
  std::string path = base;
  for (const std::string& part : parts) path += "\\" + part;
  return path;
}

// Walks down from `from`; answers ERROR_FILE_NOT_FOUND for a missing key.
LSTATUS Walk(Hive& hive, const OpenKey& from, const std::vector<std::string>& parts, OpenKey* result) {
  OpenKey at = from;
  for (const std::string& part : parts) {
    int64_t id = 0;
    std::string stored;
    if (LSTATUS rc = FindChild(hive, at.id, part, &id, &stored)) return rc;
    if (id == 0) return Fail(ERROR_FILE_NOT_FOUND, "The registry key " + Joined(from.path, parts) + " does not exist.");
    at.id = id;
    at.path += "\\" + stored;
  }
  *result = at;
  return ERROR_SUCCESS;
}

LSTATUS Touch(Hive& hive, int64_t id) {
  Query query(hive, "UPDATE keys SET written=?2 WHERE id=?1");
  const int rc = query.Bind(1, id).Bind(2, NowMilliseconds()).Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : StepFailure(hive, rc);
}

HKEY NewHandle(Hive& hive, OpenKey key) {
  const uintptr_t value = hive.nextHandle++;
  hive.handles.emplace(value, std::move(key));
  return reinterpret_cast<HKEY>(value);
}

std::string ValueName(const char* name) { return name ? std::string(name) : std::string(); }

std::string ShownValueName(const std::string& name) { return name.empty() ? "(default)" : "\"" + name + "\""; }

LSTATUS DeleteSubtree(Hive& hive, int64_t id, bool keepTop) {
  {
    Query values(hive,
                 "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN sub ON keys.parent=sub.id)"
                 " DELETE FROM vals WHERE key IN sub");
    const int rc = values.Bind(1, id).Step();
    if (rc != SQLITE_DONE) return StepFailure(hive, rc);
  }
  Query keys(hive,
             "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT keys.id FROM keys JOIN sub ON keys.parent=sub.id)"
             " DELETE FROM keys WHERE id IN sub AND (?2=0 OR id<>?1)");
  const int rc = keys.Bind(1, id).Bind(2, keepTop ? 1 : 0).Step();
  return rc == SQLITE_DONE ? ERROR_SUCCESS : StepFailure(hive, rc);
}

void WriteFileTime(void* target, int64_t unixMilliseconds) {
  // 100-nanosecond steps since 1601-01-01, split into the low and high double words.
  const uint64_t ticks = static_cast<uint64_t>(unixMilliseconds) * 10000u + 116444736000000000ull;
  const DWORD parts[2] = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  std::memcpy(target, parts, sizeof parts);
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options, REGSAM desired,
                        void* security, PHKEY result, DWORD* disposition) {
  (void)keyClass;
  (void)options;
  (void)security;
  if (!result) return Fail(ERROR_INVALID_PARAMETER, "RegCreateKeyExA needs somewhere to put the new handle.");
  *result = nullptr;
  if (reserved != 0) return Fail(ERROR_INVALID_PARAMETER, "RegCreateKeyExA: the reserved argument must be 0.");
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  std::vector<std::string> parts;
  if (LSTATUS rc = SplitPath(subKey, &parts)) return rc;
  Transaction transaction(hive, Access::Write);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  const OpenKey start = at;
  bool created = false;
  for (const std::string& part : parts) {
    int64_t id = 0;
    std::string stored;
    if (LSTATUS rc = FindChild(hive, at.id, part, &id, &stored)) return rc;
    if (id == 0) {
      if (!created) {
        if (LSTATUS rc = CheckRight(start, KEY_CREATE_SUB_KEY, "creating subkeys")) return rc;
      }
      Query insert(hive, "INSERT INTO keys(parent, name, folded, written) VALUES(?1, ?2, ?3, ?4)");
      const int rc = insert.Bind(1, at.id).Bind(2, part).Bind(3, Fold(part)).Bind(4, NowMilliseconds()).Step();
      if (rc != SQLITE_DONE) return StepFailure(hive, rc);
      if (LSTATUS touched = Touch(hive, at.id)) return touched;
      id = sqlite3_last_insert_rowid(hive.Db());
      stored = part;
      created = true;
    }
    at.id = id;
    at.path += "\\" + stored;
  }
  if (LSTATUS rc = transaction.Commit()) return rc;
  at.access = desired;
  *result = NewHandle(hive, at);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result) {
  (void)options;
  if (!result) return Fail(ERROR_INVALID_PARAMETER, "RegOpenKeyExA needs somewhere to put the new handle.");
  *result = nullptr;
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey from;
  if (LSTATUS rc = Resolve(hive, key, &from)) return rc;
  std::vector<std::string> parts;
  if (LSTATUS rc = SplitPath(subKey, &parts)) return rc;
  Transaction transaction(hive, Access::Read);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, from)) return rc;
  OpenKey found;
  if (LSTATUS rc = Walk(hive, from, parts, &found)) return rc;
  found.access = desired;
  *result = NewHandle(hive, found);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) {
  if (reserved) return Fail(ERROR_INVALID_PARAMETER, "RegQueryValueExA: the reserved argument must be null.");
  if (data && !dataSize) return Fail(ERROR_INVALID_PARAMETER, "RegQueryValueExA: a data buffer needs its size.");
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, KEY_QUERY_VALUE, "reading values")) return rc;
  Transaction transaction(hive, Access::Read);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  const std::string name = ValueName(valueName);
  Query query(hive, "SELECT type, data FROM vals WHERE key=?1 AND folded=?2");
  const int rc = query.Bind(1, at.id).Bind(2, Fold(name)).Step();
  if (rc == SQLITE_DONE) return Fail(ERROR_FILE_NOT_FOUND, "The value " + ShownValueName(name) + " does not exist in " + at.path + ".");
  if (rc != SQLITE_ROW) return StepFailure(hive, rc);
  const DWORD size = static_cast<DWORD>(query.Bytes(1));
  if (type) *type = static_cast<DWORD>(query.Int(0));
  if (!data) {
    if (dataSize) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    *dataSize = size;
    return Fail(ERROR_MORE_DATA, "The value " + ShownValueName(name) + " in " + at.path + " holds " + std::to_string(size) +
                                     " bytes, more than the buffer takes.");
  }
  if (size) std::memcpy(data, query.Blob(1), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize) {
  (void)reserved;
  if (!data && dataSize) return Fail(ERROR_INVALID_PARAMETER, "RegSetValueExA: no data given for " + std::to_string(dataSize) + " bytes.");
  const std::string name = ValueName(valueName);
  if (name.size() > kMaxValueNameLength) return Fail(ERROR_INVALID_PARAMETER, "The value name is longer than 16383 characters.");
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, KEY_SET_VALUE, "writing values")) return rc;
  Transaction transaction(hive, Access::Write);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  {
    // An existing value keeps its name's case and its place in the enumeration order.
    Query upsert(hive,
                 "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                 " ON CONFLICT(key, folded) DO UPDATE SET type=excluded.type, data=excluded.data");
    const int rc = upsert.Bind(1, at.id).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<int64_t>(type)).BindBlob(5, data, dataSize).Step();
    if (rc != SQLITE_DONE) return StepFailure(hive, rc);
  }
  if (LSTATUS rc = Touch(hive, at.id)) return rc;
  return transaction.Commit();
}

LSTATUS RegCloseKey(HKEY key) {
  if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  if (hive.handles.erase(reinterpret_cast<uintptr_t>(key)) == 0) {
    return Fail(ERROR_INVALID_HANDLE, "The registry key handle is not open.");
  }
  return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueA(HKEY key, const char* valueName) {
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, KEY_SET_VALUE, "writing values")) return rc;
  Transaction transaction(hive, Access::Write);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  const std::string name = ValueName(valueName);
  {
    Query remove(hive, "DELETE FROM vals WHERE key=?1 AND folded=?2");
    const int rc = remove.Bind(1, at.id).Bind(2, Fold(name)).Step();
    if (rc != SQLITE_DONE) return StepFailure(hive, rc);
  }
  if (sqlite3_changes(hive.Db()) == 0) return Fail(ERROR_FILE_NOT_FOUND, "The value " + ShownValueName(name) + " does not exist in " + at.path + ".");
  if (LSTATUS rc = Touch(hive, at.id)) return rc;
  return transaction.Commit();
}

namespace {

enum class Removal { KeyOnly, Tree };

LSTATUS DeleteKey(HKEY key, const char* subKey, Removal removal) {
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, kWriteRights, "changes")) return rc;
  std::vector<std::string> parts;
  if (LSTATUS rc = SplitPath(subKey, &parts)) return rc;
  Transaction transaction(hive, Access::Write);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  OpenKey target;
  if (LSTATUS rc = Walk(hive, at, parts, &target)) return rc;
  // Without a subkey the tree removal empties the key itself but keeps it.
  const bool keepTop = removal == Removal::Tree && parts.empty();
  if (target.id == kRootId && !keepTop) return Fail(ERROR_ACCESS_DENIED, "HKEY_CURRENT_USER itself cannot be deleted.");
  if (removal == Removal::KeyOnly) {
    Query children(hive, "SELECT 1 FROM keys WHERE parent=?1 LIMIT 1");
    const int rc = children.Bind(1, target.id).Step();
    if (rc == SQLITE_ROW) return Fail(ERROR_ACCESS_DENIED, "The registry key " + target.path + " has subkeys and cannot be deleted alone.");
    if (rc != SQLITE_DONE) return StepFailure(hive, rc);
  }
  if (LSTATUS rc = DeleteSubtree(hive, target.id, keepTop)) return rc;
  return transaction.Commit();
}

}  // namespace

LSTATUS RegDeleteKeyA(HKEY key, const char* subKey) {
  if (!subKey) return Fail(ERROR_INVALID_PARAMETER, "RegDeleteKeyA needs the name of the key to delete.");
  return DeleteKey(key, subKey, Removal::KeyOnly);
}

LSTATUS RegDeleteTreeA(HKEY key, const char* subKey) { return DeleteKey(key, subKey, Removal::Tree); }

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameSize, DWORD* reserved, char* keyClass, DWORD* classSize,
                      void* lastWriteTime) {
  if (!name || !nameSize) return Fail(ERROR_INVALID_PARAMETER, "RegEnumKeyExA needs a name buffer and its size.");
  if (reserved) return Fail(ERROR_INVALID_PARAMETER, "RegEnumKeyExA: the reserved argument must be null.");
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, KEY_ENUMERATE_SUB_KEYS, "listing subkeys")) return rc;
  Transaction transaction(hive, Access::Read);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  Query query(hive, "SELECT name, written FROM keys WHERE parent=?1 ORDER BY folded LIMIT 1 OFFSET ?2");
  const int rc = query.Bind(1, at.id).Bind(2, static_cast<int64_t>(index)).Step();
  if (rc == SQLITE_DONE) return Fail(ERROR_NO_MORE_ITEMS, "There are no more subkeys in " + at.path + ".");
  if (rc != SQLITE_ROW) return StepFailure(hive, rc);
  const std::string found = query.Text(0);
  if (found.size() + 1 > *nameSize) return Fail(ERROR_MORE_DATA, "The subkey name is longer than the buffer takes.");
  std::memcpy(name, found.c_str(), found.size() + 1);
  *nameSize = static_cast<DWORD>(found.size());
  if (classSize) {
    if (keyClass && *classSize > 0) keyClass[0] = '\0';
    *classSize = 0;
  }
  if (lastWriteTime) WriteFileTime(lastWriteTime, query.Int(1));
  return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
  if (!valueName || !valueNameSize) return Fail(ERROR_INVALID_PARAMETER, "RegEnumValueA needs a name buffer and its size.");
  if (reserved) return Fail(ERROR_INVALID_PARAMETER, "RegEnumValueA: the reserved argument must be null.");
  if (data && !dataSize) return Fail(ERROR_INVALID_PARAMETER, "RegEnumValueA: a data buffer needs its size.");
  Hive& hive = TheHive();
  std::lock_guard lock(hive.mutex);
  OpenKey at;
  if (LSTATUS rc = Resolve(hive, key, &at)) return rc;
  if (LSTATUS rc = CheckRight(at, KEY_QUERY_VALUE, "reading values")) return rc;
  Transaction transaction(hive, Access::Read);
  if (LSTATUS rc = transaction.Status()) return rc;
  if (LSTATUS rc = CheckAlive(hive, at)) return rc;
  Query query(hive, "SELECT name, type, data FROM vals WHERE key=?1 ORDER BY id LIMIT 1 OFFSET ?2");
  const int rc = query.Bind(1, at.id).Bind(2, static_cast<int64_t>(index)).Step();
  if (rc == SQLITE_DONE) return Fail(ERROR_NO_MORE_ITEMS, "There are no more values in " + at.path + ".");
  if (rc != SQLITE_ROW) return StepFailure(hive, rc);
  const std::string found = query.Text(0);
  if (found.size() + 1 > *valueNameSize) return Fail(ERROR_MORE_DATA, "The value name is longer than the buffer takes.");
  std::memcpy(valueName, found.c_str(), found.size() + 1);
  *valueNameSize = static_cast<DWORD>(found.size());
  if (type) *type = static_cast<DWORD>(query.Int(1));
  const DWORD size = static_cast<DWORD>(query.Bytes(2));
  if (data && *dataSize < size) {
    *dataSize = size;
    return Fail(ERROR_MORE_DATA, "The value " + ShownValueName(found) + " holds more bytes than the buffer takes.");
  }
  if (data && size) std::memcpy(data, query.Blob(2), size);
  if (dataSize) *dataSize = size;
  return ERROR_SUCCESS;
}

std::string RegHivePath() { return ComputeHivePath(); }

std::string RegLastErrorText() { return lastErrorText; }
