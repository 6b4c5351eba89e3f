#include "platform/sqlite_provider.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>

namespace keystrel::platform {
namespace {

using detail::ChildStats;
using detail::KeyNode;
using detail::ValueRecord;

constexpr std::int32_t kApplicationId = 0x4B535452;  // "KSTR"
constexpr int kSchemaVersion = 2;
constexpr std::size_t kMaxCachedKeys = 500000;
constexpr int kWalIndexRegionSize = 32768;
constexpr std::uint32_t kWalIndexVersion = 3007000;

constexpr const char* kSchema = R"sql(
CREATE TABLE keys(
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  parent INTEGER NOT NULL,
  name BLOB NOT NULL,
  folded BLOB NOT NULL,
  class BLOB NOT NULL,
  access_grant INTEGER NOT NULL,
  flags INTEGER NOT NULL,
  mtime INTEGER NOT NULL);
CREATE UNIQUE INDEX keys_by_name ON keys(parent, folded);
CREATE TABLE vals(
  key INTEGER NOT NULL,
  folded BLOB NOT NULL,
  seq INTEGER NOT NULL,
  name BLOB NOT NULL,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  mtime INTEGER NOT NULL,
  PRIMARY KEY(key, folded)) WITHOUT ROWID;
CREATE INDEX vals_in_order ON vals(key, seq);
CREATE TABLE meta(name TEXT PRIMARY KEY, value) WITHOUT ROWID;
)sql";

// A key's last write time: its own (creation, subkeys, deleted values) or its
// newest value's, whichever is later. Keeping value writes off the key's row
// makes setting a value touch one page.
#define KEYSTREL_LAST_WRITE \
  "max(mtime, coalesce((SELECT max(v.mtime) FROM vals v WHERE v.key = keys.id), 0))"

// Names are stored as UTF-16LE as written; folded names as UTF-16BE so the
// index's byte order is the ordinal UTF-16 order subkeys enumerate in.
constexpr const char* kStatements[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "PRAGMA data_version",
    "SELECT parent, name, folded, class, access_grant, flags, " KEYSTREL_LAST_WRITE
    " FROM keys WHERE id = ?1",
    "SELECT id, name, folded, class, access_grant, flags, " KEYSTREL_LAST_WRITE
    " FROM keys WHERE parent = ?1 AND folded = ?2",
    "SELECT id, name, folded, class, access_grant, flags, " KEYSTREL_LAST_WRITE
    " FROM keys WHERE parent = ?1 ORDER BY folded",
    "SELECT name, folded, type, data, seq, mtime FROM vals WHERE key = ?1 ORDER BY seq",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT count(*), coalesce(max(length(name)), 0) / 2, coalesce(max(length(class)), 0) / 2"
    " FROM keys WHERE parent = ?1",
    "INSERT INTO keys(parent, name, folded, class, access_grant, flags, mtime)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    "DELETE FROM keys WHERE id = ?1",
    "DELETE FROM vals WHERE key = ?1",
    "INSERT INTO vals(key, folded, seq, name, type, data, mtime)"
    " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)",
    "UPDATE vals SET type = ?3, data = ?4, mtime = ?5 WHERE key = ?1 AND folded = ?2",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "UPDATE keys SET mtime = ?2 WHERE id = ?1",
    "UPDATE keys SET access_grant = ?2 WHERE id = ?1",
    "DELETE FROM vals",
    "DELETE FROM keys",
};
#undef KEYSTREL_LAST_WRITE

// The one mapping from SQLite's result codes to the platform's.
Status StatusFromSqlite(int rc, const char* message) {
  std::string text = message ? message : sqlite3_errstr(rc);
  switch (rc & 0xFF) {
    case SQLITE_NOTADB: return Status(StatusCode::kBadDb, text);
    case SQLITE_CORRUPT: return Status(StatusCode::kRegistryCorrupt, text);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: return Status(StatusCode::kCantOpen, text);
    case SQLITE_READONLY:
    case SQLITE_FULL:
    case SQLITE_TOOBIG: return Status(StatusCode::kCantWrite, text);
    case SQLITE_NOMEM: return Status(StatusCode::kOutOfMemory, text);
    case SQLITE_IOERR:
      if (rc == SQLITE_IOERR_READ || rc == SQLITE_IOERR_SHORT_READ) {
        return Status(StatusCode::kCantRead, text);
      }
      if (rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_FSYNC) {
        return Status(StatusCode::kCantWrite, text);
      }
      return Status(StatusCode::kIoFailed, text);
    default: return Status(StatusCode::kIoFailed, text);  // BUSY/LOCKED past the timeout too
  }
}

// A statement in use; reset (and its bindings cleared) when the scope ends.
class Use {
 public:
  explicit Use(sqlite3_stmt* stmt) : stmt_(stmt) {}
  ~Use() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  Use& Int(int index, std::int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Use& Blob(int index, const void* data, std::size_t size) {
    // Empty blobs are bound as zero-length blobs, never NULL.
    static const char kEmpty = 0;
    sqlite3_bind_blob64(stmt_, index, size ? data : &kEmpty, size, SQLITE_STATIC);
    return *this;
  }
  Use& Text16(int index, std::u16string_view text) {
    return Blob(index, text.data(), text.size() * sizeof(char16_t));
  }
  int Step() { return sqlite3_step(stmt_); }
  std::int64_t ColumnInt(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string_view ColumnBlob(int column) const {
    const void* data = sqlite3_column_blob(stmt_, column);
    int size = sqlite3_column_bytes(stmt_, column);
    return data ? std::string_view(static_cast<const char*>(data), size) : std::string_view();
  }
  std::u16string ColumnText16(int column) const {
    std::string_view bytes = ColumnBlob(column);
    std::u16string text(bytes.size() / sizeof(char16_t), u'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes.data(), text.size() * sizeof(char16_t));
    return text;
  }
  std::u16string ColumnFolded(int column) const {
    std::string_view bytes = ColumnBlob(column);
    std::u16string text(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
      text[i] = static_cast<char16_t>((static_cast<unsigned char>(bytes[2 * i]) << 8) |
                                      static_cast<unsigned char>(bytes[2 * i + 1]));
    }
    return text;
  }

 private:
  sqlite3_stmt* stmt_;
};

const std::string& BigEndian(std::u16string_view folded, std::string& out) {
  out.resize(folded.size() * 2);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    out[2 * i] = static_cast<char>(folded[i] >> 8);
    out[2 * i + 1] = static_cast<char>(folded[i] & 0xFF);
  }
  return out;
}

// Columns id/parent(0), name(1), folded(2), class(3), grant(4), flags(5), mtime(6).
std::unique_ptr<KeyNode> NodeFromRow(const Use& row, KeyId id, KeyId parent) {
  auto node = std::make_unique<KeyNode>();
  node->id = id;
  node->parent = parent;
  node->name = row.ColumnText16(1);
  node->folded = row.ColumnFolded(2);
  node->class_name = row.ColumnText16(3);
  node->grant = static_cast<std::uint32_t>(row.ColumnInt(4));
  node->flags = static_cast<std::uint32_t>(row.ColumnInt(5));
  node->last_write = static_cast<std::uint64_t>(row.ColumnInt(6));
  return node;
}

// Creates the missing folders of `path` (mode 0700) and the file (mode 0600).
Status CreateFile(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return Status(StatusCode::kCantOpen, "cannot create " + folder + ": " + std::strerror(errno));
    }
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return Status(StatusCode::kCantOpen, "cannot open " + path + ": " + std::strerror(errno));
  }
  struct stat info;
  bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  if (!regular) return Status(StatusCode::kCantOpen, path + " is not a file");
  return Status();
}

// The kernel's id of this boot (hex digits and dashes), empty when unknown.
std::string BootId() {
  std::ifstream in("/proc/sys/kernel/random/boot_id");
  std::string id;
  std::getline(in, id);
  for (char c : id) {
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '-') return {};
  }
  return id;
}

}  // namespace

