// What the conformance vectors cannot show: generated keys of known handle
// values, the multi-string item limit, handles with partial rights, names too
// long for the walk's buffer, oversized data, and the C++ front.
#include "handler_a/handler_a.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/error.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {
namespace {

using namespace platform;  // NOLINT(build/namespaces): Win32 names, macros on Windows

constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);

class HandlerATest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    ASSERT_EQ(UseLocalStore(StoreKind::kMemory), 0);
    handler_ = HandlerA::Create();
    key_ = handler_->OpenKey(kCurrentUser, u"Software\\Test");
    ASSERT_NE(key_, -1);
  }
  void TearDown() override {
    handler_.reset();
    EXPECT_EQ(OpenHandleCount(), 0u);
  }

  void Seed(const std::string& name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(HKeyFromLong(key_), name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              0);
  }

  // A second handle on the test key, opened with only `rights`.
  HKEY OpenWith(REGSAM rights) {
    HKEY h = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Test", 0, rights, &h), 0);
    return h;
  }

  Ref<HandlerA> handler_;
  std::int32_t key_ = -1;
};

TEST(OpenKeyTableTest, GeneratedKeyIsUpperCaseHexOfTheThirtyTwoBits) {
  const struct {
    std::int32_t handle;
    const char16_t* key;
  } kCases[] = {
      {420, u"_H1A4"},
      {0, u"_H0"},
      {static_cast<std::int32_t>(0x80000001u), u"_H80000001"},
      {-1, u"_HFFFFFFFF"},
      {0x0ABCDEF0, u"_HABCDEF0"},
  };
  for (const auto& c : kCases) EXPECT_EQ(OpenKeyTable::GeneratedKey(c.handle), c.key) << c.handle;
}

TEST_F(HandlerATest, HandleIsStoredUnderItsGeneratedKeyInAnyCase) {
  const UString key = OpenKeyTable::GeneratedKey(key_);
  EXPECT_EQ(handler_->Item(Variant::String(key)), key_);
  EXPECT_EQ(handler_->Item(Variant::String(TextLower(key))), key_);
  handler_->CloseKey(Variant::String(TextLower(key)));
  EXPECT_EQ(handler_->Count(), 0);
  EXPECT_EQ(OpenHandleCount(), 0u);
}

TEST_F(HandlerATest, ClosedEntryNeverClosesTheKeyThatReusedItsNumber) {
  const std::int32_t mine = handler_->OpenKey(kCurrentUser, u"Software\\Test", false, u"Main");
  handler_->CloseKey(Variant::Long(mine));  // closes the key, keeps the entry
  // Open and close until the platform hands the same number to another key.
  HKEY other = nullptr;
  for (int i = 0; i < 100000 && LongFromHKey(other) != mine; ++i) {
    if (other != nullptr) RegCloseKey(other);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &other), 0);
  }
  if (LongFromHKey(other) != mine) {
    RegCloseKey(other);
    GTEST_SKIP() << "the platform did not reuse the handle number";
  }
  handler_->CloseKey(Variant::String(u"Main"));
  DWORD subkeys = 0;
  EXPECT_EQ(RegQueryInfoKeyA(other, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr),
            0);
  EXPECT_EQ(RegCloseKey(other), 0);
}

TEST_F(HandlerATest, MultiStringHoldsAtMost32767Nuls) {
  const UString most(32767, u'\0');
  EXPECT_EQ(handler_->GetMultiSZ(most).size(), 32768);
  try {
    handler_->GetMultiSZ(most + u'\0');
    FAIL() << "no overflow";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), rt::kOverflow);
  }
}

TEST_F(HandlerATest, ValueThatCannotBeQueriedIsNotOverwrittenByTheDefault) {
  Seed("kept", REG_SZ, std::string("old\0", 4));
  const HKEY write_only = OpenWith(KEY_SET_VALUE);
  Variant fallback = Variant::String(u"new");
  EXPECT_EQ(handler_->GetValue(LongFromHKey(write_only), u"kept", &fallback),
            Variant::String(u"new"));
  EXPECT_EQ(handler_->GetValue(key_, u"kept"), Variant::String(u"old"));
  RegCloseKey(write_only);
}

TEST_F(HandlerATest, ValueNameTooLongForTheBufferIsSkipped) {
  Seed("before", REG_SZ, std::string("1\0", 2));
  Seed(std::string(1100, 'n'), REG_SZ, std::string("2\0", 2));
  Seed("after", REG_SZ, std::string("3\0", 2));
  const Ref<HandlerAValues> values = handler_->EnumValues(key_);
  ASSERT_EQ(values->Count(), 3);  // the unnamed value, "before", "after"
  EXPECT_EQ(values->Item(Variant::Long(2))->ValueName(), u"before");
  EXPECT_EQ(values->Item(Variant::Long(3))->ValueName(), u"after");
}

TEST_F(HandlerATest, WalkWithoutTheRightToListFailsInsteadOfSpinning) {
  const struct {
    REGSAM rights;
    bool keys;
  } kCases[] = {{KEY_QUERY_VALUE, true}, {KEY_ENUMERATE_SUB_KEYS, false}};
  ASSERT_NE(handler_->OpenKey(key_, u"Sub"), -1);
  Seed("v", REG_DWORD, std::string(4, '\0'));
  for (const auto& c : kCases) {
    const HKEY limited = OpenWith(c.rights);
    try {
      if (c.keys) {
        handler_->EnumKeys(LongFromHKey(limited));
      } else {
        handler_->EnumValues(LongFromHKey(limited));
      }
      ADD_FAILURE() << "no error for rights " << c.rights;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), rt::kInvalidProcedureCall);
      EXPECT_EQ(e.source(), u"RegLib.RegistryObject");
    }
    RegCloseKey(limited);
  }
}

TEST_F(HandlerATest, OversizedDataReadsInFull) {
  Seed("long_dword", REG_DWORD, std::string("\x01\x02\x00\x00\xff\xff\xff\xff", 8));
  EXPECT_EQ(handler_->GetValue(key_, u"long_dword"), Variant::Long(0x0201));

  SetEnvironmentOverlay({{u"KS_BIG", UString(5000, u'x')}});
  Seed("expand", REG_EXPAND_SZ, std::string("<%KS_BIG%>\0", 11));
  const Variant expanded = handler_->GetValue(key_, u"expand");
  SetEnvironmentOverlay({});
  EXPECT_EQ(expanded, Variant::String(u"<" + UString(5000, u'x') + u">"));
}

TEST_F(HandlerATest, CxxFrontWalksAndWrites) {
  Seed("X", REG_SZ, std::string("x\0", 2));
  std::int32_t type = 0;
  EXPECT_EQ(handler_->GetValue(key_, u"X", nullptr, &type), Variant::String(u"x"));
  EXPECT_EQ(type, static_cast<std::int32_t>(REG_SZ));

  const Ref<HandlerAValues> values = handler_->EnumValues(key_);
  const Ref<HandlerAValue> x = values->Item(Variant::String(u"x"));
  EXPECT_EQ(x->Parent(), values);
  EXPECT_EQ(values->Item(Variant::Long(2)), x);  // the same object while held
  x->Value(Variant::Long(300));
  EXPECT_EQ(handler_->GetValue(key_, u"X"), Variant::Long(300));
  EXPECT_EQ(x->TypeWord(true), u"String");  // the type seen by the walk
}

}  // namespace
}  // namespace keystrel
