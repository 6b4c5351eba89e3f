#include "com/idl/idl_writer.h"

#include <cstdio>
#include <set>
#include <sstream>
#include <vector>

#include "frame/safe_array.h"

namespace keystrel::com {
namespace {

// FNV-1a over the salted name; two passes with different seeds give the 128
// bits. RFC 9562 version 8 (custom) marks the result as a name-derived
// identifier of our own, not a random or time-based one.
std::uint64_t Fnv1a(std::string_view text, std::uint64_t seed) {
  std::uint64_t h = seed;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  // A final mix so that names differing in their last byte differ widely.
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  return h;
}

std::string Utf8(UStringView s) { return UToUtf8(s); }

bool InTypeLibrary(const ClassInfo& cls) { return cls.instancing != Instancing::kRuntime; }

std::string ScalarIdlType(VarType t) {
  switch (t) {
    case VarType::kEmpty: return "VARIANT";
    case VarType::kNull: return "VARIANT";
    case VarType::kInteger: return "short";
    case VarType::kLong: return "long";
    case VarType::kSingle: return "float";
    case VarType::kDouble: return "double";
    case VarType::kCurrency: return "CURRENCY";
    case VarType::kDate: return "DATE";
    case VarType::kString: return "BSTR";
    case VarType::kObject: return "IDispatch*";
    case VarType::kError: return "SCODE";
    case VarType::kBoolean: return "VARIANT_BOOL";
    case VarType::kVariant: return "VARIANT";
    case VarType::kDecimal: return "DECIMAL";
    case VarType::kByte: return "unsigned char";
    case VarType::kArray: return "VARIANT";
  }
  return "VARIANT";
}

// The VARTYPE a value travels as where the IDL declares ScalarIdlType(t).
std::string ScalarVt(VarType t) {
  switch (t) {
    case VarType::kInteger: return "VT_I2";
    case VarType::kLong: return "VT_I4";
    case VarType::kSingle: return "VT_R4";
    case VarType::kDouble: return "VT_R8";
    case VarType::kCurrency: return "VT_CY";
    case VarType::kDate: return "VT_DATE";
    case VarType::kString: return "VT_BSTR";
    case VarType::kObject: return "VT_DISPATCH";
    case VarType::kError: return "VT_ERROR";
    case VarType::kBoolean: return "VT_BOOL";
    case VarType::kDecimal: return "VT_DECIMAL";
    case VarType::kByte: return "VT_UI1";
    default: return "VT_VARIANT";
  }
}

// How parameters and results are declared: one source for the IDL and for
// the C++ that serves the same declarations through widl's header.
class Types {
 public:
  explicit Types(const Catalogue& catalogue) {
    for (const ClassInfo* cls : catalogue.Classes()) {
      if (InTypeLibrary(*cls)) classes_.insert(Utf8(cls->name));
    }
    for (const EnumInfo* e : catalogue.Enums()) enums_.insert(Utf8(e->name));
  }

  bool IsEnum(const UString& name) const {
    return !name.empty() && enums_.count(Utf8(name)) != 0;
  }

  std::string ParamType(const ParamInfo& p) const {
    if (IsArrayType(p.type)) {
      // Arrays always travel by reference.
      return "SAFEARRAY(" + ScalarIdlType(ElementType(p.type)) + ")*";
    }
    const std::string base = IsEnum(p.enum_name) ? Utf8(p.enum_name) : ScalarIdlType(p.type);
    return p.by_ref ? base + "*" : base;
  }

  // The library interface an object result is declared as; empty when it is
  // a plain IDispatch.
  std::string ResultInterface(const MemberInfo& m) const {
    if (m.result == VarType::kObject && !m.result_class.empty() &&
        classes_.count(Utf8(m.result_class))) {
      return "_" + Utf8(m.result_class);
    }
    return {};
  }

  std::string ResultType(const MemberInfo& m) const {
    if (IsArrayType(m.result)) return "SAFEARRAY(" + ScalarIdlType(ElementType(m.result)) + ")*";
    const std::string iface = ResultInterface(m);
    if (!iface.empty()) return iface + "**";
    if (IsEnum(m.result_enum)) return Utf8(m.result_enum) + "*";
    return ScalarIdlType(m.result) + "*";
  }

