#include "platform/internal/tree_provider.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "frame/ustring.h"
#include "platform/key_name.h"

namespace keystrel::platform::detail {
namespace {

constexpr std::uint64_t kUnixEpochInFileTime = 116444736000000000ULL;
constexpr std::uint32_t kCreateSubKeyRight = 0x0004;
constexpr std::size_t kValueIndexThreshold = 8;
constexpr int kMaxReadAttempts = 4;

bool FoldedLess(const KeyNode* node, std::u16string_view folded) {
  return std::u16string_view(node->folded) < folded;
}

std::uint32_t Length(std::size_t n) { return static_cast<std::uint32_t>(n); }

// The path below the super-root each predefined key stands for.
std::vector<std::u16string> PredefinedPath(PredefinedKey root, const std::u16string& user) {
  switch (root) {
    case PredefinedKey::kClassesRoot: return {u"HKEY_LOCAL_MACHINE", u"Software", u"Classes"};
    case PredefinedKey::kCurrentUser: return {u"HKEY_USERS", user};
    case PredefinedKey::kLocalMachine: return {u"HKEY_LOCAL_MACHINE"};
    case PredefinedKey::kUsers: return {u"HKEY_USERS"};
    case PredefinedKey::kCurrentConfig:
      return {u"HKEY_LOCAL_MACHINE", u"System", u"CurrentControlSet", u"Hardware Profiles",
              u"Current"};
    case PredefinedKey::kDynData: return {u"HKEY_DYN_DATA"};
  }
  return {};
}

constexpr PredefinedKey kAllPredefined[] = {
    PredefinedKey::kLocalMachine, PredefinedKey::kUsers,       PredefinedKey::kDynData,
    PredefinedKey::kClassesRoot,  PredefinedKey::kCurrentUser, PredefinedKey::kCurrentConfig,
};

}  // namespace

std::uint64_t NowFileTime() {
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count() / 100;
  return kUnixEpochInFileTime + static_cast<std::uint64_t>(ticks);
}

std::u16string CurrentUserKeyName() {
  // The Unix user name stands in for the user's SID.
  struct passwd entry;
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(geteuid(), &entry, buffer, sizeof(buffer), &found) == 0 && found &&
      found->pw_name && *found->pw_name) {
    return Utf8ToU(found->pw_name);
  }
  if (const char* user = std::getenv("USER"); user && *user) return Utf8ToU(user);
  return u"S-1-5-21-0-0-0-" + Utf8ToU(std::to_string(geteuid()));
}

TreeProvider::TreeProvider(bool resident, std::u16string user)
    : resident_(resident), user_(std::move(user)) {
  DropTree();
}

TreeProvider::~TreeProvider() = default;

// --- Call wrappers ---

template <typename F>
auto TreeProvider::Read(F&& body) -> decltype(body()) {
  std::lock_guard lock(mu_);
  for (int attempt = 1;; ++attempt) {
    Status begun = BeginRead();
    if (!begun.ok()) return begun;
    auto result = body();
    EndRead();
    if (result.code() != StatusCode::kRetry || attempt == kMaxReadAttempts) return result;
  }
}

template <typename F>
auto TreeProvider::Write(F&& body) -> decltype(body()) {
  std::lock_guard lock(mu_);
  Status begun = BeginWrite();
  if (!begun.ok()) return begun;
  tree_changed_ = false;
  writing_ = true;
  auto result = body();
  writing_ = false;
  if (!result.ok()) {
    AbortWrite(tree_changed_);
    return result;
  }
  if (Status committed = CommitWrite(); !committed.ok()) return committed;
  return result;
}

// --- Tree ---

KeyNode* TreeProvider::FindNode(KeyId id) const {
  auto it = nodes_.find(id);
  return it == nodes_.end() ? nullptr : it->second.get();
}

KeyNode* TreeProvider::AddNode(std::unique_ptr<KeyNode> node) {
  KeyNode* added = node.get();
  auto [it, inserted] = nodes_.try_emplace(node->id, nullptr);
  if (!inserted) Unlink(*it->second);
  it->second = std::move(node);
  if (KeyNode* parent = FindNode(added->parent); parent && added->id != 0) {
    auto pos = std::lower_bound(parent->children.begin(), parent->children.end(),
                                std::u16string_view(added->folded), FoldedLess);
    if (pos != parent->children.end() && (*pos)->folded == added->folded) {
      *pos = added;
    } else {
      parent->children.insert(pos, added);
    }
  }
  if (added->id > last_id_) last_id_ = added->id;
  return added;
}

