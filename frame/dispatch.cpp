#include "frame/dispatch.h"

#include <utility>

#include "frame/catalogue.h"
#include "frame/convert.h"
#include "frame/error.h"
#include "frame/internal/frame_classes.h"

namespace keystrel {

Variant InvokeByName(Object& obj, UStringView name, std::span<Arg> args, std::uint16_t kind) {
  const std::int32_t id = obj.IdOfName(name);
  if (id == kDispidUnknown) RaiseError(rt::kMemberNotFound);
  return obj.Invoke(id, kind, args);
}

Variant CallByName(Object& obj, UStringView name, std::vector<Variant> args, std::uint16_t kind) {
  std::vector<Arg> by_value;
  by_value.reserve(args.size());
  for (Variant& v : args) by_value.push_back(Arg::ByVal(std::move(v)));
  return InvokeByName(obj, name, by_value, kind);
}

Variant DefaultValue(Object& obj) {
  return obj.Invoke(kDispidValue, kMethod | kPropertyGet, {});
}

std::vector<Variant> ForEachItems(Object& obj) {
  Variant e = obj.Invoke(kDispidNewEnum, kMethod | kPropertyGet, {});
  Ref<Enumerator> it;
  if (e.is_object()) it = RefCast<Enumerator>(e.object());
  // Whatever -4 gave is not something a for-each can walk.
  if (!it) RaiseError(rt::kMemberNotFound);
  std::vector<Variant> items;
  Variant item;
  while (it->Next(item)) items.push_back(std::move(item));
  return items;
}

namespace {

class SnapshotEnumerator final : public Enumerator {
 public:
  explicit SnapshotEnumerator(std::vector<Variant> items) : items_(std::move(items)) {}

  bool Next(Variant& out) override {
    if (pos_ >= items_.size()) return false;
    out = items_[pos_++];
    return true;
  }
  void Reset() override { pos_ = 0; }

 private:
  std::vector<Variant> items_;
  std::size_t pos_ = 0;
};

Enumerator& Self(Object& self) { return static_cast<Enumerator&>(self); }

}  // namespace

Ref<Enumerator> MakeSnapshotEnumerator(std::vector<Variant> items) {
  return MakeRef<SnapshotEnumerator>(std::move(items));
}

const ClassInfo* Enumerator::class_info() const noexcept {
  static const ClassInfo* const info = detail::RuntimeClass(u"Enumerator");
  return info;
}

namespace detail {

void RegisterEnumeratorClass() {
  ClassInfo cls;
  cls.name = u"Enumerator";
  cls.instancing = Instancing::kRuntime;

  MemberInfo next;
  next.name = u"Next";
  next.params = {ParamInfo{u"Item", VarType::kVariant, true}};
  next.result = VarType::kBoolean;
  next.fn = [](Object& self, CallFrame& f) {
    Variant item;
    const bool got = Self(self).Next(item);
    // Past the end the caller's variable is left as it was.
    if (got) f[0] = std::move(item);
    return Variant::Boolean(got);
  };

  MemberInfo skip;
  skip.name = u"Skip";
  skip.params = {ParamInfo{u"Count", VarType::kLong}};
  skip.result = VarType::kBoolean;
  skip.fn = [](Object& self, CallFrame& f) {
    const std::int32_t count = f.Long(0);
    if (count < 0) RaiseError(rt::kInvalidProcedureCall);
    Variant scratch;
    for (std::int32_t i = 0; i < count; ++i) {
      if (!Self(self).Next(scratch)) return Variant::Boolean(false);
    }
    return Variant::Boolean(true);
  };

  MemberInfo reset;
  reset.name = u"Reset";
  reset.fn = [](Object& self, CallFrame&) {
    Self(self).Reset();
    return Variant();
  };

  MemberInfo new_enum;
  new_enum.name = u"_NewEnum";
  new_enum.result = VarType::kObject;
  new_enum.dispid = kDispidNewEnum;
  new_enum.hidden = true;
  new_enum.fn = [](Object& self, CallFrame&) { return Variant::Object(RefTo(&self)); };

  cls.members = {std::move(next), std::move(skip), std::move(reset), std::move(new_enum)};
  Catalogue::Instance().AddClass(std::move(cls));
}

}  // namespace detail

}  // namespace keystrel