SqliteProvider::SqliteProvider(std::u16string user)
    : TreeProvider(/*resident=*/false, user.empty() ? detail::CurrentUserKeyName() : user) {}

SqliteProvider::~SqliteProvider() {
  for (sqlite3_stmt* stmt : stmts_) sqlite3_finalize(stmt);
  sqlite3_close_v2(db_);
}

Result<std::shared_ptr<SqliteProvider>> SqliteProvider::Open(const std::string& path,
                                                             std::u16string user) {
  if (path.empty()) return Status(StatusCode::kCantOpen, "no file named");
  std::shared_ptr<SqliteProvider> provider(new SqliteProvider(std::move(user)));
  if (Status opened = provider->OpenFile(path); !opened.ok()) return opened;
  if (Status skeleton = provider->EnsureSkeleton(); !skeleton.ok()) return skeleton;
  return provider;
}

Status SqliteProvider::Fail(int rc) const {
  return StatusFromSqlite(rc, db_ ? sqlite3_errmsg(db_) : nullptr);
}

Status SqliteProvider::OpenFile(const std::string& path) {
  if (Status created = CreateFile(path); !created.ok()) return created;
  int rc = sqlite3_open_v2(path.c_str(), &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) return Fail(rc);
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, kBusyTimeoutMs);
  // WAL: readers never block the writer, and its shared index is what keeps
  // the tree coherent cheaply. NORMAL: a commit is in the WAL before the call
  // returns, so it survives the process being killed at any moment; only a
  // machine crash can lose the last commits (never the file's consistency),
  // and a commit costs tens of microseconds instead of an fsync.
  rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr,
                    nullptr);
  if (rc != SQLITE_OK) return Fail(rc);
  if (Status schema = CheckSchema(); !schema.ok()) return schema;
  if (Status prepared = PrepareStatements(); !prepared.ok()) return prepared;
  if (Status dropped = DropVolatileKeysAfterBoot(); !dropped.ok()) return dropped;
  MapWalIndex();
  return Status();
}

