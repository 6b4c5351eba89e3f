// What the conformance vectors cannot show: a store that refuses, fails or
// changes under a member (injected through a forwarding provider), multi-byte
// code pages, and the typed C++ front. Layouts, tables and error texts live in
// tests/conformance/utilities_*.json.
#include "utilities/utilities.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/ansi.h"
#include "platform/provider.h"
#include "platform/stores.h"

namespace keystrel {
namespace {

namespace admin = ::keystrel::platform;
using admin::ForwardingProvider;
using admin::KeyId;
using admin::Status;
using admin::StatusCode;

constexpr std::int32_t kSetValueFailure = static_cast<std::int32_t>(0x800469A9u);
constexpr std::int32_t kEnumerationFailure = static_cast<std::int32_t>(0x800469AAu);
constexpr char16_t kSource[] = u"keystrel10.czRegyUtilites";

class UtilitiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    ASSERT_EQ(admin::UseLocalStore(admin::StoreKind::kMemory), 0);
    u_ = UtilitesA::Create();
    u_->set_ClassKey(UtilitesA::kHkeyCurrentUser);
    u_->set_SectionKey(u"Software\\Maker");
  }
  void TearDown() override {
    EXPECT_EQ(admin::OpenHandleCount(), 0u) << "a key was left open";
    EXPECT_EQ(admin::UseLocalStore(admin::StoreKind::kMemory), 0);
  }

  // Puts `make(real store)` in front of the local store.
  template <class Provider>
  static std::shared_ptr<Provider> Interpose() {
    auto real = admin::LocalStore();
    EXPECT_TRUE(real.ok());
    auto provider = std::make_shared<Provider>(real.value());
    admin::SetLocalStore(admin::StoreRef(provider));
    return provider;
  }

  static void Seed(std::u16string_view key, std::u16string_view name, std::uint32_t type,
                   const std::string& data) {
    ASSERT_EQ(admin::AdminSetValue(
                  u"", key, name, type,
                  std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size())),
              0);
  }

  static AutomationError ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const AutomationError& e) {
      return e;
    }
    ADD_FAILURE() << "no error raised";
    return AutomationError(0, {}, {});
  }

  Ref<UtilitesA> u_;
};

