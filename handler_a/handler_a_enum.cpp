// clsZqRegyHandlerA: the subkey and value walks with their three ways of
// delivery (a returned collection, events, late-bound calls on the buddy
// object), the yield between items and the abort request; GetKeyObject.
#include <array>
#include <string>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "handler_a/handler_a.h"
#include "handler_a/key_node.h"
#include "handler_a/value_node.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {

// Unqualified on purpose: on Windows these names are <windows.h>'s own (some
// of them macros), here they come from keystrel::platform.
using namespace platform;  // NOLINT(build/namespaces)

using handler_a_detail::KeyNode;
using handler_a_detail::ValueNode;

namespace {

constexpr char16_t kEnumSource[] = u"RegLib.RegistryObject";
constexpr char16_t kKeyCallback[] = u"clsZqRegyHandlerA_KeyEnumerated";
constexpr char16_t kValueCallback[] = u"clsZqRegyHandlerA_ValueEnumerated";

// The names of subkeys and values are read into 1025 bytes, of which 1024 are
// offered to the registry.
class NameBuffer {
 public:
  static constexpr DWORD kLength = 1024;

  char* data() { return bytes_.data(); }
  DWORD* length() { return &length_; }
  void ResetLength() { length_ = kLength; }
  void Clear() {
    bytes_[0] = '\0';
    length_ = kLength;
  }
  UString Name() const { return FromAnsi(std::string_view(bytes_.data())); }

 private:
  std::array<char, kLength + 1> bytes_{};
  DWORD length_ = kLength;
};

LONG EnumKeyAt(HKEY key, DWORD index, NameBuffer& buffer) {
  DWORD class_length = 0;
  FILETIME written{};
  return RegEnumKeyExA(key, index, buffer.data(), buffer.length(), nullptr, nullptr, &class_length,
                       &written);
}

LONG EnumValueAt(HKEY key, DWORD index, NameBuffer& buffer, DWORD* type) {
  DWORD data_size = 0;
  return RegEnumValueA(key, index, buffer.data(), buffer.length(), nullptr, type, nullptr,
                       &data_size);
}

void CheckDelivery(bool fRaiseEvents, bool fReturnNothing) {
  if (!fRaiseEvents && fReturnNothing) {
    RaiseError(10029, kEnumSource, u"Cannot suppress events and return nothing.");
  }
}

// What a walk does with the registry's answer for the next index. A name too
// long for the buffer concerns that one item: it is skipped. Any other failure
// (a handle that is not open, no right to list, a key deleted meanwhile) would
// repeat at every index, so it ends the walk and reaches the caller.
enum class Next { kItem, kSkip, kDone };

Next Classify(LONG rc) {
  if (rc == ERROR_SUCCESS) return Next::kItem;
  if (rc == ERROR_NO_MORE_ITEMS) return Next::kDone;
  if (rc == ERROR_MORE_DATA) return Next::kSkip;
  RaiseError(
      rt::kInvalidProcedureCall, kEnumSource,
      u"Cannot enumerate the key: the registry answered " + Utf8ToU(std::to_string(rc)) + u".");
}

// Closes a subkey through the handler's CloseKey on every path.
class SubkeyGuard {
 public:
  SubkeyGuard(HandlerA& handler, std::int32_t handle) : handler_(handler), handle_(handle) {}
  ~SubkeyGuard() { handler_.CloseKey(Variant::Long(handle_)); }
  SubkeyGuard(const SubkeyGuard&) = delete;
  SubkeyGuard& operator=(const SubkeyGuard&) = delete;

 private:
  HandlerA& handler_;
  std::int32_t handle_;
};

}  // namespace

bool HandlerA::TakeAbortRequest() {
  const bool requested = abort_;
  abort_ = false;
  return requested;
}

bool HandlerA::SubkeyHasChildren(std::int32_t uKey, const UString& name) {
  const std::int32_t subkey = OpenKey(uKey, name, /*fMustExist=*/true);
  if (subkey == -1) return false;  // cannot be opened with all access: listed without children
  SubkeyGuard guard(*this, subkey);
  NameBuffer buffer;
  return EnumKeyAt(HKeyFromLong(subkey), 0, buffer) == ERROR_SUCCESS;
}

void HandlerA::DeliverKey(const UString& name, bool has_children) {
  // The callback may replace the buddy; the call in progress keeps its target.
  const Ref<Object> buddy = buddy_;
  if (buddy) {
    Variant name_arg = Variant::String(name);  // by reference; what it holds afterwards is dropped
    Arg args[] = {Arg::ByRef(name_arg), Arg::ByVal(Variant::Boolean(has_children))};
    InvokeByName(*buddy, kKeyCallback, args, kMethod);
    return;
  }
  Arg args[] = {Arg::ByVal(Variant::String(name)), Arg::ByVal(Variant::Boolean(has_children))};
  events_.Raise(kKeyEnumerated, args);
}

