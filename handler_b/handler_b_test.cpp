// What the conformance vectors cannot show well: the 16-bit limits at their
// exact edges (32 K values, 32 KB texts), that a handle handed back for an
// empty path stays the caller's, multi-byte code pages, and the typed C++
// front. Main paths, the warning box and the other edge cases live in
// tests/conformance/handler_b_*.json.
#include "handler_b/handler_b.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/host.h"
#include "frame/safe_array.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/provider.h"
#include "platform/registry.h"
#include "platform/stores.h"

namespace keystrel {
namespace {

namespace admin = ::keystrel::platform;

constexpr std::int32_t kHkcu = static_cast<std::int32_t>(0x80000001u);
constexpr char16_t kApp[] = u"Software\\Maker\\App";
constexpr char16_t kAppPath[] = u"HKCU\\Software\\Maker\\App";
constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kDword = 4;

class HandlerBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    ASSERT_EQ(admin::UseLocalStore(admin::StoreKind::kMemory), 0);
    ASSERT_EQ(admin::AdminCreateKey(u"", kAppPath), 0);
    reg_ = HandlerB::Create();
  }
  void TearDown() override { EXPECT_EQ(admin::OpenHandleCount(), 0u) << "a key was left open"; }

  static void Seed(std::u16string_view name, std::uint32_t type,
                   const std::vector<std::uint8_t>& data) {
    ASSERT_EQ(admin::AdminSetValue(u"", kAppPath, name, type, data), 0);
  }
  static void SeedDwords(int count) {
    for (int i = 0; i < count; ++i) {
      Seed(Utf8ToU("V" + std::to_string(i)), kDword, {1, 0, 0, 0});
    }
  }

  static std::int32_t ErrorNumberOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  Ref<HandlerB> reg_;
};

TEST_F(HandlerBTest, TextReadStopsAtThe16BitPositionOfItsFirstNul) {
  struct Case {
    std::size_t length;  // characters before the terminating NUL
    std::int32_t error;
  };
  for (const Case& c : {Case{32766, 0}, Case{32767, 6}}) {
    SCOPED_TRACE(c.length);
    std::vector<std::uint8_t> text(c.length, 'x');
    text.push_back(0);
    Seed(u"Long", kString, text);
    Variant read;
    EXPECT_EQ(ErrorNumberOf([&] { read = reg_->regQuery_A_Key(kHkcu, kApp, u"Long"); }),
              c.error);
    if (c.error == 0) {
      EXPECT_EQ(read, VStr(UString(c.length, u'x')));
    }
    EXPECT_EQ(admin::OpenHandleCount(), 0u);
  }
}

TEST_F(HandlerBTest, ListingOfMoreThan32767EntriesSetsTheCountThenOverflows) {
  SeedDwords(32768);
  std::int32_t count = -5;
  SafeArray entries = SafeArray::Variants({VStr(u"kept")});
  EXPECT_EQ(ErrorNumberOf([&] { reg_->regRead_All_Keys(kHkcu, kApp, count, entries); }), 6);
  EXPECT_EQ(count, 32768);
  EXPECT_EQ(entries, SafeArray::Variants({VStr(u"kept")}));
}

TEST_F(HandlerBTest, ListingOf32767EntriesFitsTheCounter) {
  SeedDwords(32767);
  std::int32_t count = 0;
  SafeArray entries(VarType::kVariant);
  ASSERT_TRUE(reg_->regRead_All_Keys(kHkcu, kApp, count, entries));
  EXPECT_EQ(count, 32767);
  EXPECT_EQ(entries.LBound(), 0);
  EXPECT_EQ(entries.UBound(), 32766);
  EXPECT_EQ(entries.Get(32766), VStr(u"V32766|1"));
}

// A key whose values never run out until `limit` deletions: the counter's
// edge is reached without storing 32 K values (deleting the first of many
// values costs the store a re-index each time).
class EndlessValues : public admin::ForwardingProvider {
 public:
  EndlessValues(std::shared_ptr<admin::RegistryProvider> target, int limit)
      : ForwardingProvider(std::move(target)), limit_(limit) {}
  admin::Result<admin::ValueEntry> EnumValue(admin::KeyId, std::uint32_t) override {
    if (deletions == limit_) return admin::StatusCode::kNoMoreItems;
    return admin::ValueEntry{u"V", kDword, std::string(4, '\0')};
  }
  admin::Status DeleteValue(admin::KeyId, std::u16string_view) override {
    ++deletions;
    return admin::Status();
  }
  int deletions = 0;

 private:
  int limit_;
};