  // A dispinterface member's declared result: the value itself, not an
  // [out, retval] pointer.
  std::string DispResultType(const MemberInfo& m) const {
    if (m.result == VarType::kEmpty) return "void";
    if (IsArrayType(m.result)) return "SAFEARRAY(" + ScalarIdlType(ElementType(m.result)) + ")";
    const std::string iface = ResultInterface(m);
    if (!iface.empty()) return iface + "*";
    if (IsEnum(m.result_enum)) return Utf8(m.result_enum);
    return ScalarIdlType(m.result);
  }

  // Enumerations travel as longs.
  static std::string Vt(VarType t, bool is_enum) {
    if (IsArrayType(t)) return "VT_ARRAY | " + ScalarVt(ElementType(t));
    return is_enum ? "VT_I4" : ScalarVt(t);
  }

 private:
  std::set<std::string> classes_;
  std::set<std::string> enums_;
};

class Writer {
 public:
  explicit Writer(const Catalogue& catalogue) : catalogue_(catalogue), types_(catalogue) {}

  std::string Run() {
    out_ << "// Generated from the class catalogue by keystrel-idl-gen. Do not edit.\n"
         << "import \"oaidl.idl\";\nimport \"ocidl.idl\";\n\n"
         << "[\n  uuid(" << NameGuid("library:Keystrel10") << "),\n"
         << "  version(1.0),\n  lcid(0x0409),\n  helpstring(\"Keystrel10\")\n]\n"
         << "library Keystrel10\n{\n"
         << "  importlib(\"stdole2.tlb\");\n\n";
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (InTypeLibrary(*cls)) out_ << "  interface _" << Utf8(cls->name) << ";\n";
    }
    out_ << "\n";
    for (const EnumInfo* e : catalogue_.Enums()) WriteEnum(*e);
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (InTypeLibrary(*cls)) WriteInterface(*cls);
    }
    std::set<std::string> written_events;
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (InTypeLibrary(*cls) && cls->events &&
          written_events.insert(Utf8(cls->events->name)).second) {
        WriteEvents(*cls->events);
      }
    }
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (InTypeLibrary(*cls)) WriteCoclass(*cls);
    }
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (!InTypeLibrary(*cls)) WriteRuntimeInterface(*cls);
    }
    out_ << "};\n";
    return out_.str();
  }

 private:
  // Enumerations are referred to by their typedef name only: a tag would
  // clash with members of the same name (the property hKey of type hKey).
  // Member names shared between enumerations (HKEY_CLASSES_ROOT) are
  // accepted by widl and legal in a type library.
  void WriteEnum(const EnumInfo& e) {
    const std::string name = Utf8(e.name);
    out_ << "  typedef [uuid(" << NameGuid("enum:" + name) << "), v1_enum]\n  enum {\n";
    for (std::size_t i = 0; i < e.members.size(); ++i) {
      out_ << "    " << Utf8(e.members[i].first) << " = " << e.members[i].second
           << (i + 1 < e.members.size() ? ",\n" : "\n");
    }
    out_ << "  } " << name << ";\n\n";
  }

  static std::string Literal(const Variant& v) {
    if (v.is_string()) {
      std::string s = "\"";
      for (char c : UToUtf8(v.string())) {
        if (c == '"' || c == '\\') s += '\\';
        s += c;
      }
      return s + "\"";
    }
    if (v.is_bool()) return v.bool_value() ? "-1" : "0";
    switch (v.type()) {
      case VarType::kByte: return std::to_string(v.byte_value());
      case VarType::kInteger: return std::to_string(v.integer_value());
      case VarType::kLong: return std::to_string(v.long_value());
      case VarType::kDouble: {
        std::ostringstream s;
        s << v.double_value();
        return s.str();
      }
      default: return {};
    }
  }

  std::string ParamAttributes(const ParamInfo& p) const {
    const bool by_ref = p.by_ref || IsArrayType(p.type);
    std::string attrs = by_ref ? "in, out" : "in";
    if (!p.optional) return attrs;
    attrs += ", optional";
    // widl takes defaults on by-value parameters only; a by-reference
    // optional is filled in by the member's own call layer either way.
    if (by_ref) return attrs;
    std::string literal;
    if (p.default_value) literal = Literal(*p.default_value);
    // Non-variant optionals without a declared default get their type's
    // zero, which is what a caller that omits them receives.
    if (literal.empty() && p.type != VarType::kVariant && p.type != VarType::kObject) {
      literal = p.type == VarType::kString ? "\"\"" : "0";
    }
    if (!literal.empty()) attrs += ", defaultvalue(" + literal + ")";
    return attrs;
  }

  void WriteMember(const MemberInfo& m) {
    out_ << "    [id(" << m.dispid << ")";
    switch (m.kind) {
      case MemberKind::kMethod: break;
      case MemberKind::kPropertyGet: out_ << ", propget"; break;
      case MemberKind::kPropertyLet: out_ << ", propput"; break;
      case MemberKind::kPropertySet: out_ << ", propputref"; break;
    }
    if (m.hidden) out_ << ", hidden";
    if (m.dispid == kDispidNewEnum) out_ << ", restricted";
    out_ << "] HRESULT " << Utf8(m.name) << "(";
    bool first = true;
    for (const ParamInfo& p : m.params) {
      out_ << (first ? "" : ", ") << "[" << ParamAttributes(p) << "] " << types_.ParamType(p) << " "
           << Utf8(p.name);
      first = false;
    }
    if (m.result != VarType::kEmpty) {
      out_ << (first ? "" : ", ") << "[out, retval] " << types_.ResultType(m) << " retval";
    }
    out_ << ");\n";
  }

  void WriteInterface(const ClassInfo& cls) {
    const std::string name = Utf8(cls.name);
    out_ << "  [\n    uuid(" << NameGuid("interface:_" + name) << "),\n"
         << "    hidden, dual, nonextensible, oleautomation\n  ]\n"
         << "  interface _" << name << " : IDispatch\n  {\n";
    for (const MemberInfo& m : cls.members) WriteMember(m);
    out_ << "  };\n\n";
  }

  // The runtime's own classes (App, ErrObject, Collection, the enumerator)
  // have no coclass and no vtable of ours, but their objects still describe
  // themselves through IDispatch::GetTypeInfo: a hidden dispinterface
  // `_<class>` with the catalogue's members, so a client can tell what they
  // are and list what they answer. Calls go through IDispatch only.
  void WriteRuntimeInterface(const ClassInfo& cls) {
    const std::string name = Utf8(cls.name);
    out_ << "  [\n    uuid(" << NameGuid("interface:_" + name) << "),\n    hidden\n  ]\n"
         << "  dispinterface _" << name << "\n  {\n  properties:\n  methods:\n";
    for (const MemberInfo& m : cls.members) {
      out_ << "    [id(" << m.dispid << ")";
      switch (m.kind) {
        case MemberKind::kMethod: break;
        case MemberKind::kPropertyGet: out_ << ", propget"; break;
        case MemberKind::kPropertyLet: out_ << ", propput"; break;
        case MemberKind::kPropertySet: out_ << ", propputref"; break;
      }
      if (m.hidden) out_ << ", hidden";
      if (m.dispid == kDispidNewEnum) out_ << ", restricted";
      out_ << "] " << types_.DispResultType(m) << " " << Utf8(m.name) << "(";
      bool first = true;
      for (const ParamInfo& p : m.params) {
        out_ << (first ? "" : ", ") << "[" << ParamAttributes(p) << "] " << types_.ParamType(p)
             << " " << Utf8(p.name);
        first = false;
      }
      out_ << ");\n";
    }
    out_ << "  };\n\n";
  }

  void WriteEvents(const EventInterfaceInfo& iface) {
    const std::string name = Utf8(iface.name);
    out_ << "  [\n    uuid(" << NameGuid("events:" + name) << "),\n    hidden\n  ]\n"
         << "  dispinterface " << name << "\n  {\n  properties:\n  methods:\n";
    for (const EventInfo& e : iface.events) {
      out_ << "    [id(" << e.dispid << ")] void " << Utf8(e.name) << "(";
      bool first = true;
      for (const ParamInfo& p : e.params) {
        out_ << (first ? "" : ", ") << "[in" << (p.by_ref ? ", out" : "") << "] "
             << types_.ParamType(p) << " " << Utf8(p.name);
        first = false;
      }
      out_ << ");\n";
    }
    out_ << "  };\n\n";
  }

  void WriteCoclass(const ClassInfo& cls) {
    const std::string name = Utf8(cls.name);
    out_ << "  [\n    uuid(" << NameGuid("class:" + name) << ")";
    if (cls.instancing == Instancing::kGlobal) out_ << ",\n    appobject";
    if (cls.instancing == Instancing::kNotCreatable) out_ << ",\n    noncreatable";
    out_ << "\n  ]\n  coclass " << name << "\n  {\n"
         << "    [default] interface _" << name << ";\n";
    if (cls.events) out_ << "    [default, source] dispinterface " << Utf8(cls.events->name) << ";\n";
    out_ << "  };\n\n";
  }

  const Catalogue& catalogue_;
  Types types_;
  std::ostringstream out_;
};