KeyNode* TreeProvider::Adopt(std::unique_ptr<KeyNode> node) {
  KeyNode* adopted = node.get();
  if (adopted->id > last_id_) last_id_ = adopted->id;
  nodes_.insert_or_assign(adopted->id, std::move(node));
  return adopted;
}

void TreeProvider::Unlink(KeyNode& node) {
  KeyNode* parent = node.id == 0 ? nullptr : FindNode(node.parent);
  if (!parent) return;
  auto pos = std::lower_bound(parent->children.begin(), parent->children.end(),
                              std::u16string_view(node.folded), FoldedLess);
  if (pos != parent->children.end() && *pos == &node) parent->children.erase(pos);
}

void TreeProvider::DropTree() {
  nodes_.clear();
  predefined_.fill(0);
  auto super_root = std::make_unique<KeyNode>();
  super_root->flags = kKeyProtected;
  super_root->children_complete = resident_;
  super_root->values_complete = true;
  nodes_.emplace(0, std::move(super_root));
}

Result<KeyNode*> TreeProvider::Node(KeyId id) {
  if (id < 0) {
    auto root = static_cast<PredefinedKey>(-1 - id);
    if (root > PredefinedKey::kDynData) return Status(StatusCode::kInvalidHandle);
    Result<KeyId> resolved = writing_ ? EnsurePredefined(root) : LookupPredefined(root);
    if (!resolved.ok()) return resolved.status();
    id = resolved.value();
  }
  if (KeyNode* node = FindNode(id)) return node;
  if (resident_ || id == 0) return Status::KeyDeleted();
  if (Status loaded = LoadKey(id); !loaded.ok()) return loaded;
  if (KeyNode* node = FindNode(id)) return node;
  return Status::KeyDeleted();
}

Result<KeyNode*> TreeProvider::Child(KeyNode& parent, std::u16string_view name) {
  if (name.size() > kMaxKeyNameLength) return Status::InvalidParameter("key name too long");
  fold_scratch_.resize(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) fold_scratch_[i] = UpcaseChar(name[i]);
  std::u16string_view folded(fold_scratch_);
  auto pos = std::lower_bound(parent.children.begin(), parent.children.end(), folded, FoldedLess);
  if (pos != parent.children.end() && (*pos)->folded == folded) return *pos;
  if (parent.children_complete) return static_cast<KeyNode*>(nullptr);
  return LoadChild(parent, folded);
}

Result<KeyNode*> TreeProvider::Walk(KeyNode& base, PathView path) {
  KeyNode* node = &base;
  for (std::u16string_view part : path) {
    Result<KeyNode*> child = Child(*node, part);
    if (!child.ok()) return child;
    if (!child.value()) return Status::NotFound();
    node = child.value();
  }
  return node;
}

Status TreeProvider::EnsureChildren(KeyNode& key) {
  if (key.children_complete) return Status();
  return LoadChildren(key);
}

Status TreeProvider::EnsureValues(KeyNode& key) {
  if (key.values_complete) return Status();
  return LoadValues(key);
}

ValueRecord* TreeProvider::FindValue(KeyNode& key, std::u16string_view name) {
  fold_scratch_.resize(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) fold_scratch_[i] = UpcaseChar(name[i]);
  if (key.values.size() <= kValueIndexThreshold) {
    for (ValueRecord& value : key.values) {
      if (value.folded == fold_scratch_) return &value;
    }
    return nullptr;
  }
  if (!key.value_index_valid) {
    key.value_index.clear();
    for (std::size_t i = 0; i < key.values.size(); ++i) {
      key.value_index.emplace(key.values[i].folded, i);
    }
    key.value_index_valid = true;
  }
  auto it = key.value_index.find(fold_scratch_);
  return it == key.value_index.end() ? nullptr : &key.values[it->second];
}

Result<ChildStats> TreeProvider::LoadChildStats(const KeyNode& key) {
  ChildStats stats;
  stats.count = Length(key.children.size());
  for (const KeyNode* child : key.children) {
    stats.max_name_len = std::max(stats.max_name_len, Length(child->name.size()));
    stats.max_class_len = std::max(stats.max_class_len, Length(child->class_name.size()));
  }
  return stats;
}

