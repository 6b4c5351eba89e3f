#include "frame/host.h"

#include <gtest/gtest.h>

#include <thread>

#include "frame/catalogue.h"
#include "frame/dispatch.h"
#include "frame/error.h"

namespace keystrel {
namespace {

int ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const AutomationError& e) {
    return e.number();
  }
  return 0;
}

// An object that, while ending, reaches for the thread's state again.
class Clingy : public Object {
 public:
  const ClassInfo* class_info() const noexcept override {
    return Catalogue::Instance().FindClass(u"clsTestHostGlobal");
  }
  ~Clingy() override {
    ModuleSlot("clingy.ended") = VBool(true);
    ApplicationObject();
  }
};

class Plain : public Object {};

void RegisterTestClasses() {
  ClassInfo global;
  global.name = u"clsTestHostGlobal";
  global.instancing = Instancing::kGlobal;
  global.factory = [] { return Ref<Object>(MakeRef<Clingy>()); };
  Catalogue::Instance().AddClass(std::move(global));

  ClassInfo creatable;
  creatable.name = u"clsTestHostCreatable";
  creatable.factory = [] { return Ref<Object>(MakeRef<Plain>()); };
  Catalogue::Instance().AddClass(std::move(creatable));

  ClassInfo hidden;
  hidden.name = u"clsTestHostNotCreatable";
  hidden.instancing = Instancing::kNotCreatable;
  hidden.factory = [] { return Ref<Object>(MakeRef<Plain>()); };
  Catalogue::Instance().AddClass(std::move(hidden));
}

class HostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterFrameClasses();
    RegisterTestClasses();
  }
  void TearDown() override { ResetThreadState(); }
};

TEST_F(HostTest, CreationByProgIdAndClass) {
  EXPECT_TRUE(CreateObjectByProgId(u"keystrel10.CLSTESTHOSTCREATABLE"));
  EXPECT_TRUE(CreateObjectByClass(u"clsTestHostGlobal"));
  EXPECT_TRUE(CreateObjectByProgId(u"Keystrel10.clsTestHostGlobal"));
  try {
    CreateObjectByProgId(u"No.Such");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), rt::kCannotCreateObject);
    EXPECT_EQ(e.description(), u"ActiveX component can't create object");
  }
  EXPECT_EQ(ErrorOf([] { CreateObjectByProgId(u"Keystrel10.clsTestHostNotCreatable"); }),
            rt::kCannotCreateObject);
  EXPECT_EQ(ErrorOf([] { CreateObjectByClass(u"clsTestHostNotCreatable"); }),
            rt::kCannotCreateObject);
  EXPECT_EQ(ErrorOf([] { CreateObjectByClass(u"Collection"); }), rt::kCannotCreateObject);
  EXPECT_EQ(ErrorOf([] { CreateObjectByClass(u"clsNoSuchClass"); }), rt::kCannotCreateObject);

  // A factory that gives nothing is a failed creation too.
  RegisterThreadProgId(u"Test.Null", [] { return Ref<Object>(); });
  EXPECT_EQ(ErrorOf([] { CreateObjectByProgId(u"Test.Null"); }), rt::kCannotCreateObject);
}

TEST_F(HostTest, ThreadRegistrationsComeFirstAndStayOnTheirThread) {
  Ref<Object> mine = MakeRef<Plain>();
  RegisterProgId(u"Test.Shared", [] { return Ref<Object>(MakeRef<Plain>()); });
  RegisterThreadProgId(u"Test.Shared", [mine] { return mine; });
  RegisterThreadProgId(u"Test.ThreadOnly", [mine] { return mine; });
  EXPECT_EQ(CreateObjectByProgId(u"TEST.SHARED"), mine);

  std::thread other([] {
    EXPECT_TRUE(CreateObjectByProgId(u"Test.Shared"));
    EXPECT_EQ(ErrorOf([] { CreateObjectByProgId(u"Test.ThreadOnly"); }),
              rt::kCannotCreateObject);
    ResetThreadState();
  });
  other.join();

  ResetThreadState();
  EXPECT_NE(CreateObjectByProgId(u"Test.Shared"), mine);
  EXPECT_EQ(ErrorOf([] { CreateObjectByProgId(u"Test.ThreadOnly"); }), rt::kCannotCreateObject);
}