// The C++ that serves each dual interface's vtable (see WriteDualGlue).
class DualWriter {
 public:
  explicit DualWriter(const Catalogue& catalogue) : catalogue_(catalogue), types_(catalogue) {}

  std::string Header(std::string_view widl_header) {
    std::set<std::string> enumerators;
    for (const EnumInfo* e : catalogue_.Enums()) {
      for (const auto& member : e->members) enumerators.insert(Utf8(member.first));
    }
    out_ << "// Generated from the class catalogue by keystrel-idl-gen. Do not edit.\n"
         << "// The library's interfaces as widl declares them in " << widl_header << ".\n"
         << "// While that header is read, every enumeration member is renamed: two\n"
         << "// enumerations share member names, which C++ refuses in one scope, and some\n"
         << "// are Windows macros (HKEY_CLASSES_ROOT, REG_SZ). The enumerations' typedef\n"
         << "// names stay usable; the Windows macros are restored afterwards.\n"
         << "#ifndef KEYSTREL10_INTERFACES_H_\n#define KEYSTREL10_INTERFACES_H_\n\n"
         << "#include <windows.h>\n#include <ole2.h>\n#include <oaidl.h>\n#include <ocidl.h>\n\n"
         << "#define KEYSTREL10_ENUMERATOR_JOIN(a, b) a##_enumerator_##b\n"
         << "#define KEYSTREL10_ENUMERATOR_CAT(a, b) KEYSTREL10_ENUMERATOR_JOIN(a, b)\n"
         << "#define KEYSTREL10_ENUMERATOR(a) KEYSTREL10_ENUMERATOR_CAT(a, __COUNTER__)\n";
    for (const std::string& name : enumerators) {
      out_ << "#pragma push_macro(\"" << name << "\")\n#undef " << name << "\n#define " << name
           << " KEYSTREL10_ENUMERATOR(" << name << ")\n";
    }
    // widl writes string defaults as wide literals into BSTR parameters.
    out_ << "#pragma GCC diagnostic push\n#pragma GCC diagnostic ignored \"-Wwrite-strings\"\n"
         << "#include \"" << widl_header << "\"\n#pragma GCC diagnostic pop\n";
    for (const std::string& name : enumerators) {
      out_ << "#undef " << name << "\n#pragma pop_macro(\"" << name << "\")\n";
    }
    out_ << "\n#endif  // KEYSTREL10_INTERFACES_H_\n";
    return out_.str();
  }

