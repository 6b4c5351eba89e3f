#include "frame/collection.h"

#include <utility>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/error.h"
#include "frame/internal/frame_classes.h"

namespace keystrel {

namespace {

// An object index stands for its default value, as everywhere in the runtime.
Variant Resolve(const Variant& index) {
  if (index.is_object() && index.object()) return DefaultValue(*index.object());
  return index;
}

}  // namespace

std::size_t Collection::PositionOf(const Variant& index) const {
  const Variant idx = Resolve(index);
  if (idx.is_string()) {
    auto it = keys_.find(idx.string());
    if (it == keys_.end()) RaiseError(rt::kInvalidProcedureCall);
    return it->second;
  }
  // Anything else is a position; the conversion raises 13 / 6 / 94 / 91 for
  // what cannot be one.
  const std::int32_t position = ToLong(idx);
  if (position < 1 || position > Count()) RaiseError(rt::kSubscriptOutOfRange);
  return static_cast<std::size_t>(position - 1);
}

void Collection::Insert(std::size_t pos, Entry entry) {
  if (pos < items_.size()) {
    for (auto& [key, at] : keys_) {
      if (at >= pos) ++at;
    }
  }
  if (entry.key) keys_.emplace(*entry.key, pos);
  items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(pos), std::move(entry));
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  Entry entry;
  if (!key.is_missing()) {
    const Variant k = Resolve(key);
    // Keys are text; a number is not turned into one.
    if (!k.is_string()) RaiseError(rt::kTypeMismatch);
    if (keys_.contains(k.string())) RaiseError(rt::kDuplicateKey);
    entry.key = k.string();
  }
  std::size_t pos = items_.size();
  const bool has_before = !before.is_missing();
  const bool has_after = !after.is_missing();
  if (has_before && has_after) RaiseError(rt::kInvalidProcedureCall);
  if (has_before) pos = PositionOf(before);
  if (has_after) pos = PositionOf(after) + 1;
  // Copying the variant copies an array item, so later changes to the
  // caller's array do not reach the collection.
  entry.item = item;
  Insert(pos, std::move(entry));
}

const Variant& Collection::Item(const Variant& index) const {
  return items_[PositionOf(index)].item;
}

void Collection::Remove(const Variant& index) {
  const std::size_t pos = PositionOf(index);
  if (items_[pos].key) keys_.erase(*items_[pos].key);
  for (auto& [key, at] : keys_) {
    if (at > pos) --at;
  }
  // Moved out first: the item may be the last reference to an object whose
  // end reaches back into this collection.
  Entry gone = std::move(items_[pos]);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
}

Ref<Enumerator> Collection::NewEnum() const {
  std::vector<Variant> snapshot;
  snapshot.reserve(items_.size());
  for (const Entry& e : items_) snapshot.push_back(e.item);
  return MakeSnapshotEnumerator(std::move(snapshot));
}

const Variant& Collection::at(std::int32_t position) const {
  if (position < 1 || position > Count()) RaiseError(rt::kSubscriptOutOfRange);
  return items_[static_cast<std::size_t>(position - 1)].item;
}

std::optional<std::int32_t> Collection::FindKey(UStringView key) const {
  auto it = keys_.find(key);
  if (it == keys_.end()) return std::nullopt;
  return static_cast<std::int32_t>(it->second) + 1;
}

const ClassInfo* Collection::class_info() const noexcept {
  static const ClassInfo* const info = detail::RuntimeClass(u"Collection");
  return info;
}

namespace {

Collection& Self(Object& self) { return static_cast<Collection&>(self); }

ParamInfo VariantParam(UString name, bool optional) {
  ParamInfo p;
  p.name = std::move(name);
  p.by_ref = true;  // the runtime's Collection takes its arguments as VARIANT*
  p.optional = optional;
  return p;
}

}  // namespace

void RegisterCollectionClass() {
  ClassInfo cls;
  cls.name = u"Collection";
  cls.instancing = Instancing::kRuntime;

  MemberInfo item;
  item.name = u"Item";
  item.kind = MemberKind::kPropertyGet;
  item.dispid = kDispidValue;
  item.params = {VariantParam(u"Index", false)};
  item.result = VarType::kVariant;
  item.fn = [](Object& self, CallFrame& f) { return Self(self).Item(f[0]); };

  MemberInfo add;
  add.name = u"Add";
  add.dispid = 1;
  add.params = {VariantParam(u"Item", false), VariantParam(u"Key", true),
                VariantParam(u"Before", true), VariantParam(u"After", true)};
  add.fn = [](Object& self, CallFrame& f) {
    Self(self).Add(f[0], f[1], f[2], f[3]);
    return Variant();
  };

  MemberInfo count;
  count.name = u"Count";
  count.kind = MemberKind::kPropertyGet;
  count.dispid = 2;
  count.result = VarType::kLong;
  count.fn = [](Object& self, CallFrame&) { return Variant::Long(Self(self).Count()); };

  MemberInfo remove;
  remove.name = u"Remove";
  remove.dispid = 3;
  remove.params = {VariantParam(u"Index", false)};
  remove.fn = [](Object& self, CallFrame& f) {
    Self(self).Remove(f[0]);
    return Variant();
  };

  MemberInfo new_enum;
  new_enum.name = u"_NewEnum";
  new_enum.dispid = kDispidNewEnum;
  new_enum.hidden = true;
  new_enum.result = VarType::kObject;
  new_enum.fn = [](Object& self, CallFrame&) {
    return Variant::Object(Ref<Object>(Self(self).NewEnum()));
  };

  cls.members = {std::move(item), std::move(add), std::move(count), std::move(remove),
                 std::move(new_enum)};
  Catalogue::Instance().AddClass(std::move(cls));
}

}  // namespace keystrel