TEST_F(HostTest, GlobalInstanceIsOnePerThread) {
  Ref<Object> g = GlobalInstance(u"clsTestHostGlobal");
  EXPECT_EQ(GlobalInstance(u"CLSTESTHOSTGLOBAL"), g);
  EXPECT_NE(CreateObjectByClass(u"clsTestHostGlobal"), g);  // further instances are new
  EXPECT_EQ(ErrorOf([] { GlobalInstance(u"clsTestHostCreatable"); }), rt::kCannotCreateObject);

  Object* other_thread = nullptr;
  std::thread t([&] {
    other_thread = GlobalInstance(u"clsTestHostGlobal").get();
    // The instance ends with the thread; its end touches the thread state.
  });
  t.join();
  EXPECT_NE(other_thread, g.get());

  ResetThreadState();
  EXPECT_NE(GlobalInstance(u"clsTestHostGlobal"), g);
  EXPECT_EQ(g->ref_count(), 1u);  // the thread let go of the old one
}

TEST_F(HostTest, ResetReleasesStateEvenWhenEndingObjectsReachBack) {
  Ref<Object> watch = GlobalInstance(u"clsTestHostGlobal");
  watch.reset();
  ModuleSlot("a") = VLong(1);
  ResetThreadState();
  // The global's end wrote a slot and made an application object; a second
  // round released those as well.
  EXPECT_TRUE(ModuleSlot("clingy.ended").is_empty());
  EXPECT_TRUE(ModuleSlot("a").is_empty());
}

TEST_F(HostTest, ModuleSlotsArePerThread) {
  Variant& slot = ModuleSlot("clsZqKeystrel10A.BuddyObjectGlobal");
  EXPECT_TRUE(slot.is_empty());
  slot = Variant::Object(MakeRef<Plain>());
  EXPECT_TRUE(ModuleSlot("clsZqKeystrel10A.BuddyObjectGlobal").is_object());
  std::thread t([] {
    EXPECT_TRUE(ModuleSlot("clsZqKeystrel10A.BuddyObjectGlobal").is_empty());
    ModuleSlot("clsZqKeystrel10A.BuddyObjectGlobal") = VLong(2);
  });
  t.join();
  EXPECT_TRUE(ModuleSlot("clsZqKeystrel10A.BuddyObjectGlobal").is_object());
}

TEST_F(HostTest, ApplicationObject) {
  Ref<Object> app = ApplicationObject();
  EXPECT_EQ(ApplicationObject(), app);
  EXPECT_EQ(app->class_info()->name, u"App");
  EXPECT_EQ(CallByName(*app, u"EXEName"), Variant(u"keystrel10"));
  EXPECT_EQ(CallByName(*app, u"title"), Variant(u"Keystrel10"));
  EXPECT_EQ(CallByName(*app, u"Major"), Variant::Integer(1));
  EXPECT_EQ(CallByName(*app, u"Minor"), Variant::Integer(0));
  EXPECT_EQ(CallByName(*app, u"Revision"), Variant::Integer(0));
  EXPECT_FALSE(CallByName(*app, u"Path").string().empty());
  for (const char16_t* name : {u"ProductName", u"CompanyName", u"FileDescription",
                               u"LegalCopyright", u"Comments"}) {
    EXPECT_TRUE(CallByName(*app, name).is_string()) << UToUtf8(name);
  }
  EXPECT_EQ(ErrorOf([&] { CallByName(*app, u"Title", {Variant(u"x")}, kPropertyLet); }),
            rt::kMemberNotFound);
  Object* other = nullptr;
  std::thread t([&] { other = ApplicationObject().get(); });
  t.join();
  EXPECT_NE(other, app.get());
}