// --- Predefined keys ---

Result<KeyId> TreeProvider::LookupPredefined(PredefinedKey root) {
  KeyId& cached = predefined_[static_cast<std::size_t>(root)];
  if (cached != 0) return cached;
  std::vector<std::u16string> names = PredefinedPath(root, user_);
  std::vector<std::u16string_view> path(names.begin(), names.end());
  Result<KeyNode*> super_root = Node(0);
  if (!super_root.ok()) return super_root.status();
  Result<KeyNode*> found = Walk(*super_root.value(), path);
  if (!found.ok()) return found.status();
  cached = found.value()->id;
  return cached;
}

Result<KeyId> TreeProvider::EnsurePredefined(PredefinedKey root) {
  Result<KeyId> found = LookupPredefined(root);
  if (found.code() != StatusCode::kNotFound) return found;
  std::vector<std::u16string> names = PredefinedPath(root, user_);
  std::vector<std::u16string_view> path(names.begin(), names.end());
  bool created = false;
  Result<KeyNode*> node =
      CreatePath(*FindNode(0), path, std::u16string_view(), kKeyProtected, false, &created);
  if (!node.ok()) return node.status();
  predefined_[static_cast<std::size_t>(root)] = node.value()->id;
  return node.value()->id;
}

Result<KeyId> TreeProvider::Predefined(PredefinedKey root) {
  Result<KeyId> found = Read([&] { return LookupPredefined(root); });
  if (found.code() != StatusCode::kNotFound) return found;
  return Write([&] { return EnsurePredefined(root); });
}

Status TreeProvider::EnsureSkeleton() {
  bool complete = Read([&] {
    for (PredefinedKey root : kAllPredefined) {
      Result<KeyId> id = LookupPredefined(root);
      if (!id.ok()) return id.status();
    }
    return Status();
  }).ok();
  if (complete) return Status();
  return Write([&] {
    for (PredefinedKey root : kAllPredefined) {
      Result<KeyId> id = EnsurePredefined(root);
      if (!id.ok()) return id.status();
    }
    return Status();
  });
}

// --- Keys ---

Result<OpenedKey> TreeProvider::OpenKey(KeyId base, PathView path, const AccessRequest& access) {
  return Read([&]() -> Result<OpenedKey> {
    Result<KeyNode*> node = Node(base);
    if (!node.ok()) return node.status();
    Result<KeyNode*> target = Walk(*node.value(), path);
    if (!target.ok()) return target.status();
    OpenedKey opened;
    opened.id = target.value()->id;
    if (!GrantAccess(target.value()->grant, access, &opened.granted)) {
      return Status::AccessDenied("refused by the key's grant");
    }
    return opened;
  });
}

Result<KeyNode*> TreeProvider::CreatePath(KeyNode& base, PathView path,
                                          std::u16string_view class_name, std::uint32_t flags,
                                          bool check_grants, bool* created) {
  KeyNode* node = &base;
  std::size_t level = 0;
  for (; level < path.size(); ++level) {
    Result<KeyNode*> child = Child(*node, path[level]);
    if (!child.ok()) return child;
    if (!child.value()) break;
    node = child.value();
  }
  *created = level < path.size();
  if (!*created) return node;

  // Every check before the first change, so a refused call changes nothing.
  for (std::size_t i = level; i < path.size(); ++i) {
    if (path[i].size() > kMaxKeyNameLength) return Status::InvalidParameter("key name too long");
  }
  if (check_grants && node->id != 0 && (node->grant & kCreateSubKeyRight) == 0) {
    return Status::AccessDenied("the parent's grant refuses new subkeys");
  }
  if ((node->flags & kKeyVolatile) && !(flags & kKeyVolatile)) {
    return Status(StatusCode::kChildMustBeVolatile);
  }

  const std::uint64_t now = NowFileTime();
  MarkChanged();
  if (node->id != 0) {
    if (Status touched = TouchKey(node->id, now); !touched.ok()) return touched;
    node->last_write = now;
  }
  for (std::size_t i = level; i < path.size(); ++i) {
    auto fresh = std::make_unique<KeyNode>();
    fresh->parent = node->id;
    fresh->name = std::u16string(path[i]);
    fresh->folded = FoldName(path[i]);
    const bool last = i + 1 == path.size();
    if (last) fresh->class_name = std::u16string(class_name);
    // Only the key asked for is protected; levels above it are ordinary keys
    // (they cannot be deleted while it exists).
    fresh->flags = last ? flags : (flags & ~kKeyProtected);
    fresh->last_write = now;
    fresh->children_complete = true;  // new: nothing below it yet
    fresh->values_complete = true;
    Result<KeyId> id = InsertKey(*fresh);
    if (!id.ok()) return id.status();
    fresh->id = id.value();
    node = AddNode(std::move(fresh));
  }
  return node;
}