  std::string Glue(std::string_view interfaces_header) {
    out_ << "// Generated from the class catalogue by keystrel-idl-gen. Do not edit.\n"
         << "// The vtables of the library's dual interfaces: one class per interface,\n"
         << "// overriding every entry widl declares for it, each of which carries its\n"
         << "// arguments to the object's IDispatch::Invoke (com/dual_interface.h).\n"
         << "#include \"" << interfaces_header << "\"\n\n"
         << "#include \"com/dual_interface.h\"\n\n"
         << "namespace keystrel::com {\nnamespace {\n\n";
    std::vector<std::string> interfaces;
    for (const ClassInfo* cls : catalogue_.Classes()) {
      if (!InTypeLibrary(*cls)) continue;
      const std::string iface = "_" + Utf8(cls->name);
      interfaces.push_back(iface);
      out_ << "class Dual" << iface << " final : public DualFace<" << iface << "> {\n public:\n"
           << "  using DualFace<" << iface << ">::DualFace;\n";
      for (const MemberInfo& m : cls->members) WriteEntry(m);
      out_ << "};\n\n";
    }
    out_ << "}  // namespace\n\n"
         << "std::span<const DualInterfaceEntry> DualInterfaces() {\n"
         << "  static const DualInterfaceEntry kEntries[] = {\n";
    for (const std::string& iface : interfaces) {
      out_ << "      {__uuidof(" << iface << "), &NewDualFace<Dual" << iface << ">},\n";
    }
    out_ << "  };\n  return kEntries;\n}\n\n}  // namespace keystrel::com\n";
    return out_.str();
  }