TEST_F(HostTest, YieldAndMessageBoxHooks) {
  int yields = 0;
  DoEvents();  // the default does nothing
  SetYieldHook([&] { ++yields; });
  DoEvents();
  DoEvents();
  EXPECT_EQ(yields, 2);
  SetYieldHook(nullptr);
  DoEvents();
  EXPECT_EQ(yields, 2);

  UString seen;
  SetMessageBoxHook([&](const UString& prompt, std::int32_t style, const UString& title) {
    seen = title + u"|" + prompt + u"|" + (style == 48 ? u"48" : u"?");
    return 7;
  });
  EXPECT_EQ(ShowMessageBox(u"Careful", 48, u"Keystrel10"), 7);
  EXPECT_EQ(seen, u"Keystrel10|Careful|48");
  SetMessageBoxHook(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMessageBox(u"Hello", 0, u"T"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "T: Hello\n");

  // Hooks are per thread.
  SetYieldHook([&] { ++yields; });
  std::thread t([] { DoEvents(); });
  t.join();
  EXPECT_EQ(yields, 2);
}

TEST_F(HostTest, EnumerationsInDeclarationOrder) {
  using Members = std::vector<std::pair<UString, std::int32_t>>;
  const std::int32_t r = static_cast<std::int32_t>(0x80000000u);
  struct Case {
    const char16_t* name;
    Members members;
  } cases[] = {
      {u"ERegistryClassConstants",
       {{u"HKEY_CLASSES_ROOT", r}, {u"HKEY_CURRENT_USER", r + 1}, {u"HKEY_LOCAL_MACHINE", r + 2},
        {u"HKEY_USERS", r + 3}}},
      {u"hKey",
       {{u"HKEY_CLASSES_ROOT", r}, {u"HKEY_CURRENT_USER", r + 1}, {u"HKEY_LOCAL_MACHINE", r + 2},
        {u"HKEY_USERS", r + 3}, {u"HKEY_PERFORMANCE_DATA", r + 4},
        {u"HKEY_CURRENT_CONFIG", r + 5}, {u"HKEY_DYN_DATA", r + 6}}},
      {u"StandardRegistryKeys",
       {{u"HKeyClassesRoot", r}, {u"HKeyCurrentConfig", r + 5}, {u"HKeyCurrentUser", r + 1},
        {u"HKeyUsers", r + 3}, {u"HKeyLocalMachine", r + 2}}},
      {u"ERegistryValueTypes",
       {{u"REG_NONE", 0}, {u"REG_SZ", 1}, {u"REG_EXPAND_SZ", 2}, {u"REG_BINARY", 3},
        {u"REG_DWORD", 4}, {u"REG_DWORD_LITTLE_ENDIAN", 4}, {u"REG_DWORD_BIG_ENDIAN", 5},
        {u"REG_LINK", 6}, {u"REG_MULTI_SZ", 7}, {u"REG_RESOURCE_LIST", 8},
        {u"REG_FULL_RESOURCE_DESCRIPTOR", 9}, {u"REG_RESOURCE_REQUIREMENTS_LIST", 10}}},
      {u"Reg_Value",
       {{u"NULL_VALUE", 0}, {u"STRING_VALUE", 1}, {u"BINARY_VALUE", 3}, {u"DWORD_VALUE", 4}}},
      {u"Reg_Result", {{u"STRING_RESULT", 0}, {u"BOOLEAN_RESULT", 1}, {u"INTEGER_RESULT", 2}}},
      {u"DataType",
       {{u"REG_SZ", 1}, {u"REG_EXPAND_SZ", 2}, {u"REG_BINARY", 3}, {u"REG_DWORD", 4},
        {u"REG_MULTI_SZ", 7}}},
      {u"RegistryDataTypes",
       {{u"rdBinary", 3}, {u"rdDWord", 4}, {u"rdDWordBigEndian", 5}, {u"rdDWordLittleEndian", 4},
        {u"rdExpandSZ", 2}, {u"rdLink", 6}, {u"rdMultiSZ", 7}, {u"rdNone", 0},
        {u"rdString", 1}}},
  };
  std::vector<UString> order;
  for (const EnumInfo* e : Catalogue::Instance().Enums()) order.push_back(e->name);
  std::vector<UString> expected_order;
  for (const Case& c : cases) {
    expected_order.push_back(c.name);
    const EnumInfo* e = Catalogue::Instance().FindEnum(c.name);
    ASSERT_NE(e, nullptr) << UToUtf8(c.name);
    EXPECT_EQ(e->name, c.name);
    EXPECT_EQ(e->members, c.members) << UToUtf8(c.name);
  }
  EXPECT_EQ(order, expected_order);
}

}  // namespace
}  // namespace keystrel
