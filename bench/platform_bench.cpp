// Platform benchmarks: the registry functions on each store, and the SQLite
// engine itself on the same file settings as the baseline to compare with.
//
// Run with --benchmark_repetitions=N and read the medians.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "platform/admin.h"
#include "platform/registry.h"

namespace keystrel::platform {
namespace {

// One folder for every file of the run, removed at exit.
const std::string& BenchFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/keystrel-bench-XXXXXX";
    std::string made = mkdtemp(pattern) ? pattern : "/tmp";
    std::atexit([] { std::filesystem::remove_all(BenchFolder()); });
    return made;
  }();
  return folder;
}

// Serves the local computer from a store of that kind; the SQLite file is
// kept for the whole run so its contents (and the enumeration keys) persist.
bool UseStore(StoreKind kind) {
  static StoreKind current = StoreKind::kMemory;
  static bool chosen = false;
  if (chosen && current == kind) return true;
  chosen = true;
  current = kind;
  return UseLocalStore(kind, BenchFolder() + "/registry.db") == 0;
}

HKEY CreateKey(HKEY root, const char* path) {
  HKEY key = nullptr;
  RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  return key;
}

void BM_OpenQueryClose(benchmark::State& state, StoreKind kind) {
  if (!UseStore(kind)) return state.SkipWithError("cannot open the store");
  HKEY seed = CreateKey(HKEY_CURRENT_USER, "Software\\KeystrelBench\\Query");
  const char text[] = "C:\\Program Files\\App";
  RegSetValueExA(seed, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
  RegCloseKey(seed);
  char buffer[64];
  for (auto _ : state) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KeystrelBench\\Query", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return state.SkipWithError("open failed");
    }
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    if (RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
      return state.SkipWithError("query failed");
    }
    benchmark::DoNotOptimize(buffer);
    RegCloseKey(key);
  }
}
BENCHMARK_CAPTURE(BM_OpenQueryClose, memory, StoreKind::kMemory);
BENCHMARK_CAPTURE(BM_OpenQueryClose, sqlite, StoreKind::kSqlite);

void BM_SetDword(benchmark::State& state, StoreKind kind) {
  if (!UseStore(kind)) return state.SkipWithError("cannot open the store");
  HKEY key = CreateKey(HKEY_CURRENT_USER, "Software\\KeystrelBench\\Set");
  DWORD value = 0;
  for (auto _ : state) {
    ++value;
    if (RegSetValueExA(key, "Counter", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) !=
        ERROR_SUCCESS) {
      RegCloseKey(key);
      return state.SkipWithError("set failed");
    }
  }
  RegCloseKey(key);
}
BENCHMARK_CAPTURE(BM_SetDword, memory, StoreKind::kMemory);
BENCHMARK_CAPTURE(BM_SetDword, sqlite, StoreKind::kSqlite);

// One iteration enumerates every subkey of a key holding `count` of them.
void BM_EnumKeys(benchmark::State& state, StoreKind kind) {
  if (!UseStore(kind)) return state.SkipWithError("cannot open the store");
  const auto count = static_cast<DWORD>(state.range(0));
  const std::string path = "Software\\KeystrelBench\\Enum" + std::to_string(count);
  HKEY key = CreateKey(HKEY_CURRENT_USER, path.c_str());
  DWORD existing = 0;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &existing, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr, nullptr);
  char name[32];
  for (DWORD i = existing; i < count; ++i) {
    std::snprintf(name, sizeof(name), "Subkey%06u", i);
    RegCloseKey(CreateKey(key, name));
  }
  for (auto _ : state) {
    DWORD seen = 0;
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof(name);
      LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc != ERROR_SUCCESS) break;
      ++seen;
    }
    if (seen != count) {
      RegCloseKey(key);
      return state.SkipWithError("wrong number of subkeys");
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * count);
  RegCloseKey(key);
}
BENCHMARK_CAPTURE(BM_EnumKeys, memory, StoreKind::kMemory)->Arg(1000)->Arg(100000);
BENCHMARK_CAPTURE(BM_EnumKeys, sqlite, StoreKind::kSqlite)->Arg(1000)->Arg(100000);

// The engine alone, on a file with the store's settings (WAL, synchronous=NORMAL).
class RawDb {
 public:
  RawDb() {
    std::string path = BenchFolder() + "/raw.db";
    sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_exec(db_,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                 "CREATE TABLE IF NOT EXISTS t(id INTEGER PRIMARY KEY, v BLOB);",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* fill = Prepare("INSERT OR REPLACE INTO t(id, v) VALUES(?1, 'C:\\Program Files')");
    for (int i = 0; i < 1000; ++i) {
      sqlite3_bind_int(fill, 1, i);
      sqlite3_step(fill);
      sqlite3_reset(fill);
    }
    sqlite3_finalize(fill);
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
  }
  ~RawDb() { sqlite3_close(db_); }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    return stmt;
  }

 private:
  sqlite3* db_ = nullptr;
};

void BM_SqliteRawRead(benchmark::State& state) {
  RawDb db;
  sqlite3_stmt* select = db.Prepare("SELECT v FROM t WHERE id = ?1");
  int id = 0;
  for (auto _ : state) {
    sqlite3_bind_int(select, 1, id++ % 1000);
    if (sqlite3_step(select) != SQLITE_ROW) return state.SkipWithError("select failed");
    benchmark::DoNotOptimize(sqlite3_column_blob(select, 0));
    sqlite3_reset(select);
  }
  sqlite3_finalize(select);
}
BENCHMARK(BM_SqliteRawRead);

void BM_SqliteRawCommit(benchmark::State& state) {
  RawDb db;
  sqlite3_stmt* upsert = db.Prepare("INSERT OR REPLACE INTO t(id, v) VALUES(?1, ?2)");
  int value = 0;
  for (auto _ : state) {
    ++value;
    sqlite3_bind_int(upsert, 1, 7);
    sqlite3_bind_blob(upsert, 2, &value, sizeof(value), SQLITE_TRANSIENT);
    if (sqlite3_step(upsert) != SQLITE_DONE) return state.SkipWithError("insert failed");
    sqlite3_reset(upsert);
  }
  sqlite3_finalize(upsert);
}
BENCHMARK(BM_SqliteRawCommit);

}  // namespace
}  // namespace keystrel::platform
