// The runtime class "App": the library's application object, one per thread.
#include <filesystem>
#include <system_error>

#include "frame/catalogue.h"
#include "frame/error.h"
#include "frame/host.h"
#include "frame/internal/frame_classes.h"

namespace keystrel {

namespace {

// The folder the library runs from. The native build is linked into its
// executable, so that is the executable's folder; where the process image
// cannot be found the working folder stands in.
UString LibraryFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  std::filesystem::path folder = ec ? std::filesystem::current_path(ec) : exe.parent_path();
  if (ec) return UString();
  return folder.u16string();
}

class AppObject final : public Object {
 public:
  AppObject() : path_(LibraryFolder()) {}

  const ClassInfo* class_info() const noexcept override {
    static const ClassInfo* const info = detail::RuntimeClass(u"App");
    return info;
  }
  const UString& path() const { return path_; }

 private:
  UString path_;
};

MemberInfo Constant(UString name, Variant value) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = MemberKind::kPropertyGet;
  m.result = value.type();
  m.fn = [value = std::move(value)](Object&, CallFrame&) { return value; };
  return m;
}

}  // namespace

namespace detail {

Ref<Object> MakeApplicationObject() { return MakeRef<AppObject>(); }

void RegisterAppClass() {
  ClassInfo cls;
  cls.name = u"App";
  cls.instancing = Instancing::kRuntime;
  MemberInfo path;
  path.name = u"Path";
  path.kind = MemberKind::kPropertyGet;
  path.result = VarType::kString;
  path.fn = [](Object& self, CallFrame&) {
    return Variant::String(static_cast<AppObject&>(self).path());
  };
  cls.members = {
      Constant(u"EXEName", u"keystrel10"),
      Constant(u"Title", u"Keystrel10"),
      std::move(path),
      Constant(u"Major", Variant::Integer(1)),
      Constant(u"Minor", Variant::Integer(0)),
      Constant(u"Revision", Variant::Integer(0)),
      Constant(u"ProductName", u"Keystrel10"),
      Constant(u"CompanyName", u""),
      Constant(u"FileDescription", u"Keystrel10 registry automation library"),
      Constant(u"LegalCopyright", u""),
      Constant(u"Comments", u""),
  };
  Catalogue::Instance().AddClass(std::move(cls));
}

}  // namespace detail

}  // namespace keystrel
