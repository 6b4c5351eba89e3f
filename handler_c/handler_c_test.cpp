// What the conformance vectors cannot show well: the 16-bit position limits
// at their exact edges (values of 32 KB), that no key stays open when those
// limits end a member, and the typed C++ front. Main paths, errors and the
// other edge cases live in tests/conformance/handler_c_*.json.
#include "handler_c/handler_c.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "handler_c/internal/value_codec.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/registry.h"

namespace keystrel {
namespace {

namespace admin = ::keystrel::platform;

constexpr std::int32_t kCurrentUser = static_cast<std::int32_t>(0x80000001u);
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kMultiString = 7;

class HandlerCTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    ASSERT_EQ(admin::UseLocalStore(admin::StoreKind::kMemory), 0);
    ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\App"), 0);
    handler_ = HandlerC::Create();
    handler_->set_hKey(kCurrentUser);
    handler_->set_KeyRoot(u"Software\\Maker");
    handler_->set_Subkey(u"App");
  }
  void TearDown() override { EXPECT_EQ(admin::OpenHandleCount(), 0u) << "a key was left open"; }

  void Seed(std::u16string_view name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    ASSERT_EQ(admin::AdminSetValue(u"", u"HKCU\\Software\\Maker\\App", name, type, data), 0);
  }

  static std::int32_t ErrorNumberOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return e.number();
    }
    return 0;
  }

  Ref<HandlerC> handler_;
};

// A multi-string whose first string is `first_length` characters long.
std::vector<std::uint8_t> MultiStringWithFirst(std::size_t first_length) {
  std::vector<std::uint8_t> data(first_length, 'x');
  data.insert(data.end(), {0, 'y', 0, 0});
  return data;
}

TEST_F(HandlerCTest, TrimNullPositionLimitIsThe16BitMaximum) {
  struct Case {
    std::size_t nul_index;  // 0-based; npos: no NUL
    std::int32_t error;
  };
  for (const Case& c : {Case{32766, 0}, Case{32767, 6}, Case{std::u16string::npos, 0}}) {
    UString item(40000, u'a');
    if (c.nul_index != UString::npos) item[c.nul_index] = u'\0';
    const UString before = item;
    UString returned;
    EXPECT_EQ(ErrorNumberOf([&] { returned = handler_->TrimNull(item); }), c.error)
        << "NUL at " << c.nul_index;
    if (c.error != 0) {
      EXPECT_EQ(item, before) << "a failed cut must leave the caller's text alone";
    } else {
      const std::size_t expected = c.nul_index == UString::npos ? 40000 : c.nul_index;
      EXPECT_EQ(item.size(), expected);
      EXPECT_EQ(returned, item);
    }
  }
}

TEST_F(HandlerCTest, MultiStringWithAFirstStringBeyondTheLimitFailsAndClosesTheKey) {
  Seed(u"Fits", kMultiString, MultiStringWithFirst(32766));
  Seed(u"TooLong", kMultiString, MultiStringWithFirst(32767));

  const Variant fits = handler_->GetRegistryValue(u"Fits");
  ASSERT_TRUE(fits.is_string());
  EXPECT_EQ(fits.string().size(), 32766u + 2u);  // x..x, NUL, y

  EXPECT_EQ(ErrorNumberOf([&] { handler_->GetRegistryValue(u"TooLong"); }), 6);
  EXPECT_EQ(admin::OpenHandleCount(), 0u);
}

TEST_F(HandlerCTest, BinaryDisplayFormStopsAt32767BytesAndClosesTheKey) {
  Seed(u"Edge", kBinary, std::vector<std::uint8_t>(32767, 0xAB));
  Ref<Collection> values = handler_->EnumRegistryValues(kCurrentUser, u"Software\\Maker\\App");
  ASSERT_EQ(values->Count(), 1);
  const SafeArray& pair = values->Item(VStr(u"Edge")).array();
  const Variant display = pair.Get(1);
  const UString& hex = display.string();
  EXPECT_EQ(hex.size(), 32767u * 3 - 1);
  EXPECT_EQ(hex.substr(0, 6), u"AB AB ");

  Seed(u"Over", kBinary, std::vector<std::uint8_t>(32768, 0xAB));
  EXPECT_EQ(ErrorNumberOf([&] {
              handler_->EnumRegistryValues(kCurrentUser, u"Software\\Maker\\App");
            }),
            6);
  EXPECT_EQ(admin::OpenHandleCount(), 0u);
}

