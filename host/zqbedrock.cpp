#include "host/zqbedrock.h"

#include <span>
#include <vector>

#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "host/zqbr_common.h"

namespace keystrel {

namespace {

constexpr std::int32_t kMemberDispid = 1;

// The maker's objects are reached only by name, so each answers its one
// member and nothing else; no catalogue entry, as they are not this library's
// classes.
class MakerObject : public Object {
 public:
  std::int32_t IdOfName(UStringView name) override {
    return TextEquals(name, member()) ? kMemberDispid : kDispidUnknown;
  }
  Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) override {
    if (dispid != kMemberDispid || (kind & kMethod) == 0) RaiseError(rt::kMemberNotFound);
    Call(args);
    return Variant();
  }

 protected:
  virtual UStringView member() const = 0;
  virtual void Call(std::span<Arg> args) = 0;

  static Object& ObjectArg(const Arg& arg) {
    const Variant& v = arg.get();
    if (!v.is_object() || !v.object()) RaiseError(rt::kObjectRequired);
    return *v.object();
  }
  static UString Text(Object& obj, UStringView property) {
    return ToText(CallByName(obj, property));
  }
};

class AboutBox final : public MakerObject {
 protected:
  UStringView member() const override { return zqbr_common::kAboutMember; }
  void Call(std::span<Arg> args) override {
    if (args.size() != 1) RaiseError(rt::kWrongArgumentCount);
    Object& app = ObjectArg(args[0]);
    const UString version =
        Text(app, u"Major") + u"." + Text(app, u"Minor") + u"." + Text(app, u"Revision");
    const UString prompt =
        Text(app, u"ProductName") + u" " + version + u"\r\n" + Text(app, u"FileDescription");
    ShowMessageBox(prompt, kAboutBoxStyle, u"About " + Text(app, u"Title"));
  }
};

class ErrorReport final : public MakerObject {
 protected:
  UStringView member() const override { return zqbr_common::kErrorHandlerMember; }
  void Call(std::span<Arg> args) override {
    if (args.size() != 8) RaiseError(rt::kWrongArgumentCount);
    Object& app = ObjectArg(args[0]);
    Object& err = ObjectArg(args[1]);
    const UString prompt = u"Error " + Text(err, u"Number") + u" in " + ToText(args[3].get()) +
                           u"\r\n" + Text(err, u"Description") + u"\r\n(" + Text(err, u"Source") +
                           u")";
    ShowMessageBox(prompt, kErrorBoxStyle, Text(app, u"Title"));
  }
};

}  // namespace

void RegisterZqBedrockStandIn() {
  RegisterProgId(zqbr_common::kAboutProgId, [] { return Ref<Object>(MakeRef<AboutBox>()); });
  RegisterProgId(zqbr_common::kErrorHandlerProgId,
                 [] { return Ref<Object>(MakeRef<ErrorReport>()); });
}

}  // namespace keystrel
