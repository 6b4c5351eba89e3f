// TreeProvider: the registry's data model and every algorithm over it (path
// walks, sorted subkeys, values in insertion order, grants, volatility,
// protected keys), kept as a tree of KeyNode in memory.
//
// The memory store is this class as it is: the whole tree resident. A
// persistent store derives from it and treats the tree as a cache: it
// overrides the hooks below to load what is missing and to write every change
// through inside one transaction per changing call.
//
// Thread safety: every public member takes mu_; hooks run with mu_ held.
#ifndef KEYSTREL_PLATFORM_INTERNAL_TREE_PROVIDER_H_
#define KEYSTREL_PLATFORM_INTERNAL_TREE_PROVIDER_H_

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/provider.h"

namespace keystrel::platform::detail {

inline constexpr std::uint32_t kKeyVolatile = 1;
inline constexpr std::uint32_t kKeyProtected = 2;  // a root or a view's key: never deleted

struct ValueRecord {
  std::u16string name;
  std::u16string folded;
  std::uint32_t type = 0;
  std::string data;
  std::int64_t seq = 0;  // insertion order
  // When the value was last written. A key's last write time is the latest
  // of its own and its values', so setting a value changes only the value.
  std::uint64_t last_write = 0;
};

struct KeyNode {
  KeyId id = 0;
  KeyId parent = 0;  // 0 for roots; the super-root (id 0) holds the roots
  std::u16string name;
  std::u16string folded;
  std::u16string class_name;
  std::uint32_t grant = kDefaultGrant;
  std::uint32_t flags = 0;
  std::uint64_t last_write = 0;
  // Sorted by folded name; every child only when children_complete.
  std::vector<KeyNode*> children;
  bool children_complete = false;
  // In insertion order; meaningful only when values_complete.
  std::vector<ValueRecord> values;
  bool values_complete = false;
  // folded name -> position, built on demand for keys with many values.
  std::unordered_map<std::u16string, std::size_t> value_index;
  bool value_index_valid = false;
};

struct ChildStats {
  std::uint32_t count = 0;
  std::uint32_t max_name_len = 0;
  std::uint32_t max_class_len = 0;
};

// FILETIME ticks (100 ns since 1601) now.
std::uint64_t NowFileTime();

// The name that stands for the current user under HKEY_USERS.
std::u16string CurrentUserKeyName();

class TreeProvider : public RegistryProvider {
 public:
  // `resident`: the tree holds the whole store (no hooks load anything).
  TreeProvider(bool resident, std::u16string user);
  ~TreeProvider() override;

  Result<KeyId> Predefined(PredefinedKey root) override;
  Result<OpenedKey> OpenKey(KeyId base, PathView path, const AccessRequest& access) override;
  Result<OpenedKey> CreateKey(KeyId base, PathView path, std::u16string_view class_name,
                              bool is_volatile, const AccessRequest& access) override;
  Status DeleteKey(KeyId base, PathView path) override;
  Status QueryValue(KeyId key, std::u16string_view name, ValueData* value) override;
  Status SetValue(KeyId key, std::u16string_view name, std::uint32_t type,
                  std::string_view data) override;
  Status DeleteValue(KeyId key, std::u16string_view name) override;
  Result<SubkeyEntry> EnumKey(KeyId key, std::uint32_t index) override;
  Result<ValueEntry> EnumValue(KeyId key, std::uint32_t index) override;
  Result<KeyInfo> QueryInfo(KeyId key) override;
  Status SetGrant(KeyId key, std::uint32_t grant) override;
  Result<std::uint32_t> GetGrant(KeyId key) override;
  Status Clear() override;

 protected:
  // Creates the roots and the views' keys that are missing (one write).
  Status EnsureSkeleton();