TEST_F(HandlerCTest, TypedFrontMatchesTheLateBoundOne) {
  EXPECT_EQ(handler_->CreateKey(), u"0");
  EXPECT_TRUE(handler_->SetRegistryValue(u"Count", VLong(7), 4));
  EXPECT_EQ(handler_->GetRegistryValue(u"Count"), VLong(7));
  EXPECT_EQ(CallByName(*handler_, u"GetRegistryValue", {VStr(u"Count")}), VLong(7));
  EXPECT_EQ(handler_->GetRegistryValue(u"Nope", Variant::Integer(3)), Variant::Integer(3));

  Variant name = VLong(5);
  EXPECT_EQ(handler_->CreateKey(name), u"0");
  EXPECT_EQ(name, VStr(u"5"));
  EXPECT_EQ(handler_->DeleteKey(u"5"), 0);
  EXPECT_EQ(handler_->DeleteKey(u"5"), 2);

  Ref<Collection> keys = handler_->EnumRegistryKeys(kCurrentUser, u"Software");
  EXPECT_EQ(keys->Count(), 1);
  EXPECT_EQ(handler_->ReadRemoteRegistryValue(u"", kCurrentUser, u"Count"), VLong(7));
}

TEST_F(HandlerCTest, LocalConnectionLeavesTheCallersOwnHandleOpen) {
  ASSERT_TRUE(handler_->SetRegistryValue(u"Count", VLong(7), 4));
  platform::HKEY mine = nullptr;
  ASSERT_EQ(platform::RegOpenKeyExA(platform::HKEY_CURRENT_USER, "Software\\Maker\\App", 0,
                                    platform::KEY_ALL_ACCESS, &mine),
            0);
  // For the local computer the platform hands the passed handle back as the
  // connection; closing it would close the caller's key.
  const std::int32_t as_long = platform::LongFromHKey(mine);
  EXPECT_EQ(handler_->ReadRemoteRegistryValue(u"", as_long, u"Count", UString()), VLong(7));
  EXPECT_TRUE(handler_->WriteRemoteRegistryValue(u"", as_long, u"Count", VLong(8), 4, UString()));
  platform::DWORD type = 0;
  EXPECT_EQ(platform::RegQueryValueExA(mine, "Count", nullptr, &type, nullptr, nullptr), 0);
  EXPECT_EQ(platform::RegCloseKey(mine), 0);
}

// Runs under KEYSTREL_ACP=932 (CTest handler_c_test_cp932): a text written in
// a double-byte code page must reach the registry whole, not cut to its
// character count.
TEST_F(HandlerCTest, DoubleByteCodePageTextIsWrittenWhole) {
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "needs KEYSTREL_ACP=932";
  const UString text = u"\u65E5\u672C\u8A9E";  // three characters, six ANSI bytes
  ASSERT_TRUE(handler_->SetRegistryValue(u"Text", VStr(text), 1));
  EXPECT_EQ(handler_->GetRegistryValue(u"Text"), VStr(text));
  ASSERT_TRUE(handler_->SetRegistryValue(u"List", VStr(text + u'\0' + text + u'\0' + u'\0'), 7));
  EXPECT_EQ(handler_->GetRegistryValue(u"List"), VStr(text + u'\0' + text));
}

// A real registry keeps exactly the bytes a write gives (only our store would
// add a missing terminator), so text must leave the class terminated.
TEST(HandlerCEncode, TextIsWrittenWithItsTerminator) {
  using handler_c_detail::EncodeValue;
  using Bytes = std::vector<std::uint8_t>;
  const struct {
    UString text;
    std::int32_t dtype;
    Bytes bytes;
  } cases[] = {
      {u"42", 1, {'4', '2', 0}},
      {u"%A%", 2, {'%', 'A', '%', 0}},
      {u"", 1, {0}},
      {u"", 7, {}},
      {UString(u"a\0b", 3), 7, {'a', 0, 'b', 0}},
      {UString(u"a\0b\0\0", 5), 7, {'a', 0, 'b', 0, 0}},
  };
  for (const auto& c : cases) {
    const auto encoded = EncodeValue(VStr(c.text), c.dtype);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->bytes, c.bytes) << c.dtype;
  }
}

}  // namespace
}  // namespace keystrel