 private:
  void WriteEntry(const MemberInfo& m) {
    out_ << "  HRESULT STDMETHODCALLTYPE " << EntryName(m) << "(";
    std::string args;
    for (std::size_t i = 0; i < m.params.size(); ++i) {
      const ParamInfo& p = m.params[i];
      const std::string name = "p" + std::to_string(i);
      out_ << (i ? ", " : "") << CppType(types_.ParamType(p)) << " " << name;
      const std::string vt = Types::Vt(p.type, types_.IsEnum(p.enum_name));
      const bool by_ref = p.by_ref || IsArrayType(p.type);
      args += std::string(i ? ", " : "") +
              (by_ref ? "InOut<" + vt + ">(" + name + (p.optional ? ", kOptional" : ", kRequired") +
                            ")"
                      : "In<" + vt + ">(" + name + ")");
    }
    std::string result = "NoResult()";
    if (m.result != VarType::kEmpty) {
      out_ << (m.params.empty() ? "" : ", ") << CppType(types_.ResultType(m)) << " retval";
      result = types_.ResultInterface(m).empty()
                   ? "Out<" + Types::Vt(m.result, types_.IsEnum(m.result_enum)) + ">(retval)"
                   : "OutObject(retval)";
    }
    out_ << ") override {\n    return Call(" << m.dispid << ", " << DispatchFlags(m) << ", " << result
         << ", {" << args << "});\n  }\n";
  }

  // The C++ spelling of an IDL type as widl writes it.
  static std::string CppType(const std::string& idl) {
    if (idl.rfind("SAFEARRAY(", 0) == 0) return "SAFEARRAY*" + idl.substr(idl.find(')') + 1);
    return idl;
  }

  // widl names property accessors get_, put_ and putref_.
  static std::string EntryName(const MemberInfo& m) {
    switch (m.kind) {
      case MemberKind::kMethod: break;
      case MemberKind::kPropertyGet: return "get_" + Utf8(m.name);
      case MemberKind::kPropertyLet: return "put_" + Utf8(m.name);
      case MemberKind::kPropertySet: return "putref_" + Utf8(m.name);
    }
    return Utf8(m.name);
  }

  static const char* DispatchFlags(const MemberInfo& m) {
    switch (m.kind) {
      case MemberKind::kMethod: break;
      case MemberKind::kPropertyGet: return "DISPATCH_PROPERTYGET";
      case MemberKind::kPropertyLet: return "DISPATCH_PROPERTYPUT";
      case MemberKind::kPropertySet: return "DISPATCH_PROPERTYPUTREF";
    }
    return "DISPATCH_METHOD";
  }

  const Catalogue& catalogue_;
  Types types_;
  std::ostringstream out_;
};

}  // namespace

std::string NameGuid(std::string_view name) {
  const std::string salted = "Keystrel10 1.0/" + std::string(name);
  std::uint64_t hi = Fnv1a(salted, 0xcbf29ce484222325ULL);
  std::uint64_t lo = Fnv1a(salted, 0x84222325cbf29ce4ULL);
  hi = (hi & ~0xF000ULL) | 0x8000ULL;                              // version 8
  lo = (lo & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;       // variant 10
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX",
                static_cast<unsigned>(hi >> 32), static_cast<unsigned>((hi >> 16) & 0xFFFF),
                static_cast<unsigned>(hi & 0xFFFF), static_cast<unsigned>(lo >> 48),
                static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
  return buf;
}

std::string WriteIdl(const Catalogue& catalogue) { return Writer(catalogue).Run(); }

std::string WriteInterfacesHeader(const Catalogue& catalogue, std::string_view widl_header) {
  return DualWriter(catalogue).Header(widl_header);
}

std::string WriteDualGlue(const Catalogue& catalogue, std::string_view interfaces_header) {
  return DualWriter(catalogue).Glue(interfaces_header);
}

}  // namespace keystrel::com
