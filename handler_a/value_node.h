// The state of one value object (clsZqRegyHandlerAValueA), kept apart from the
// automation object that clients hold.
//
// Why two parts: a values collection must keep its items alive, and an item a
// client holds must keep its collection (Parent) alive. Plain counted
// references both ways would form a cycle that never ends. Instead the
// collection owns the items' states, and the client-visible value object owns
// its state and a counted reference to the collection. No state points back
// at a client-visible object except through a plain pointer that the object
// clears when it ends, so the graph ends once no client holds any part of it.
// While a client holds a value object, the same object is handed out again
// (identity holds for "Is" comparisons).
#ifndef KEYSTREL_HANDLER_A_VALUE_NODE_H_
#define KEYSTREL_HANDLER_A_VALUE_NODE_H_

#include <cstdint>

#include "frame/object.h"
#include "frame/variant.h"

namespace keystrel {

class HandlerA;
class HandlerAValue;
class HandlerAValues;

namespace handler_a_detail {

class ValueNode {
 public:
  ValueNode();
  ~ValueNode();
  ValueNode(const ValueNode&) = delete;
  ValueNode& operator=(const ValueNode&) = delete;

  // Library-internal setters. Those that complete the value's identity read
  // its data at once when AutoSet is on (each time their condition holds).
  void SetParentKey(std::int32_t handle);
  void SetParent(HandlerAValues* parent);
  void SetHandler(Ref<HandlerA> handler);
  void SetValueName(const UString& name);
  void SetDataType(std::int32_t type) { data_type_ = type; }

  // Public behaviour of the value object.
  Variant Value();
  void LetValue(const Variant& value);
  bool AutoSet() const { return auto_set_; }
  void LetAutoSet(bool on);
  bool Default() const { return is_default_; }
  void LetDefault(bool on);
  std::int32_t ParentKey() const { return parent_key_; }
  HandlerAValues* Parent() const { return parent_; }
  std::int32_t Size() const { return size_; }
  const UString& ValueName() const { return value_name_; }
  std::int32_t DataType() const { return data_type_; }
  void Read();   // GetValue through the handler
  void Write();  // SetValue through the handler
  void Clear() { value_ = Variant(); }
  UString TypeWord(bool friendly) const;

  // The client-visible object currently standing for this state, if any.
  HandlerAValue* facade() const { return facade_; }
  void set_facade(HandlerAValue* facade) { facade_ = facade; }
  // A collection that ends forgets itself in the states that outlive it.
  void ForgetParent(const HandlerAValues* parent);

 private:
  bool Identified() const { return value_name_.empty() == is_default_; }
  void ComputeSize();

  bool is_default_ = false;
  Ref<HandlerA> handler_;
  HandlerAValues* parent_ = nullptr;
  std::int32_t data_type_ = 0;
  UString value_name_;
  std::int32_t parent_key_ = 0;
  std::int32_t size_ = 0;
  bool loaded_ = false;
  bool auto_set_ = true;
  Variant value_;
  HandlerAValue* facade_ = nullptr;
};

}  // namespace handler_a_detail
}  // namespace keystrel

#endif  // KEYSTREL_HANDLER_A_VALUE_NODE_H_