Result<OpenedKey> TreeProvider::CreateKey(KeyId base, PathView path,
                                          std::u16string_view class_name, bool is_volatile,
                                          const AccessRequest& access) {
  return Write([&]() -> Result<OpenedKey> {
    Result<KeyNode*> node = Node(base);
    if (!node.ok()) return node.status();
    OpenedKey opened;
    Result<KeyNode*> target =
        CreatePath(*node.value(), path, class_name, is_volatile ? kKeyVolatile : 0,
                   !access.administrator, &opened.created);
    if (!target.ok()) return target.status();
    opened.id = target.value()->id;
    if (!GrantAccess(target.value()->grant, access, &opened.granted)) {
      return Status::AccessDenied("refused by the key's grant");
    }
    return opened;
  });
}

Status TreeProvider::DeleteKey(KeyId base, PathView path) {
  return Write([&]() -> Status {
    Result<KeyNode*> node = Node(base);
    if (!node.ok()) return node.status();
    Result<KeyNode*> found = Walk(*node.value(), path);
    if (!found.ok()) return found.status();
    KeyNode& target = *found.value();
    if ((target.flags & kKeyProtected) || target.parent == 0) {
      return Status::AccessDenied("a root or a view's key");
    }
    if ((target.grant & kDeleteRight) == 0) return Status::AccessDenied("the grant refuses DELETE");
    Result<bool> has_children = target.children.empty() && !target.children_complete
                                    ? HasChildren(target)
                                    : Result<bool>(!target.children.empty());
    if (!has_children.ok()) return has_children.status();
    if (has_children.value()) return Status::AccessDenied("the key has subkeys");

    const std::uint64_t now = NowFileTime();
    MarkChanged();
    if (Status removed = RemoveKey(target); !removed.ok()) return removed;
    if (Status touched = TouchKey(target.parent, now); !touched.ok()) return touched;
    if (KeyNode* parent = FindNode(target.parent)) parent->last_write = now;
    Unlink(target);
    nodes_.erase(target.id);
    return Status();
  });
}

// --- Values ---

Status TreeProvider::QueryValue(KeyId key, std::u16string_view name, ValueData* value) {
  return Read([&]() -> Status {
    Result<KeyNode*> node = Node(key);
    if (!node.ok()) return node.status();
    if (Status loaded = EnsureValues(*node.value()); !loaded.ok()) return loaded;
    const ValueRecord* found = FindValue(*node.value(), name);
    if (!found) return Status::NotFound();
    value->type = found->type;
    value->data.assign(found->data);
    return Status();
  });
}

Status TreeProvider::SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                              std::string_view data) {
  return Write([&]() -> Status {
    Result<KeyNode*> found = Node(key);
    if (!found.ok()) return found.status();
    KeyNode& node = *found.value();
    if (Status loaded = EnsureValues(node); !loaded.ok()) return loaded;
    const std::uint64_t now = NowFileTime();
    MarkChanged();
    if (ValueRecord* value = FindValue(node, name)) {
      ValueRecord updated = *value;
      updated.type = type;
      updated.data.assign(data);
      updated.last_write = now;
      if (Status written = WriteValue(node, updated, false); !written.ok()) return written;
      *value = std::move(updated);
    } else {
      ValueRecord fresh;
      fresh.name = std::u16string(name);
      fresh.folded = FoldName(name);
      fresh.type = type;
      fresh.data.assign(data);
      fresh.seq = node.values.empty() ? 1 : node.values.back().seq + 1;
      fresh.last_write = now;
      if (Status written = WriteValue(node, fresh, true); !written.ok()) return written;
      if (node.value_index_valid) node.value_index.emplace(fresh.folded, node.values.size());
      node.values.push_back(std::move(fresh));
    }
    node.last_write = now;
    return Status();
  });
}