Status SqliteProvider::CheckSchema() {
  auto read_state = [&](std::int64_t* app_id, std::int64_t* version, std::int64_t* tables) {
    const char* sql =
        "SELECT (SELECT application_id FROM pragma_application_id),"
        " (SELECT user_version FROM pragma_user_version),"
        " (SELECT count(*) FROM sqlite_master)";
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) {
        *app_id = sqlite3_column_int64(stmt, 0);
        *version = sqlite3_column_int64(stmt, 1);
        *tables = sqlite3_column_int64(stmt, 2);
        rc = SQLITE_OK;
      }
    }
    sqlite3_finalize(stmt);
    return rc;
  };
  std::int64_t app_id = 0, version = 0, tables = 0;
  int rc = read_state(&app_id, &version, &tables);
  if (rc != SQLITE_OK) return Fail(rc);
  if (app_id == 0 && tables == 0) {
    // A new file: create the schema once, even when several processes race.
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc);
    rc = read_state(&app_id, &version, &tables);
    if (rc == SQLITE_OK && app_id == 0 && tables == 0) {
      std::string create = std::string(kSchema) +
                           "PRAGMA application_id=" + std::to_string(kApplicationId) +
                           "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
      rc = sqlite3_exec(db_, create.c_str(), nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) {
        app_id = kApplicationId;
        version = kSchemaVersion;
      }
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      Status failed = Fail(rc);
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return failed;
    }
  }
  if (app_id != kApplicationId) {
    return Status(StatusCode::kBadDb, "not a registry database");
  }
  if (version == 1) {
    // Version 1 kept no write time on values: theirs start at 0, so a key's
    // own time stands until a value is written again.
    rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return Fail(rc);
    rc = read_state(&app_id, &version, &tables);
    if (rc == SQLITE_OK && version == 1) {
      rc = sqlite3_exec(db_,
                        "ALTER TABLE vals ADD COLUMN mtime INTEGER NOT NULL DEFAULT 0;"
                        "PRAGMA user_version=2;",
                        nullptr, nullptr, nullptr);
      if (rc == SQLITE_OK) version = 2;
    }
    if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      Status failed = Fail(rc);
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      return failed;
    }
  }
  if (version != kSchemaVersion) {
    return Status(StatusCode::kBadDb, "registry database of another version");
  }
  return Status();
}

Status SqliteProvider::PrepareStatements() {
  for (int i = 0; i < kStmtCount; ++i) {
    int rc = sqlite3_prepare_v3(db_, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i],
                                nullptr);
    if (rc != SQLITE_OK) return Fail(rc);
  }
  return Status();
}