// The typed front as a C++ caller uses it: each written type read back with
// the type the read reports.
TEST_F(UtilitiesTest, CppFrontWritesAndReadsBackEachType) {
  struct Case {
    const char16_t* name;
    std::int32_t write_type;
    Variant written;
    Variant read;
    std::int32_t read_type;
  };
  const std::uint8_t bytes[] = {1, 2, 3};
  const Case cases[] = {
      {u"Text", UtilitesA::kRegSz, VStr(u"C:\\App"), VStr(u"C:\\App"), 1},
      {u"Path", UtilitesA::kRegSz, VStr(u"%KSV_TEST_VAR%\\x"), VStr(u"hello\\x"), 2},
      {u"Word", UtilitesA::kRegDwordBigEndian, Variant::Integer(-2), VLong(-2), 4},
      {u"Bytes", UtilitesA::kRegBinary, Variant::Array(SafeArray::Bytes(bytes)),
       Variant::Array(SafeArray::Bytes(bytes)), 3},
  };
  admin::SetEnvironmentOverlay({{u"KSV_TEST_VAR", u"hello"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(UToUtf8(c.name));
    u_->set_ValueKey(c.name);
    u_->set_valueType(c.write_type);
    u_->set_Value(c.written);
    EXPECT_EQ(u_->valueType(), c.write_type);
    EXPECT_EQ(u_->Value(), c.read);
    EXPECT_EQ(u_->valueType(), c.read_type);
  }
  admin::SetEnvironmentOverlay({});
  EXPECT_TRUE(u_->KeyExists());
  SafeArray names(VarType::kString);
  std::int32_t count = -1;
  EXPECT_TRUE(u_->EnumerateValues(names, count));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(names, SafeArray::Strings({u"Text", u"Path", u"Word", u"Bytes"}, 1));
  u_->set_ValueKey(u"Text");
  EXPECT_TRUE(u_->DeleteValue());
  u_->set_SectionKey(u"Software");
  EXPECT_TRUE(u_->EnumerateSections(names, count));
  EXPECT_EQ(names, SafeArray::Strings({u"Maker"}, 1));
}

// A store that refuses the write itself (a full or read-only file): the
// key opens, the write fails, and the caller learns it.
TEST_F(UtilitiesTest, WriteRefusedByTheStoreRaisesTheSetValueError) {
  class FailingWrites : public ForwardingProvider {
   public:
    using ForwardingProvider::ForwardingProvider;
    Status SetValue(KeyId, std::u16string_view, std::uint32_t, std::string_view) override {
      return Status(StatusCode::kCantWrite, "disk full");
    }
  };
  Interpose<FailingWrites>();
  u_->set_ValueKey(u"V");
  u_->set_valueType(UtilitesA::kRegDword);
  const AutomationError e = ErrorOf([&] { u_->set_Value(VLong(7)); });
  EXPECT_EQ(e.number(), kSetValueFailure);
  EXPECT_EQ(e.source(), kSource);
  EXPECT_EQ(e.description(),
            u"Failed to set registry value Key: '-2147483647',Section: 'Software\\Maker',Key: 'V' "
            u"to value: '7'");
  EXPECT_TRUE(u_->KeyExists()) << "the key is created before the write";
  // An association stops at its first row, leaving the properties on it.
  EXPECT_EQ(ErrorOf([&] { u_->CreateEXEAssociation(u"a.exe", u"A.Doc", u"A", u"a"); }).number(),
            kSetValueFailure);
  EXPECT_EQ(u_->ClassKey(), UtilitesA::kHkeyClassesRoot);
  EXPECT_EQ(u_->SectionKey(), u".a");
}

// Enumeration failures part-way: the values listing ends with what it found;
// the sections listing raises -2147194454 with the failure's description and
// leaves the names and count found before it.
TEST_F(UtilitiesTest, FailuresPartWayThroughEnumerationKeepTheNamesFound) {
  class FailingSecondItem : public ForwardingProvider {
   public:
    using ForwardingProvider::ForwardingProvider;
    admin::Result<admin::ValueEntry> EnumValue(KeyId key, std::uint32_t index) override {
      if (index == 1) return StatusCode::kCantRead;
      return ForwardingProvider::EnumValue(key, index);
    }
    admin::Result<admin::SubkeyEntry> EnumKey(KeyId key, std::uint32_t index) override {
      if (index == 1) throw std::bad_alloc();
      return ForwardingProvider::EnumKey(key, index);
    }
  };
  Seed(u"HKCU\\Software\\Maker", u"a", 1, std::string("x\0", 2));
  Seed(u"HKCU\\Software\\Maker", u"b", 1, std::string("y\0", 2));
  ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\K1"), 0);
  ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\K2"), 0);
  Interpose<FailingSecondItem>();

  SafeArray names(VarType::kString);
  std::int32_t count = 0;
  EXPECT_TRUE(u_->EnumerateValues(names, count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(names, SafeArray::Strings({u"a"}, 1));

  const AutomationError e = ErrorOf([&] { u_->EnumerateSections(names, count); });
  EXPECT_EQ(e.number(), kEnumerationFailure);
  EXPECT_EQ(e.source(), kSource);
  EXPECT_EQ(e.description(), StandardErrorText(rt::kOutOfMemory));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(names, SafeArray::Strings({u"K1"}, 1));
}

// The same through late binding: the by-reference count reaches the caller
// even though the member raises.
TEST_F(UtilitiesTest, LateBoundSectionsFailureHandsBackTheCount) {
  class FailingSecondKey : public ForwardingProvider {
   public:
    using ForwardingProvider::ForwardingProvider;
    admin::Result<admin::SubkeyEntry> EnumKey(KeyId key, std::uint32_t index) override {
      if (index == 1) throw std::bad_alloc();
      return ForwardingProvider::EnumKey(key, index);
    }
  };
  ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\K1"), 0);
  ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker\\K2"), 0);
  Interpose<FailingSecondKey>();
  Variant names = Variant::Array(SafeArray(VarType::kString));
  Variant count = VLong(0);
  std::vector<Arg> args = {Arg::ByRef(names), Arg::ByRef(count)};
  const AutomationError e = ErrorOf([&] { InvokeByName(*u_, u"EnumerateSections", args); });
  EXPECT_EQ(e.number(), kEnumerationFailure);
  EXPECT_EQ(count, VLong(1));
  EXPECT_EQ(names, Variant::Array(SafeArray::Strings({u"K1"}, 1)));
}

// Another process may rewrite the value between the size query and the read:
// the read follows the new size instead of returning a cut or padded text.
TEST_F(UtilitiesTest, ValueThatGrowsBetweenTheTwoQueriesIsReadWhole) {
  class GrowingValue : public ForwardingProvider {
   public:
    using ForwardingProvider::ForwardingProvider;
    Status QueryValue(KeyId key, std::u16string_view name, admin::ValueData* value) override {
      if (++queries_ == 2) {
        const std::u16string longer = u"a much longer text";
        Status grown =
            target().SetValue(key, name, 1,
                              std::string_view(reinterpret_cast<const char*>(longer.data()),
                                               (longer.size() + 1) * sizeof(char16_t)));
        if (!grown.ok()) return grown;
      }
      return ForwardingProvider::QueryValue(key, name, value);
    }

   private:
    int queries_ = 0;
  };
  Seed(u"HKCU\\Software\\Maker", u"V", 1, std::string("ab\0", 3));
  Interpose<GrowingValue>();
  u_->set_ValueKey(u"V");
  EXPECT_EQ(u_->Value(), VStr(u"a much longer text"));
  EXPECT_EQ(u_->valueType(), 1);
}

// In a double-byte code page a name or text takes more bytes than
// characters: value names longer in bytes than the longest length reported
// are still listed (with the names after them), and text is written whole.
TEST_F(UtilitiesTest, MultiByteNamesAndTextsSurviveTheAnsiBoundary) {
  if (admin::AnsiCodePage() != 932) GTEST_SKIP() << "runs with KEYSTREL_ACP=932";
  const std::u16string wide = u"\u65E5\u672C";  // two characters, four bytes
  ASSERT_EQ(admin::AdminCreateKey(u"", u"HKCU\\Software\\Maker"), 0);
  u_->set_valueType(UtilitesA::kRegSz);
  for (const std::u16string& name : {std::u16string(u"a"), wide, std::u16string(u"z")}) {
    u_->set_ValueKey(name);
    u_->set_Value(VStr(u"\u65E5\u672C\u8A9E"));
  }
  SafeArray names(VarType::kString);
  std::int32_t count = 0;
  EXPECT_TRUE(u_->EnumerateValues(names, count));
  EXPECT_EQ(names, SafeArray::Strings({u"a", wide, u"z"}, 1));
  u_->set_ValueKey(wide);
  EXPECT_EQ(u_->Value(), VStr(u"\u65E5\u672C\u8A9E"));
}

}  // namespace
}  // namespace keystrel