Status TreeProvider::DeleteValue(KeyId key, std::u16string_view name) {
  return Write([&]() -> Status {
    Result<KeyNode*> found = Node(key);
    if (!found.ok()) return found.status();
    KeyNode& node = *found.value();
    if (Status loaded = EnsureValues(node); !loaded.ok()) return loaded;
    ValueRecord* value = FindValue(node, name);
    if (!value) return Status::NotFound();
    const std::uint64_t now = NowFileTime();
    MarkChanged();
    if (Status removed = RemoveValue(node, *value); !removed.ok()) return removed;
    if (Status touched = TouchKey(node.id, now); !touched.ok()) return touched;
    node.values.erase(node.values.begin() + (value - node.values.data()));
    node.value_index_valid = false;
    node.last_write = now;
    return Status();
  });
}

// --- Enumeration and information ---

Result<SubkeyEntry> TreeProvider::EnumKey(KeyId key, std::uint32_t index) {
  return Read([&]() -> Result<SubkeyEntry> {
    Result<KeyNode*> node = Node(key);
    if (!node.ok()) return node.status();
    if (Status loaded = EnsureChildren(*node.value()); !loaded.ok()) return loaded;
    const auto& children = node.value()->children;
    if (index >= children.size()) return Status(StatusCode::kNoMoreItems);
    const KeyNode& child = *children[index];
    return SubkeyEntry{child.name, child.class_name, child.last_write};
  });
}

Result<ValueEntry> TreeProvider::EnumValue(KeyId key, std::uint32_t index) {
  return Read([&]() -> Result<ValueEntry> {
    Result<KeyNode*> node = Node(key);
    if (!node.ok()) return node.status();
    if (Status loaded = EnsureValues(*node.value()); !loaded.ok()) return loaded;
    const auto& values = node.value()->values;
    if (index >= values.size()) return Status(StatusCode::kNoMoreItems);
    const ValueRecord& value = values[index];
    return ValueEntry{value.name, value.type, value.data};
  });
}

Result<KeyInfo> TreeProvider::QueryInfo(KeyId key) {
  return Read([&]() -> Result<KeyInfo> {
    Result<KeyNode*> found = Node(key);
    if (!found.ok()) return found.status();
    KeyNode& node = *found.value();
    if (Status loaded = EnsureValues(node); !loaded.ok()) return loaded;
    Result<ChildStats> stats = node.children_complete ? TreeProvider::LoadChildStats(node)
                                                      : LoadChildStats(node);
    if (!stats.ok()) return stats.status();
    KeyInfo info;
    info.class_name = node.class_name;
    info.subkeys = stats.value().count;
    info.max_subkey_len = stats.value().max_name_len;
    info.max_class_len = stats.value().max_class_len;
    info.values = Length(node.values.size());
    for (const ValueRecord& value : node.values) {
      info.max_value_name_len = std::max(info.max_value_name_len, Length(value.name.size()));
      info.max_value_len = std::max(info.max_value_len, Length(value.data.size()));
    }
    info.last_write = node.last_write;
    return info;
  });
}

Status TreeProvider::SetGrant(KeyId key, std::uint32_t grant) {
  return Write([&]() -> Status {
    Result<KeyNode*> found = Node(key);
    if (!found.ok()) return found.status();
    MarkChanged();
    std::uint32_t old = found.value()->grant;
    found.value()->grant = grant;
    if (Status written = WriteGrant(*found.value()); !written.ok()) {
      found.value()->grant = old;
      return written;
    }
    return Status();
  });
}

Result<std::uint32_t> TreeProvider::GetGrant(KeyId key) {
  return Read([&]() -> Result<std::uint32_t> {
    Result<KeyNode*> found = Node(key);
    if (!found.ok()) return found.status();
    return found.value()->grant;
  });
}

Status TreeProvider::Clear() {
  return Write([&]() -> Status {
    MarkChanged();
    if (Status removed = RemoveAll(); !removed.ok()) return removed;
    DropTree();
    if (!resident_) FindNode(0)->children_complete = true;  // the store is empty now
    for (PredefinedKey root : kAllPredefined) {
      Result<KeyId> id = EnsurePredefined(root);
      if (!id.ok()) return id.status();
    }
    return Status();
  });
}

}  // namespace keystrel::platform::detail
