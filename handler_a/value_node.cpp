#include "handler_a/value_node.h"

#include <limits>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "handler_a/handler_a.h"

namespace keystrel::handler_a_detail {

ValueNode::ValueNode() = default;
ValueNode::~ValueNode() = default;

void ValueNode::SetParentKey(std::int32_t handle) {
  parent_key_ = handle;
  if (Identified() && handler_ && auto_set_) Read();
}

void ValueNode::SetParent(HandlerAValues* parent) {
  parent_ = parent;
  if (facade_) facade_->parent_ = RefTo(parent);
}

void ValueNode::ForgetParent(const HandlerAValues* parent) {
  if (parent_ == parent) parent_ = nullptr;
}

void ValueNode::SetHandler(Ref<HandlerA> handler) {
  handler_ = std::move(handler);
  if (handler_ && Identified() && parent_key_ != 0 && auto_set_) Read();
}

void ValueNode::SetValueName(const UString& name) {
  if (TextEquals(name, value_name_)) return;
  value_name_ = name;
  if (handler_ && parent_key_ != 0 && auto_set_) Read();
}

Variant ValueNode::Value() {
  if (!loaded_ && auto_set_) Read();
  return value_;
}

void ValueNode::LetValue(const Variant& value) {
  value_ = value;
  if (auto_set_) Write();
}

void ValueNode::LetAutoSet(bool on) {
  auto_set_ = on;
  if (on && !loaded_) Read();
}

void ValueNode::LetDefault(bool on) {
  is_default_ = on;
  if (value_name_.empty() && is_default_ && auto_set_ && !loaded_) Read();
}

void ValueNode::Read() {
  if (!handler_) return;
  Ref<HandlerA> handler = handler_;  // the read may not outlive its handler
  std::int32_t type_seen = 0;
  value_ = handler->GetValue(parent_key_, value_name_, nullptr, &type_seen);
  ComputeSize();
  loaded_ = true;
}

void ValueNode::Write() {
  if (!handler_) return;
  Ref<HandlerA> handler = handler_;
  handler->SetValue(parent_key_, value_name_, value_);
  loaded_ = true;
}

void ValueNode::ComputeSize() {
  if (value_.is_empty()) return;
  if (value_.is_array()) {
    const SafeArray& array = value_.array();
    const std::int64_t count = static_cast<std::int64_t>(array.UBound()) + 1;
    const Variant first = array.Get(0);  // 9 when the array has no element 0
    std::int64_t size = count;
    if (first.type() != VarType::kByte) {
      const std::int64_t length = first.is_string()
                                      ? static_cast<std::int64_t>(first.string().size())
                                      : static_cast<std::int64_t>(ToText(first).size());
      size = length * count;
    }
    if (size > std::numeric_limits<std::int32_t>::max()) RaiseError(rt::kOverflow);
    size_ = static_cast<std::int32_t>(size);
    return;
  }
  switch (value_.type()) {
    case VarType::kInteger:
      size_ = 2;
      break;
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kBoolean:
    case VarType::kObject:
      size_ = 4;
      break;
    case VarType::kDouble:
    case VarType::kDate:
      size_ = 8;
      break;
    case VarType::kString:
      size_ = static_cast<std::int32_t>(value_.string().size());
      break;
    case VarType::kByte:
      size_ = 1;
      break;
    default:  // null, currency, decimal, error: no size of their own
      size_ = 0;
      break;
  }
}

UString ValueNode::TypeWord(bool friendly) const {
  struct Words {
    const char16_t* friendly;
    const char16_t* plain;
  };
  static constexpr Words kWords[] = {
      {u"None", u"NONE"},
      {u"String", u"SZ"},
      {u"String With Environment Variables", u"EXPANDSZ"},
      {u"Binary", u"BINARY"},
      {u"DWord", u"DWORD"},
      {u"DWord (Big Endian)", u"DWORD(B)"},
      {u"Link", u"LINK"},
      {u"Multiple Strings", u"MULTISZ"},
  };
  const std::size_t index =
      data_type_ >= 1 && data_type_ <= 7 ? static_cast<std::size_t>(data_type_) : 0;
  return friendly ? kWords[index].friendly : kWords[index].plain;
}

}  // namespace keystrel::handler_a_detail