  // --- Hooks. Defaults suit a resident tree. ---
  // Around every reading call: check that the cache still holds; kRetry from
  // a Load hook makes the call run again from BeginRead.
  virtual Status BeginRead() { return Status(); }
  virtual void EndRead() {}
  // Around every changing call; AbortWrite learns whether the tree was changed
  // already (and so must be dropped when the change is undone).
  virtual Status BeginWrite() { return Status(); }
  virtual Status CommitWrite() { return Status(); }
  virtual void AbortWrite(bool /*tree_changed*/) {}
  // Loading into the tree (AddNode); not called for a resident tree.
  virtual Status LoadKey(KeyId /*id*/) { return Status::KeyDeleted(); }
  virtual Result<KeyNode*> LoadChild(KeyNode& /*parent*/, std::u16string_view /*folded*/) {
    return static_cast<KeyNode*>(nullptr);
  }
  virtual Status LoadChildren(KeyNode& /*parent*/) { return Status(); }
  virtual Status LoadValues(KeyNode& /*key*/) { return Status(); }
  virtual Result<bool> HasChildren(const KeyNode& key) { return !key.children.empty(); }
  virtual Result<ChildStats> LoadChildStats(const KeyNode& key);
  // Writing through; called before the tree changes. WriteValue's record
  // carries its write time; the key's own time is not touched for it.
  virtual Result<KeyId> InsertKey(const KeyNode& /*node*/) { return ++last_id_; }
  virtual Status RemoveKey(const KeyNode& /*node*/) { return Status(); }
  virtual Status WriteValue(const KeyNode& /*key*/, const ValueRecord& /*value*/,
                            bool /*is_new*/) {
    return Status();
  }
  virtual Status RemoveValue(const KeyNode& /*key*/, const ValueRecord& /*value*/) {
    return Status();
  }
  virtual Status TouchKey(KeyId /*key*/, std::uint64_t /*last_write*/) { return Status(); }
  virtual Status WriteGrant(const KeyNode& /*key*/) { return Status(); }
  virtual Status RemoveAll() { return Status(); }

  // --- The tree, for hooks. ---
  KeyNode* FindNode(KeyId id) const;
  // Registers a node and links it under its parent when the parent is held.
  KeyNode* AddNode(std::unique_ptr<KeyNode> node);
  // Registers a node without linking it under its parent (LoadChildren
  // builds the parent's list itself).
  KeyNode* Adopt(std::unique_ptr<KeyNode> node);
  // Forgets everything but the super-root.
  void DropTree();
  std::size_t TreeSize() const { return nodes_.size(); }
  bool resident() const { return resident_; }

  std::mutex mu_;

 private:
  template <typename F>
  auto Read(F&& body) -> decltype(body());
  template <typename F>
  auto Write(F&& body) -> decltype(body());

  Result<KeyNode*> Node(KeyId id);
  // The child of that name, or null when there is none.
  Result<KeyNode*> Child(KeyNode& parent, std::u16string_view name);
  Result<KeyNode*> Walk(KeyNode& base, PathView path);
  Status EnsureChildren(KeyNode& key);
  Status EnsureValues(KeyNode& key);
  ValueRecord* FindValue(KeyNode& key, std::u16string_view folded);
  Result<KeyNode*> CreatePath(KeyNode& base, PathView path, std::u16string_view class_name,
                              std::uint32_t flags, bool check_grants, bool* created);
  Result<KeyId> LookupPredefined(PredefinedKey root);
  Result<KeyId> EnsurePredefined(PredefinedKey root);
  void Unlink(KeyNode& node);
  void MarkChanged() { tree_changed_ = true; }

  const bool resident_;
  const std::u16string user_;
  std::unordered_map<KeyId, std::unique_ptr<KeyNode>> nodes_;
  std::array<KeyId, 6> predefined_{};  // resolved ids, 0 when not yet known
  KeyId last_id_ = 0;
  bool tree_changed_ = false;
  bool writing_ = false;  // inside Write: predefined keys may be (re)created
  std::u16string fold_scratch_;
};

}  // namespace keystrel::platform::detail

#endif  // KEYSTREL_PLATFORM_INTERNAL_TREE_PROVIDER_H_