// Volatile keys last until the machine starts again: the first process of a
// new boot removes them (their subkeys are volatile too).
Status SqliteProvider::DropVolatileKeysAfterBoot() {
  std::string boot = BootId();
  if (boot.empty()) return Status();
  sqlite3_stmt* stmt = nullptr;
  std::string recorded;
  int rc = sqlite3_prepare_v2(db_, "SELECT value FROM meta WHERE name = 'boot'", -1, &stmt,
                              nullptr);
  if (rc == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW) {
    if (const unsigned char* text = sqlite3_column_text(stmt, 0)) {
      recorded = reinterpret_cast<const char*>(text);
    }
  }
  sqlite3_finalize(stmt);
  if (rc != SQLITE_OK) return Fail(rc);
  if (recorded == boot) return Status();
  // Checked again inside the transaction: another process of this boot may
  // have cleaned up (and made new volatile keys) since the read above.
  const std::string stale = "coalesce((SELECT value FROM meta WHERE name = 'boot'), '') <> '" +
                            boot + "'";
  std::string sql =
      "BEGIN IMMEDIATE;"
      "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE flags & 1) AND " + stale + ";"
      "DELETE FROM keys WHERE flags & 1 AND " + stale + ";"
      "INSERT OR REPLACE INTO meta(name, value) VALUES('boot', '" + boot + "');"
      "COMMIT;";
  rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
  if (rc == SQLITE_READONLY) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return Status();  // a read-only registry keeps what it has
  }
  if (rc != SQLITE_OK) {
    Status failed = Fail(rc);
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    return failed;
  }
  return Status();
}

// SQLite's own mapping of the WAL index (the -shm file): its 48-byte header
// is rewritten by every commit of every process.
void SqliteProvider::MapWalIndex() {
  sqlite3_file* file = nullptr;
  if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
      !file->pMethods || file->pMethods->iVersion < 2 || !file->pMethods->xShmMap) {
    return;
  }
  // A read makes sure the index exists before it is mapped without extending.
  sqlite3_exec(db_, "SELECT count(*) FROM meta", nullptr, nullptr, nullptr);
  void volatile* region = nullptr;
  if (file->pMethods->xShmMap(file, 0, kWalIndexRegionSize, 0, &region) != SQLITE_OK || !region) {
    return;
  }
  std::uint32_t version = 0;
  std::memcpy(&version, const_cast<const void*>(region), sizeof(version));
  if (version != kWalIndexVersion) return;
  wal_header_ = static_cast<const std::uint64_t*>(const_cast<const void*>(region));
}

bool SqliteProvider::WalHeaderUnchanged() const {
  if (!wal_header_) return false;
  // Word by word: a read torn by a writer updating the header can only look
  // different, which costs a check and nothing more.
  for (std::size_t i = 0; i < known_header_.size(); ++i) {
    if (__atomic_load_n(&wal_header_[i], __ATOMIC_ACQUIRE) != known_header_[i]) return false;
  }
  return true;
}

void SqliteProvider::RememberWalHeader() {
  if (!wal_header_) return;
  for (std::size_t i = 0; i < known_header_.size(); ++i) {
    known_header_[i] = __atomic_load_n(&wal_header_[i], __ATOMIC_ACQUIRE);
  }
}

Status SqliteProvider::Run(Stmt stmt) {
  Use use(stmts_[stmt]);
  int rc = use.Step();
  return rc == SQLITE_DONE || rc == SQLITE_ROW ? Status() : Fail(rc);
}

Result<std::int64_t> SqliteProvider::DataVersion() {
  Use use(stmts_[kDataVersion]);
  int rc = use.Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  return use.ColumnInt(0);
}

// --- Transactions and coherence ---

Status SqliteProvider::BeginRead() {
  if (TreeSize() > kMaxCachedKeys) DropTree();
  if (!recheck_ && WalHeaderUnchanged()) return Status();
  // The header is taken before the snapshot: the snapshot is at least as new
  // as the header says, so seeing this header again later proves nothing
  // was committed in between.
  RememberWalHeader();
  if (Status begun = Run(kBegin); !begun.ok()) return begun;
  in_read_ = true;
  Result<std::int64_t> version = DataVersion();
  if (!version.ok()) return version.status();
  if (version.value() != known_data_version_) {
    DropTree();
    known_data_version_ = version.value();
  }
  recheck_ = !wal_header_;
  return Status();
}

