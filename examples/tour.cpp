// A tour of the library for a person who has never seen it: every class used
// the way a script uses it (created by programmatic identifier, called by
// member name), on the embedded default store. It prints what it does and
// what it finds; `make run` then lists the keys it wrote with the keystrel
// tool.
//
// Everything the tour writes lives under HKCU\Software\KeystrelTour and the
// file association ".ktour" (HKCR, a view of HKLM\Software\Classes); the tour
// removes its own earlier run first, so it can be run again and again.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "frame/convert.h"
#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/events.h"
#include "frame/host.h"
#include "frame/safe_array.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/registry.h"

namespace keystrel {
namespace {

constexpr std::int32_t kHkeyClassesRoot = static_cast<std::int32_t>(0x80000000u);
constexpr std::int32_t kHkeyCurrentUser = static_cast<std::int32_t>(0x80000001u);
constexpr char16_t kTourPath[] = u"Software\\KeystrelTour";

// A client object: answers every member by name through one callback, as a
// script's object would when the library calls back into it.
class ClientObject : public Object {
 public:
  using Handler = std::function<Variant(const UString& member, std::span<Arg> args)>;
  explicit ClientObject(Handler handler) : handler_(std::move(handler)) {}

  std::int32_t IdOfName(UStringView name) override {
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (TextEquals(names_[i], name)) return static_cast<std::int32_t>(i + 1);
    }
    names_.emplace_back(name);
    return static_cast<std::int32_t>(names_.size());
  }
  Variant Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg> args) override {
    if (dispid < 1 || dispid > static_cast<std::int32_t>(names_.size())) {
      RaiseError(rt::kMemberNotFound);
    }
    return handler_(names_[dispid - 1], args);
  }

 private:
  Handler handler_;
  std::vector<UString> names_;
};

// An event sink: the source calls it by event number; the name comes from the
// source's event interface.
class EventSink : public Object {
 public:
  using Handler = std::function<void(const UString& event, std::span<Arg> args)>;
  EventSink(const EventInterfaceInfo& iface, Handler handler)
      : iface_(iface), handler_(std::move(handler)) {}

  Variant Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg> args) override {
    const EventInfo* event = iface_.FindEvent(dispid);
    if (event == nullptr) RaiseError(rt::kMemberNotFound);
    handler_(event->name, args);
    return Variant();
  }

 private:
  const EventInterfaceInfo& iface_;
  Handler handler_;
};

std::string Text(const Variant& v) {
  if (v.is_array()) {
    const SafeArray& a = v.array();
    if (!a.has_storage()) return "(no elements)";
    std::string out = "{";
    for (std::int32_t i = a.LBound(); i <= a.UBound(); ++i) {
      out += (i == a.LBound() ? "" : ", ") + Text(a.Get(i));
    }
    return out + "}";
  }
  if (v.is_object()) return v.object() ? "(object)" : "Nothing";
  if (v.is_empty()) return "Empty";
  if (v.is_null()) return "Null";
  std::string text = UToUtf8(ToText(v));
  if (!v.is_string()) return text;
  // Multi-strings travel as text with NULs inside; show them.
  for (std::size_t p; (p = text.find('\0')) != std::string::npos;) text.replace(p, 1, "\\0");
  return "\"" + text + "\"";
}

std::string TypeOf(const Variant& v) { return UToUtf8(TypeNameOf(v.type())); }

Variant Call(Object& obj, UStringView member, std::vector<Variant> args = {}) {
  return CallByName(obj, member, std::move(args));
}
void Let(Object& obj, UStringView member, Variant value) {
  CallByName(obj, member, {std::move(value)}, kPropertyLet);
}

void Heading(const char* text) { std::printf("\n== %s\n", text); }

// Removes a key and everything below it through the registry functions.
void DeleteTree(platform::HKEY root, const std::string& path) {
  using namespace platform;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::vector<std::string> children;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    children.emplace_back(name, len);
  }
  RegCloseKey(key);
  for (const std::string& child : children) DeleteTree(root, path + "\\" + child);
  RegDeleteKeyA(root, path.c_str());
}

