#include "platform/stores.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/handle_table.h"
#include "frame/ustring.h"
#include "platform/key_name.h"
#include "platform/memory_provider.h"
#include "platform/sqlite_provider.h"

namespace keystrel::platform {
namespace {

constexpr std::string_view kMemoryLocation = "memory:";

struct Computer {
  StoreKind kind = StoreKind::kMemory;
  std::string location;
  StoreRef store;  // opened on first connection, then kept
};

struct State {
  std::mutex mu;
  bool local_chosen = false;
  Result<StoreRef> local = StoreRef();
  std::map<std::u16string, Computer> added;     // by folded name
  std::map<std::u16string, Computer> from_file;  // by folded name
  bool file_read = false;
};

State& GetState() {
  static State* state = new State();
  return *state;
}

std::u16string_view StripLeadingSlashes(std::u16string_view name) {
  if (name.starts_with(u"\\\\")) name.remove_prefix(2);
  return name;
}

std::string Trim(std::string_view text) {
  std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  std::size_t end = text.find_last_not_of(" \t\r");
  return std::string(text.substr(begin, end - begin + 1));
}

// Lines NAME=location; blank lines and lines starting with # or ; are
// skipped. A relative location is taken from the file's own folder.
void ReadComputersFile(State& state) {
  state.file_read = true;
  const char* path = std::getenv("KEYSTREL_COMPUTERS");
  if (!path || !*path) return;
  std::ifstream in(path);
  std::string folder(path);
  folder = folder.find('/') == std::string::npos ? std::string(".")
                                                  : folder.substr(0, folder.rfind('/'));
  std::string line;
  while (std::getline(in, line)) {
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') continue;
    std::size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    std::u16string name = Utf8ToU(Trim(std::string_view(trimmed).substr(0, eq)));
    std::string location = Trim(std::string_view(trimmed).substr(eq + 1));
    name = std::u16string(StripLeadingSlashes(name));
    if (name.empty() || location.empty()) continue;
    Computer computer;
    if (location == kMemoryLocation) {
      computer.kind = StoreKind::kMemory;
    } else {
      computer.kind = StoreKind::kSqlite;
      computer.location = location[0] == '/' ? location : folder + "/" + location;
    }
    state.from_file.emplace(FoldName(name), std::move(computer));
  }
}

}  // namespace

Result<StoreRef> OpenStore(StoreKind kind, const std::string& location) {
  switch (kind) {
    case StoreKind::kMemory: return StoreRef(std::make_shared<MemoryProvider>());
    case StoreKind::kSqlite: {
      Result<std::shared_ptr<SqliteProvider>> opened = SqliteProvider::Open(location);
      if (!opened.ok()) return opened.status();
      return StoreRef(std::move(opened).value());
    }
  }
  return Status::InvalidParameter("unknown store kind");
}

Result<StoreRef> LocalStore() {
  State& state = GetState();
  {
    std::lock_guard lock(state.mu);
    if (state.local_chosen) return state.local;
  }
  // First use: the embedded default. Opened outside the lock (it may take a
  // while); whoever finishes first wins.
  std::string location = DefaultStoreLocation();
  Result<StoreRef> opened = location == kMemoryLocation ? OpenStore(StoreKind::kMemory, {})
                                                        : OpenStore(StoreKind::kSqlite, location);
  std::lock_guard lock(state.mu);
  if (!state.local_chosen) {
    state.local = std::move(opened);
    state.local_chosen = true;
  }
  return state.local;
}

void SetLocalStore(Result<StoreRef> store) {
  State& state = GetState();
  Result<StoreRef> previous = StoreRef();  // released outside the lock
  {
    std::lock_guard lock(state.mu);
    previous = std::move(state.local);
    state.local = std::move(store);
    state.local_chosen = true;
  }
  HandleTable::Instance().RemoveAll();
}

bool IsLocalComputerName(std::u16string_view name) {
  if (name.empty()) return true;
  name = StripLeadingSlashes(name);
  if (name.empty()) return false;  // "\\" alone names no computer
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof(host) - 1) != 0) return false;
  std::u16string full = Utf8ToU(host);
  std::u16string short_name = full.substr(0, full.find(u'.'));
  return NamesEqual(name, full) || NamesEqual(name, short_name);
}

Result<StoreRef> ComputerStore(std::u16string_view name) {
  name = StripLeadingSlashes(name);
  std::u16string folded = FoldName(name);
  State& state = GetState();
  std::lock_guard lock(state.mu);
  Computer* computer = nullptr;
  if (auto it = state.added.find(folded); it != state.added.end()) {
    computer = &it->second;
  } else {
    if (!state.file_read) ReadComputersFile(state);
    if (auto found = state.from_file.find(folded); found != state.from_file.end()) {
      computer = &found->second;
    }
  }
  if (!computer || name.empty()) return Status(StatusCode::kBadNetPath);
  if (!computer->store) {
    Result<StoreRef> opened = OpenStore(computer->kind, computer->location);
    if (!opened.ok()) return opened.status();
    computer->store = std::move(opened).value();
  }
  return computer->store;
}

Result<StoreRef> StoreFor(std::u16string_view computer) {
  if (IsLocalComputerName(computer)) return LocalStore();
  return ComputerStore(computer);
}

// --- admin.h: stores and computers ---

std::int32_t UseLocalStore(StoreKind kind, const std::string& location) {
  Result<StoreRef> opened = OpenStore(kind, location);
  std::int32_t result = Win32FromStatus(opened.status());
  SetLocalStore(std::move(opened));
  return result;
}

std::string DefaultStoreLocation() {
  if (const char* chosen = std::getenv("KEYSTREL_REGISTRY"); chosen && *chosen) return chosen;
  std::string data_home;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    data_home = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data_home = std::string(home) + "/.local/share";
  } else {
    data_home = "/tmp";
  }
  return data_home + "/keystrel/registry.db";
}

std::int32_t UseDefaultStore() {
  std::string location = DefaultStoreLocation();
  return location == kMemoryLocation ? UseLocalStore(StoreKind::kMemory)
                                     : UseLocalStore(StoreKind::kSqlite, location);
}

std::int32_t ClearLocalStore() {
  Result<StoreRef> local = LocalStore();
  HandleTable::Instance().RemoveAll();
  if (!local.ok()) return Win32FromStatus(local.status());
  return Win32FromStatus(local.value()->Clear());
}

std::int32_t AddComputer(std::u16string_view name, StoreKind kind, const std::string& location) {
  std::u16string_view bare = StripLeadingSlashes(name);
  if (bare.empty()) return Win32FromStatus(Status::InvalidParameter());
  Computer computer;
  computer.kind = kind;
  computer.location = location;
  // Opened now so a bad location is reported here, not at the connection.
  Result<StoreRef> opened = OpenStore(kind, location);
  if (!opened.ok()) return Win32FromStatus(opened.status());
  computer.store = std::move(opened).value();
  State& state = GetState();
  std::lock_guard lock(state.mu);
  state.added.insert_or_assign(FoldName(bare), std::move(computer));
  return 0;
}

void ClearComputers() {
  std::map<std::u16string, Computer> added;
  std::map<std::u16string, Computer> from_file;  // released outside the lock
  State& state = GetState();
  std::lock_guard lock(state.mu);
  added.swap(state.added);
  from_file.swap(state.from_file);
  state.file_read = false;
}

std::size_t OpenHandleCount() { return HandleTable::Instance().Count(); }

}  // namespace keystrel::platform