void SqliteProvider::EndRead() {
  if (!in_read_) return;
  in_read_ = false;
  if (!Run(kCommit).ok()) Run(kRollback).ok();
}

// A load outside a transaction (the header said nothing changed) opens one;
// if a commit slipped in since, the call runs again on a fresh tree.
Status SqliteProvider::EnsureSnapshot() {
  if (in_read_ || in_write_) return Status();
  if (Status begun = Run(kBegin); !begun.ok()) return begun;
  in_read_ = true;
  Result<std::int64_t> version = DataVersion();
  if (!version.ok()) return version.status();
  if (version.value() != known_data_version_) {
    recheck_ = true;
    return Status(StatusCode::kRetry);
  }
  return Status();
}

Status SqliteProvider::BeginWrite() {
  if (TreeSize() > kMaxCachedKeys) DropTree();
  if (Status begun = Run(kBeginImmediate); !begun.ok()) return begun;
  in_write_ = true;
  Result<std::int64_t> version = DataVersion();
  if (!version.ok()) {
    AbortWrite(false);
    return version.status();
  }
  if (version.value() != known_data_version_) {
    DropTree();
    known_data_version_ = version.value();
  }
  // Our own commit moves the header; the next call checks the version again
  // (which our own commits leave alone).
  recheck_ = true;
  return Status();
}

Status SqliteProvider::CommitWrite() {
  Status committed = Run(kCommit);
  in_write_ = false;
  if (!committed.ok()) {
    Run(kRollback).ok();
    DropTree();
  }
  return committed;
}

void SqliteProvider::AbortWrite(bool tree_changed) {
  Run(kRollback).ok();
  in_write_ = false;
  if (tree_changed) DropTree();
}

// --- Loading ---

Status SqliteProvider::LoadKey(KeyId id) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use row(stmts_[kSelectKey]);
  row.Int(1, id);
  int rc = row.Step();
  if (rc == SQLITE_DONE) return Status::KeyDeleted();
  if (rc != SQLITE_ROW) return Fail(rc);
  AddNode(NodeFromRow(row, id, row.ColumnInt(0)));
  return Status();
}

Result<KeyNode*> SqliteProvider::LoadChild(KeyNode& parent, std::u16string_view folded) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use row(stmts_[kSelectChild]);
  const std::string& key = BigEndian(folded, scratch_);
  row.Int(1, parent.id).Blob(2, key.data(), key.size());
  int rc = row.Step();
  if (rc == SQLITE_DONE) return static_cast<KeyNode*>(nullptr);
  if (rc != SQLITE_ROW) return Fail(rc);
  return AddNode(NodeFromRow(row, row.ColumnInt(0), parent.id));
}

Status SqliteProvider::LoadChildren(KeyNode& parent) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use rows(stmts_[kSelectChildren]);
  rows.Int(1, parent.id);
  std::vector<KeyNode*> children;
  int rc;
  while ((rc = rows.Step()) == SQLITE_ROW) {
    KeyId id = rows.ColumnInt(0);
    KeyNode* child = FindNode(id);
    if (!child) child = Adopt(NodeFromRow(rows, id, parent.id));
    children.push_back(child);
  }
  if (rc != SQLITE_DONE) return Fail(rc);
  parent.children = std::move(children);
  parent.children_complete = true;
  return Status();
}

Status SqliteProvider::LoadValues(KeyNode& key) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use rows(stmts_[kSelectValues]);
  rows.Int(1, key.id);
  std::vector<ValueRecord> values;
  int rc;
  while ((rc = rows.Step()) == SQLITE_ROW) {
    ValueRecord value;
    value.name = rows.ColumnText16(0);
    value.folded = rows.ColumnFolded(1);
    value.type = static_cast<std::uint32_t>(rows.ColumnInt(2));
    value.data = std::string(rows.ColumnBlob(3));
    value.seq = rows.ColumnInt(4);
    value.last_write = static_cast<std::uint64_t>(rows.ColumnInt(5));
    values.push_back(std::move(value));
  }
  if (rc != SQLITE_DONE) return Fail(rc);
  key.values = std::move(values);
  key.values_complete = true;
  key.value_index_valid = false;
  return Status();
}