TEST_F(HandlerBTest, DeletionCounterHolds32767AndOverflowsOnThe32768th) {
  struct Case {
    int values;
    std::int32_t error;
    int deletions;
  };
  for (const Case& c : {Case{32767, 0, 32767}, Case{-1, 6, 32768}}) {
    SCOPED_TRACE(c.values);
    auto real = admin::LocalStore();
    ASSERT_TRUE(real.ok());
    auto endless = std::make_shared<EndlessValues>(real.value(), c.values);
    admin::SetLocalStore(admin::StoreRef(endless));
    bool deleted = false;
    EXPECT_EQ(ErrorNumberOf([&] { deleted = reg_->regDelete_Multiple_Key_Values(kHkcu, kApp); }),
              c.error);
    EXPECT_EQ(deleted, c.error == 0);
    EXPECT_EQ(endless->deletions, c.deletions);
    EXPECT_EQ(admin::OpenHandleCount(), 0u);
    admin::SetLocalStore(real);
  }
}

// RegOpenKeyA answers an empty path with the very handle it was given; that
// handle is the caller's and must survive the member.
TEST_F(HandlerBTest, HandleHandedBackForAnEmptyPathStaysOpen) {
  Seed(u"Name", kString, {'v', 0});
  Seed(u"Other", kString, {'w', 0});
  admin::HKEY opened = nullptr;
  ASSERT_EQ(admin::RegOpenKeyExA(admin::HKEY_CURRENT_USER, "Software\\Maker\\App", 0,
                                 admin::KEY_ALL_ACCESS, &opened),
            0);
  const std::int32_t handle = admin::LongFromHKey(opened);

  EXPECT_TRUE(reg_->regDoes_Key_Exist(handle, u""));
  EXPECT_EQ(reg_->regQuery_A_Key(handle, u"", u"Name"), VStr(u"v"));
  EXPECT_TRUE(reg_->regDelete_Single_Key(handle, u"", u"Other"));
  reg_->regCreate_Key_Value(handle, u"", u"Added", VLong(7));
  std::int32_t count = 0;
  SafeArray entries(VarType::kVariant);
  EXPECT_TRUE(reg_->regRead_All_Keys(handle, u"", count, entries));
  EXPECT_EQ(entries, SafeArray::Variants({VStr(u"Name|v"), VStr(u"Added|7")}));

  EXPECT_EQ(admin::OpenHandleCount(), 1u);
  admin::DWORD values = 0;
  EXPECT_EQ(admin::RegQueryInfoKeyA(opened, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &values, nullptr, nullptr, nullptr, nullptr),
            0)
      << "the caller's handle was closed";
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(admin::RegCloseKey(opened), 0);
}

TEST_F(HandlerBTest, MultiByteCodePageKeepsWholeCharacters) {
  if (admin::AnsiCodePage() != 932) GTEST_SKIP() << "runs under KEYSTREL_ACP=932";
  const UString text = u"\u65e5\u672c\u8a9e";  // three characters, six bytes
  reg_->regCreate_Key_Value(kHkcu, kApp, text, VStr(u" " + text + u" "));
  EXPECT_EQ(reg_->regQuery_A_Key(kHkcu, kApp, text), VStr(text));
  std::int32_t count = 0;
  SafeArray entries(VarType::kVariant);
  ASSERT_TRUE(reg_->regRead_All_Keys(kHkcu, kApp, count, entries));
  EXPECT_EQ(entries, SafeArray::Variants({VStr(text + u"|" + text)}));
  EXPECT_TRUE(reg_->regDelete_Multiple_Key_Values(kHkcu, kApp));
  EXPECT_FALSE(reg_->regRead_All_Keys(kHkcu, kApp, count, entries));
}

TEST_F(HandlerBTest, CppFrontListsIntoAVariantArrayOnly) {
  Seed(u"Path", kString, {'C', 0});
  std::int32_t count = 0;
  SafeArray strings(VarType::kString);
  EXPECT_EQ(ErrorNumberOf([&] { reg_->regRead_All_Keys(kHkcu, kApp, count, strings); }), 13);
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(strings.has_storage());

  SafeArray entries(VarType::kVariant);
  EXPECT_TRUE(reg_->regRead_All_Keys(kHkcu, kApp, count, entries));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(entries, SafeArray::Variants({VStr(u"Path|C")}));
}

TEST_F(HandlerBTest, CppFrontRootIndexAndWarning) {
  std::vector<UString> boxes;
  SetMessageBoxHook([&](const UString& prompt, std::int32_t style, const UString& title) {
    boxes.push_back(title + u"/" + Utf8ToU(std::to_string(style)));
    EXPECT_EQ(prompt.substr(prompt.size() - 19), u"6 = HKEY_DYN_DATA\r\n");
    return 1;
  });
  EXPECT_TRUE(reg_->hKey().is_empty());
  reg_->set_hKey(VStr(u"1"));
  EXPECT_EQ(reg_->hKey(), VLong(kHkcu));
  try {
    reg_->set_hKey(VLong(7));
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), HandlerB::kUnknownRootError);
    EXPECT_EQ(e.source(), HandlerB::kUnknownRootSource);
    EXPECT_EQ(e.description(), HandlerB::kUnknownRootDescription);
  }
  EXPECT_EQ(boxes, std::vector<UString>{u"Unknown Key/48"});
  EXPECT_EQ(reg_->hKey(), VLong(kHkcu));
  SetMessageBoxHook({});
}

}  // namespace
}  // namespace keystrel