void TourHandlerC() {
  Heading("clsZqRegyHandlerC: a key addressed by hKey, KeyRoot and Subkey");
  Ref<Object> c = CreateObjectByProgId(u"Keystrel10.clsZqRegyHandlerC");
  Let(*c, u"hKey", VLong(kHkeyCurrentUser));
  Let(*c, u"KeyRoot", VStr(kTourPath));
  Let(*c, u"Subkey", VStr(u"Values"));
  Variant created = Call(*c, u"CreateKey");
  std::printf("CreateKey made HKCU\\Software\\KeystrelTour\\Values (it returns %s); KeyExists = %s\n",
              Text(created).c_str(), Text(Call(*c, u"KeyExists")).c_str());

  struct Row {
    const char16_t* name;
    Variant value;
    std::int32_t type;
    const char* type_name;
  };
  const std::vector<Row> rows = {
      {u"Greeting", VStr(u"Hello, registry"), 1, "REG_SZ"},
      {u"Where", VStr(u"%HOME%\\keystrel"), 2, "REG_EXPAND_SZ"},
      {u"Bytes", Variant::Array(SafeArray::Bytes(std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF})),
       3, "REG_BINARY"},
      {u"Answer", VLong(42), 4, "REG_DWORD"},
      {u"Colours", VStr(std::u16string(u"red\0green\0blue\0", 15)), 7, "REG_MULTI_SZ"},
  };
  for (const Row& row : rows) {
    Call(*c, u"SetRegistryValue", {VStr(row.name), row.value, VLong(row.type)});
    Variant back = Call(*c, u"GetRegistryValue", {VStr(row.name)});
    std::printf("  %-9s %-13s wrote %-24s read back %s (%s)\n", UToUtf8(row.name).c_str(),
                row.type_name, Text(row.value).c_str(), Text(back).c_str(), TypeOf(back).c_str());
  }
  Variant missing = Call(*c, u"GetRegistryValue", {VStr(u"NoSuchValue"), VStr(u"(the default)")});
  std::printf("  a value that is not there reads as the default given: %s\n", Text(missing).c_str());

  Variant listing = Call(*c, u"EnumRegistryValues",
                         {VLong(kHkeyCurrentUser), VStr(std::u16string(kTourPath) + u"\\Values")});
  std::printf("EnumRegistryValues gives a keyed collection of display forms:\n");
  for (const Variant& item : ForEachItems(*listing.object())) {
    std::printf("  %s\n", Text(item).c_str());
  }
}

void TourHandlerA() {
  Heading("clsZqRegyHandlerA: the global handler, walking keys with events and a buddy");
  Ref<Object> a = GlobalInstance(u"clsZqRegyHandlerA");
  Variant key = Call(*a, u"OpenKey", {VLong(kHkeyCurrentUser), VStr(kTourPath)});
  std::printf("OpenKey(HKCU, \"Software\\KeystrelTour\") keeps handle %s in its table (Count = %s)\n",
              Text(key).c_str(), Text(Call(*a, u"Count")).c_str());

  Ref<EventSink> sink = MakeRef<EventSink>(
      a->event_source()->interface_info(), [](const UString& event, std::span<Arg> args) {
        std::printf("  event %s(%s, HasChildren=%s)\n", UToUtf8(event).c_str(),
                    Text(args[0].get()).c_str(), Text(args[1].get()).c_str());
      });
  std::uint32_t cookie = a->event_source()->Advise(sink);
  Variant keys = Call(*a, u"EnumKeys", {key, VBool(true)});
  a->event_source()->Unadvise(cookie);
  std::printf("EnumKeys with events returned %s keys\n",
              Text(CallByName(*keys.object(), u"Count")).c_str());

  Variant values_key = Call(*a, u"OpenKey", {VLong(kHkeyCurrentUser),
                                              VStr(std::u16string(kTourPath) + u"\\Values")});
  Ref<ClientObject> buddy = MakeRef<ClientObject>([](const UString& member, std::span<Arg> args) {
    Variant value = args[0].get();
    std::printf("  buddy %s: %s = %s\n", UToUtf8(member).c_str(),
                Text(DefaultValue(*value.object())).c_str(),
                Text(CallByName(*value.object(), u"Value")).c_str());
    return Variant();
  });
  CallByName(*a, u"BuddyObject", {Variant::Object(buddy)}, kPropertySet);
  Call(*a, u"EnumValues", {values_key, VBool(true)});
  CallByName(*a, u"BuddyObject", {Variant::Nothing()}, kPropertySet);

  Variant colours = Call(*a, u"GetValue", {values_key, VStr(u"Colours")});
  std::printf("GetValue of the multi-string gives a %s: %s\n", TypeOf(colours).c_str(),
              Text(colours).c_str());
  Arg join_arg[] = {Arg::ByRef(colours)};
  std::printf("ToMultiSZ joins it back into registry form: %s\n",
              Text(InvokeByName(*a, u"ToMultiSZ", join_arg)).c_str());
  Call(*a, u"CloseKey", {values_key});
  Call(*a, u"CloseKey", {key});
  std::printf("closed both keys (Count = %s)\n", Text(Call(*a, u"Count")).c_str());
}