Result<bool> SqliteProvider::HasChildren(const KeyNode& key) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use row(stmts_[kHasChildren]);
  row.Int(1, key.id);
  int rc = row.Step();
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  return Fail(rc);
}

Result<ChildStats> SqliteProvider::LoadChildStats(const KeyNode& key) {
  if (Status snapshot = EnsureSnapshot(); !snapshot.ok()) return snapshot;
  Use row(stmts_[kChildStats]);
  row.Int(1, key.id);
  int rc = row.Step();
  if (rc != SQLITE_ROW) return Fail(rc);
  ChildStats stats;
  stats.count = static_cast<std::uint32_t>(row.ColumnInt(0));
  stats.max_name_len = static_cast<std::uint32_t>(row.ColumnInt(1));
  stats.max_class_len = static_cast<std::uint32_t>(row.ColumnInt(2));
  return stats;
}

// --- Writing through ---

Result<KeyId> SqliteProvider::InsertKey(const KeyNode& node) {
  Use use(stmts_[kInsertKey]);
  const std::string& folded = BigEndian(node.folded, scratch_);
  use.Int(1, node.parent)
      .Text16(2, node.name)
      .Blob(3, folded.data(), folded.size())
      .Text16(4, node.class_name)
      .Int(5, node.grant)
      .Int(6, node.flags)
      .Int(7, static_cast<std::int64_t>(node.last_write));
  int rc = use.Step();
  if (rc != SQLITE_DONE) return Fail(rc);
  return static_cast<KeyId>(sqlite3_last_insert_rowid(db_));
}

Status SqliteProvider::RemoveKey(const KeyNode& node) {
  {
    Use values(stmts_[kDeleteKeyValues]);
    values.Int(1, node.id);
    if (int rc = values.Step(); rc != SQLITE_DONE) return Fail(rc);
  }
  Use key(stmts_[kDeleteKey]);
  key.Int(1, node.id);
  if (int rc = key.Step(); rc != SQLITE_DONE) return Fail(rc);
  return Status();
}

Status SqliteProvider::WriteValue(const KeyNode& key, const ValueRecord& value, bool is_new) {
  const std::string& folded = BigEndian(value.folded, scratch_);
  if (is_new) {
    Use use(stmts_[kInsertValue]);
    use.Int(1, key.id)
        .Blob(2, folded.data(), folded.size())
        .Int(3, value.seq)
        .Text16(4, value.name)
        .Int(5, value.type)
        .Blob(6, value.data.data(), value.data.size())
        .Int(7, static_cast<std::int64_t>(value.last_write));
    if (int rc = use.Step(); rc != SQLITE_DONE) return Fail(rc);
    return Status();
  }
  Use use(stmts_[kUpdateValue]);
  use.Int(1, key.id)
      .Blob(2, folded.data(), folded.size())
      .Int(3, value.type)
      .Blob(4, value.data.data(), value.data.size())
      .Int(5, static_cast<std::int64_t>(value.last_write));
  if (int rc = use.Step(); rc != SQLITE_DONE) return Fail(rc);
  return Status();
}

Status SqliteProvider::RemoveValue(const KeyNode& key, const ValueRecord& value) {
  Use use(stmts_[kDeleteValue]);
  const std::string& folded = BigEndian(value.folded, scratch_);
  use.Int(1, key.id).Blob(2, folded.data(), folded.size());
  if (int rc = use.Step(); rc != SQLITE_DONE) return Fail(rc);
  return Status();
}

Status SqliteProvider::TouchKey(KeyId key, std::uint64_t last_write) {
  if (key == 0) return Status();
  Use use(stmts_[kTouchKey]);
  use.Int(1, key).Int(2, static_cast<std::int64_t>(last_write));
  if (int rc = use.Step(); rc != SQLITE_DONE) return Fail(rc);
  return Status();
}

Status SqliteProvider::WriteGrant(const KeyNode& key) {
  Use use(stmts_[kWriteGrant]);
  use.Int(1, key.id).Int(2, key.grant);
  if (int rc = use.Step(); rc != SQLITE_DONE) return Fail(rc);
  return Status();
}

Status SqliteProvider::RemoveAll() {
  if (Status values = Run(kDeleteAllValues); !values.ok()) return values;
  return Run(kDeleteAllKeys);
}

}  // namespace keystrel::platform
