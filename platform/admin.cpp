// Seeding and grants without handles (admin.h). Stores and computers are in
// stores.cpp, the environment overlay in environment.cpp.
#include "platform/admin.h"

#include <cstring>

#include "platform/internal/ansi_codec.h"
#include "platform/key_name.h"
#include "platform/stores.h"

namespace keystrel::platform {
namespace {

struct RootName {
  std::u16string_view full;
  std::u16string_view abbreviation;
  PredefinedKey root;
};

constexpr RootName kRootNames[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", PredefinedKey::kClassesRoot},
    {u"HKEY_CURRENT_USER", u"HKCU", PredefinedKey::kCurrentUser},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", PredefinedKey::kLocalMachine},
    {u"HKEY_USERS", u"HKU", PredefinedKey::kUsers},
    {u"HKEY_CURRENT_CONFIG", u"HKCC", PredefinedKey::kCurrentConfig},
    {u"HKEY_DYN_DATA", u"HKDD", PredefinedKey::kDynData},
};

// A full path's store and key: its root name, then "\" and the path.
struct Resolved {
  StoreRef store;
  KeyId root = 0;
  std::u16string_view rest;
};

Result<Resolved> ResolvePath(std::u16string_view computer, std::u16string_view key_path) {
  std::size_t slash = key_path.find(u'\\');
  std::u16string_view head = key_path.substr(0, slash);
  std::u16string_view rest =
      slash == std::u16string_view::npos ? std::u16string_view() : key_path.substr(slash + 1);
  for (const RootName& name : kRootNames) {
    if (!NamesEqual(head, name.full) && !NamesEqual(head, name.abbreviation)) continue;
    Result<StoreRef> store = StoreFor(computer);
    if (!store.ok()) return store.status();
    Result<KeyId> root = store.value()->Predefined(name.root);
    if (!root.ok()) return root.status();
    return Resolved{std::move(store).value(), root.value(), rest};
  }
  return Status::InvalidParameter("unknown root");
}

Result<OpenedKey> CreateFullPath(std::u16string_view computer, std::u16string_view key_path,
                                 StoreRef* store) {
  Result<Resolved> resolved = ResolvePath(computer, key_path);
  if (!resolved.ok()) return resolved.status();
  KeyPath path(resolved.value().rest);
  *store = resolved.value().store;
  AccessRequest administrator;
  administrator.administrator = true;
  return (*store)->CreateKey(resolved.value().root, path.components(), u"", false,
                             administrator);
}

}  // namespace

std::int32_t AdminCreateKey(std::u16string_view computer, std::u16string_view key_path) {
  StoreRef store;
  return Win32FromStatus(CreateFullPath(computer, key_path, &store).status());
}

std::int32_t AdminSetValue(std::u16string_view computer, std::u16string_view key_path,
                           std::u16string_view value_name, std::uint32_t type,
                           std::span<const std::uint8_t> data) {
  if (value_name.size() > kMaxValueNameLength) return Win32FromStatus(Status::InvalidParameter());
  StoreRef store;
  Result<OpenedKey> key = CreateFullPath(computer, key_path, &store);
  if (!key.ok()) return Win32FromStatus(key.status());
  std::string_view bytes(reinterpret_cast<const char*>(data.data()), data.size());
  std::string stored;
  if (type == 1 || type == 2 || type == 7) {
    // Exactly the ANSI text given, in Unicode: nothing added or removed.
    std::u16string text;
    detail::CurrentCodec().Decode(bytes, text);
    stored.assign(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
    bytes = stored;
  }
  return Win32FromStatus(store->SetValue(key.value().id, value_name, type, bytes));
}

std::int32_t AdminSetGrant(std::u16string_view computer, std::u16string_view key_path,
                           std::uint32_t grant) {
  StoreRef store;
  Result<OpenedKey> key = CreateFullPath(computer, key_path, &store);
  if (!key.ok()) return Win32FromStatus(key.status());
  return Win32FromStatus(store->SetGrant(key.value().id, grant));
}

std::int32_t AdminGetGrant(std::u16string_view computer, std::u16string_view key_path,
                           std::uint32_t* grant) {
  if (!grant) return Win32FromStatus(Status::InvalidParameter());
  Result<Resolved> resolved = ResolvePath(computer, key_path);
  if (!resolved.ok()) return Win32FromStatus(resolved.status());
  KeyPath path(resolved.value().rest);
  AccessRequest administrator;
  administrator.administrator = true;
  Result<OpenedKey> key =
      resolved.value().store->OpenKey(resolved.value().root, path.components(), administrator);
  if (!key.ok()) return Win32FromStatus(key.status());
  Result<std::uint32_t> found = resolved.value().store->GetGrant(key.value().id);
  if (!found.ok()) return Win32FromStatus(found.status());
  *grant = found.value();
  return 0;
}

}  // namespace keystrel::platform