void TourHandlerD() {
  Heading("clsZqRegyHandlerD: operations that never fail, reporting through ErrorOccurred");
  Ref<Object> d = CreateObjectByProgId(u"Keystrel10.clsZqRegyHandlerD");
  Ref<EventSink> sink = MakeRef<EventSink>(
      d->event_source()->interface_info(), [](const UString&, std::span<Arg> args) {
        std::string source = Text(args[1].get());
        for (std::size_t p; (p = source.find("\r\n")) != std::string::npos;) {
          source.replace(p, 2, " / ");
        }
        std::printf("  ErrorOccurred: number %s, %s\n    source %s\n", Text(args[0].get()).c_str(),
                    Text(args[2].get()).c_str(), source.c_str());
      });
  std::uint32_t cookie = d->event_source()->Advise(sink);
  std::u16string key = std::u16string(kTourPath) + u"\\Errors";
  std::printf("Set_Value -> %s\n",
              Text(Call(*d, u"Set_Value", {VLong(kHkeyCurrentUser), VStr(key), VStr(u"Count"),
                                           VStr(u"7"), VLong(1)}))
                  .c_str());
  std::printf("Query_Value as integer -> %s\n",
              Text(Call(*d, u"Query_Value", {VLong(kHkeyCurrentUser), VStr(key), VStr(u"Count"),
                                             VStr(u""), VLong(2)}))
                  .c_str());
  std::printf("Delete_Key of a key that is not there -> %s\n",
              Text(Call(*d, u"Delete_Key",
                        {VLong(kHkeyCurrentUser), VStr(std::u16string(kTourPath) + u"\\Nope")}))
                  .c_str());
  Variant first = Call(*d, u"ErrorExist");
  std::printf("ErrorExist = %s, then %s (reading it clears it)\n", Text(first).c_str(),
              Text(Call(*d, u"ErrorExist")).c_str());
  d->event_source()->Unadvise(cookie);
}

void TourHandlerB() {
  Heading("clsZqRegyHandlerB: a root and a path in every call");
  Ref<Object> b = CreateObjectByProgId(u"Keystrel10.clsZqRegyHandlerB");
  Let(*b, u"hKey", VLong(1));  // root index 1: HKEY_CURRENT_USER
  Variant root = Call(*b, u"hKey");
  std::u16string path = std::u16string(kTourPath) + u"\\PathBased";
  Call(*b, u"regCreate_A_Key", {root, VStr(path)});
  Call(*b, u"regCreate_Key_Value", {root, VStr(path), VStr(u"Colour"), VStr(u"teal")});
  Call(*b, u"regCreate_Key_Value", {root, VStr(path), VStr(u"Size"), VLong(12)});
  Variant count = VLong(0);
  Variant listing = Variant::Array(SafeArray(VarType::kVariant));
  Arg args[] = {Arg::ByVal(root), Arg::ByVal(VStr(path)), Arg::ByRef(count), Arg::ByRef(listing)};
  InvokeByName(*b, u"regRead_All_Keys", args);
  std::printf("root index 1 is %s; regRead_All_Keys found %s entries: %s\n", Text(root).c_str(),
              Text(count).c_str(), Text(listing).c_str());
}