void HandlerA::DeliverValue(const std::shared_ptr<ValueNode>& node) {
  const Ref<Object> buddy = buddy_;
  Variant value = Variant::Object(HandlerAValue::Of(node));
  Arg args[] = {Arg::ByRef(value)};
  if (buddy) {
    InvokeByName(*buddy, kValueCallback, args, kMethod);
  } else {
    events_.Raise(kValueEnumerated, args);
  }
  // The argument is declared as a value object: a client may leave Nothing or
  // another value object in it, anything else does not fit.
  if (!value.is_object() || (value.object() && !RefCast<HandlerAValue>(value.object()))) {
    RaiseError(rt::kTypeMismatch);
  }
}

Ref<HandlerAKeys> HandlerA::EnumKeys(std::int32_t uKey, bool fRaiseEvents, bool fDoEvents,
                                     bool fReturnNothing) {
  CheckDelivery(fRaiseEvents, fReturnNothing);
  const Ref<HandlerA> self = RefTo(this);  // client code may drop its last reference meanwhile
  Ref<HandlerAKeys> keys;
  if (!fReturnNothing) {
    keys = HandlerAKeys::Make();
    keys->SetHandler(self);
    keys->SetHandle(uKey);
  }
  const HKEY key = HKeyFromLong(uKey);
  NameBuffer buffer;
  DWORD index = 0;
  LONG rc = EnumKeyAt(key, index, buffer);
  for (;;) {
    const Next next = Classify(rc);
    if (next == Next::kDone) break;
    if (next == Next::kSkip) {
      buffer.Clear();
      rc = EnumKeyAt(key, ++index, buffer);
      continue;
    }
    const UString name = buffer.Name();
    std::shared_ptr<KeyNode> node;
    if (keys) {
      node = keys->AddNode(name, 0, {});
      node->SetHandler(self);
    }
    const bool has_children = SubkeyHasChildren(uKey, name);
    if (node && has_children) node->SetHadChildrenOnEnum(true);
    buffer.Clear();
    if (fRaiseEvents) DeliverKey(name, has_children);
    if (fDoEvents) DoEvents();
    node.reset();
    rc = EnumKeyAt(key, ++index, buffer);
    if (TakeAbortRequest()) break;
  }
  return keys;
}

Ref<HandlerAValues> HandlerA::EnumValues(std::int32_t uKey, bool fRaiseEvents, bool fDoEvents,
                                         bool fReturnNothing) {
  CheckDelivery(fRaiseEvents, fReturnNothing);
  const Ref<HandlerA> self = RefTo(this);
  Ref<HandlerAValues> values;
  std::shared_ptr<ValueNode> node;

  // The unnamed value comes first, whether or not the key has one.
  if (!fReturnNothing) {
    values = HandlerAValues::Make();
    values->SetParentKey(uKey);
    node = values->AddValue(UString(), 0, u"(default)");
  } else {
    node = std::make_shared<ValueNode>();
    node->SetParentKey(uKey);
  }
  node->SetHandler(self);
  std::int32_t default_type = 0;
  GetValue(uKey, UString(), nullptr, &default_type);
  node->SetDataType(default_type == 0 ? static_cast<std::int32_t>(REG_SZ) : default_type);
  node->LetDefault(true);
  if (fRaiseEvents) DeliverValue(node);
  node.reset();

  const HKEY key = HKeyFromLong(uKey);
  NameBuffer buffer;
  DWORD index = 0;
  DWORD type = REG_NONE;
  LONG rc = EnumValueAt(key, index, buffer, &type);
  for (;;) {
    const Next next = Classify(rc);
    if (next == Next::kDone) break;
    if (next == Next::kSkip) {
      buffer.ResetLength();
      rc = EnumValueAt(key, ++index, buffer, &type);
      continue;
    }
    const UString name = buffer.Name();
    if (values) {
      node = values->AddValue(name, static_cast<std::int32_t>(type), name);
    } else {
      node = std::make_shared<ValueNode>();
      node->SetValueName(name);
    }
    node->SetHandler(self);
    if (name.empty()) node->LetDefault(true);
    node->SetParentKey(uKey);
    node->SetDataType(static_cast<std::int32_t>(type));
    buffer.ResetLength();
    if (fRaiseEvents) DeliverValue(node);
    if (fDoEvents) DoEvents();
    node.reset();
    rc = EnumValueAt(key, ++index, buffer, &type);
    if (TakeAbortRequest()) break;
  }
  return values;
}

Ref<HandlerAKey> HandlerA::GetKeyObject(std::int32_t uKey, bool fEnumValues) {
  auto node = std::make_shared<KeyNode>();
  node->SetHandler(RefTo(this));
  node->SetHandle(uKey);
  if (fEnumValues) node->SetValues(EnumValues(uKey));
  return HandlerAKey::Of(node);
}

}  // namespace keystrel
