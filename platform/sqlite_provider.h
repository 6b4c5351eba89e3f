// SqliteProvider: the registry kept in one SQLite file, shared by every
// process that opens it.
//
// Every changing call is one IMMEDIATE transaction (writers queue behind a
// busy timeout instead of failing) in WAL mode with synchronous=NORMAL, so a
// call that returned has its change in the file whatever happens to the
// process afterwards (a machine crash may lose the last commits, never the
// file's consistency).
//
// Reads are served from the in-process tree of TreeProvider, loaded lazily.
// The tree stays coherent with other processes' commits without a system call
// per read: each call compares the WAL index header in shared memory (which
// SQLite rewrites on every commit) with the copy taken when the tree was last
// known good; only when it moved does the call open a read transaction and
// ask PRAGMA data_version whether another connection committed, dropping the
// tree when so.
//
// Errors of the file map to the platform's registry errors: not a registry
// database 1009, damaged 1015, cannot open 1011, cannot write 1013, I/O or a
// lock held past the timeout 1016.
//
// Thread safety: safe from any thread. Not across fork(): a child process
// opens its own.
#ifndef KEYSTREL_PLATFORM_SQLITE_PROVIDER_H_
#define KEYSTREL_PLATFORM_SQLITE_PROVIDER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/internal/tree_provider.h"

struct sqlite3;
struct sqlite3_stmt;

namespace keystrel::platform {

class SqliteProvider final : public detail::TreeProvider {
 public:
  // Opens (creating it, mode 0600, and its folder when missing) the file at
  // `path`. HKCU is HKU\`user` (the current user's name when empty).
  static Result<std::shared_ptr<SqliteProvider>> Open(const std::string& path,
                                                      std::u16string user = {});
  ~SqliteProvider() override;

  SqliteProvider(const SqliteProvider&) = delete;
  SqliteProvider& operator=(const SqliteProvider&) = delete;

  // How long a call waits for another process's write transaction.
  static constexpr int kBusyTimeoutMs = 30000;

 protected:
  Status BeginRead() override;
  void EndRead() override;
  Status BeginWrite() override;
  Status CommitWrite() override;
  void AbortWrite(bool tree_changed) override;
  Status LoadKey(KeyId id) override;
  Result<detail::KeyNode*> LoadChild(detail::KeyNode& parent, std::u16string_view folded) override;
  Status LoadChildren(detail::KeyNode& parent) override;
  Status LoadValues(detail::KeyNode& key) override;
  Result<bool> HasChildren(const detail::KeyNode& key) override;
  Result<detail::ChildStats> LoadChildStats(const detail::KeyNode& key) override;
  Result<KeyId> InsertKey(const detail::KeyNode& node) override;
  Status RemoveKey(const detail::KeyNode& node) override;
  Status WriteValue(const detail::KeyNode& key, const detail::ValueRecord& value,
                    bool is_new) override;
  Status RemoveValue(const detail::KeyNode& key, const detail::ValueRecord& value) override;
  Status TouchKey(KeyId key, std::uint64_t last_write) override;
  Status WriteGrant(const detail::KeyNode& key) override;
  Status RemoveAll() override;

 private:
  enum Stmt {
    kBegin, kBeginImmediate, kCommit, kRollback, kDataVersion,
    kSelectKey, kSelectChild, kSelectChildren, kSelectValues, kHasChildren, kChildStats,
    kInsertKey, kDeleteKey, kDeleteKeyValues, kInsertValue, kUpdateValue, kDeleteValue,
    kTouchKey, kWriteGrant, kDeleteAllValues, kDeleteAllKeys,
    kStmtCount
  };
  static constexpr std::size_t kWalHeaderSize = 48;

  explicit SqliteProvider(std::u16string user);
  Status OpenFile(const std::string& path);
  Status CheckSchema();
  Status DropVolatileKeysAfterBoot();
  Status PrepareStatements();
  void MapWalIndex();
  bool WalHeaderUnchanged() const;
  void RememberWalHeader();
  Status EnsureSnapshot();
  Result<std::int64_t> DataVersion();
  Status Run(Stmt stmt);
  Status Fail(int rc) const;

  sqlite3* db_ = nullptr;
  std::array<sqlite3_stmt*, kStmtCount> stmts_{};
  // SQLite's own shared mapping of the WAL index header, as 64-bit words.
  const std::uint64_t* wal_header_ = nullptr;
  std::array<std::uint64_t, kWalHeaderSize / 8> known_header_{};
  std::int64_t known_data_version_ = -1;
  bool recheck_ = true;     // validate against the file on the next call
  bool in_read_ = false;    // a read transaction is open
  bool in_write_ = false;
  std::string scratch_;     // a folded name in big-endian UTF-16
};

}  // namespace keystrel::platform

#endif  // KEYSTREL_PLATFORM_SQLITE_PROVIDER_H_