void TourUtilities() {
  Heading("clsZqRegyUtilitesA: one value by ClassKey/SectionKey/ValueKey, and a file association");
  Ref<Object> u = CreateObjectByProgId(u"Keystrel10.clsZqRegyUtilitesA");
  Let(*u, u"ClassKey", VLong(kHkeyCurrentUser));
  Let(*u, u"SectionKey", VStr(std::u16string(kTourPath) + u"\\Settings"));
  Let(*u, u"ValueKey", VStr(u"Home"));
  Let(*u, u"valueType", VLong(1));
  Let(*u, u"Value", VStr(u"%HOME%\\tour"));
  Variant home = Call(*u, u"Value");  // the read sets valueType to the stored type
  std::printf("wrote \"%%HOME%%\\tour\" with valueType REG_SZ; it was stored as REG_EXPAND_SZ (a name "
              "between percent signs);\n  read back expanded: %s, valueType now %s\n",
              Text(home).c_str(), Text(Call(*u, u"valueType")).c_str());

  Call(*u, u"CreateEXEAssociation",
       {VStr(u"/opt/ktour/ktour.exe"), VStr(u"KeystrelTour.Document"),
        VStr(u"Keystrel tour document"), VStr(u"ktour")});
  Let(*u, u"ClassKey", VLong(kHkeyClassesRoot));
  Let(*u, u"SectionKey", VStr(u"KeystrelTour.Document\\shell\\open\\command"));
  Let(*u, u"ValueKey", VStr(u""));
  std::printf("CreateEXEAssociation registered .ktour; its open command is %s\n",
              Text(Call(*u, u"Value")).c_str());
  Variant sections = Variant::Array(SafeArray(VarType::kString));
  Variant n = VLong(0);
  Let(*u, u"SectionKey", VStr(u"KeystrelTour.Document\\shell"));
  Arg args[] = {Arg::ByRef(sections), Arg::ByRef(n)};
  InvokeByName(*u, u"EnumerateSections", args);
  std::printf("its verbs (EnumerateSections): %s\n", Text(sections).c_str());
}

void TourHost() {
  Heading("clsZqKeystrel10A: host services");
  // The maker's shared library is not installed here; a stand-in shows what
  // the About box is handed.
  RegisterThreadProgId(u"ZqBedrock10.clsZqBedrock10A", [] {
    return Ref<Object>(MakeRef<ClientObject>([](const UString& member, std::span<Arg> args) {
      std::printf("  (stand-in About box) %s for %s\n", UToUtf8(member).c_str(),
                  Text(CallByName(*args[0].get().object(), u"EXEName")).c_str());
      return Variant();
    }));
  });
  Ref<Object> host = CreateObjectByProgId(u"Keystrel10.clsZqKeystrel10A");
  Variant app = Call(*host, u"GetProStdProperties");
  std::printf("the application object: EXEName %s, Title %s\n",
              Text(CallByName(*app.object(), u"EXEName")).c_str(),
              Text(CallByName(*app.object(), u"Title")).c_str());
  std::printf("About returned %s\n", Text(Call(*host, u"About")).c_str());
}

int Main() {
  InitializeLibrary();
  std::printf("Keystrel10 tour — store: %s\n", platform::DefaultStoreLocation().c_str());
  DeleteTree(platform::HKEY_CURRENT_USER, "Software\\KeystrelTour");
  DeleteTree(platform::HKEY_CLASSES_ROOT, "KeystrelTour.Document");
  DeleteTree(platform::HKEY_CLASSES_ROOT, ".ktour");
  try {
    TourHandlerC();
    TourHandlerA();
    TourHandlerD();
    TourHandlerB();
    TourUtilities();
    TourHost();
  } catch (const AutomationError& e) {
    std::fprintf(stderr, "tour failed: %s\n", e.what());
    return 1;
  }
  ResetThreadState();
  std::printf("\nopen key handles left: %zu\n", platform::OpenHandleCount());
  return 0;
}

}  // namespace
}  // namespace keystrel

int main() { return keystrel::Main(); }
