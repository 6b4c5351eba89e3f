// What the conformance vectors cannot show: the texts of results no registry
// call here produces, sinks that fail or drop the object, the 16-bit index
// limit, the ANSI round trip of by-reference names, and the C++ front.
// The vectors in tests/conformance/handler_d*.json cover the rest.
#include "handler_d/handler_d.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "frame/convert.h"
#include "frame/error.h"
#include "frame/safe_array.h"
#include "handler_d/message_table.h"
#include "library/library.h"
#include "platform/admin.h"
#include "platform/ansi.h"

namespace keystrel {

// Readable failure messages: the subtype and the value as text.
void PrintTo(const Variant& value, std::ostream* os) {
  *os << UToUtf8(TypeNameOf(value.type()));
  if (value.is_array()) return;
  try {
    *os << " \"" << UToUtf8(ToText(value)) << "\"";
  } catch (const AutomationError&) {
  }
}

namespace {

constexpr std::int32_t kHkcu = static_cast<std::int32_t>(0x80000001u);

// An event sink whose every call runs `on_event`.
class Sink final : public Object {
 public:
  using Handler = std::function<void(std::span<Arg>)>;
  static Ref<Sink> Make(Handler on_event) { return Ref<Sink>(new Sink(std::move(on_event))); }

  std::int32_t IdOfName(UStringView) override { return HandlerD::kErrorOccurredEvent; }
  Variant Invoke(std::int32_t, std::uint16_t, std::span<Arg> args) override {
    ++calls;
    on_event_(args);
    return {};
  }
  int calls = 0;

 private:
  explicit Sink(Handler on_event) : on_event_(std::move(on_event)) {}
  Handler on_event_;
};

class HandlerDTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    ASSERT_EQ(platform::UseLocalStore(platform::StoreKind::kMemory), 0);
  }
  void TearDown() override { EXPECT_EQ(platform::OpenHandleCount(), 0u); }
};

TEST(RegistryResultMessage, EveryNumberHasItsOwnText) {
  struct Row {
    std::int32_t number;
    const char16_t* text;
  };
  const Row rows[] = {
      {1, u"Error with database."},
      {2, u"The key specified is invalid or cannot be found."},
      {3, u"Cannot open specified key."},
      {4, u"Cannot read specified key."},
      {5, u"Cannot write to specified key."},
      {6, u"Out of memory while performing registry task."},
      {7, u"The parameter specified is invalid."},
      {8, u"Access was denied."},
      {87, u"The parameters specified is invalid."},
      {259, u"There are no more items to return."},
      {0, u"Error performing task on the Registry."},
      {-1, u"Error performing task on the Registry."},
      {9, u"Error performing task on the Registry."},
      {234, u"Error performing task on the Registry."},
      {1018, u"Error performing task on the Registry."},
      {20000, u"Error performing task on the Registry."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.number);
    EXPECT_EQ(RegistryResultMessage(row.number), row.text);
  }
}

TEST_F(HandlerDTest, FailingSinkNeitherStopsTheOperationNorReachesTheCaller) {
  Ref<HandlerD> reg = HandlerD::Create();
  reg->event_source()->Advise(Sink::Make([](std::span<Arg>) { RaiseError(rt::kOverflow); }));
  ASSERT_EQ(platform::AdminCreateKey(u"", u"HKCU\\Locked"), 0);
  ASSERT_EQ(platform::AdminSetGrant(u"", u"HKCU\\Locked", 0x20019), 0);

  // Both failures of Set_Value are still recorded after the first sink error.
  EXPECT_FALSE(reg->Set_Value(kHkcu, u"Locked", u"V", VStr(u"x"), HandlerD::kStringValue));
  EXPECT_TRUE(reg->ErrorExist());
  EXPECT_EQ(reg->ErrorNumber(), 5);
  EXPECT_EQ(reg->ErrorSource(), u"Reg.Set_Value\r\n\r\n");

  EXPECT_EQ(reg->Query_Value(kHkcu, u"Missing", u"V", u"dflt"), VStr(u"dflt"));
  EXPECT_EQ(reg->ErrorNumber(), HandlerD::kInvalidKeyNumber);
}

TEST_F(HandlerDTest, SinkMayDropTheLastReferenceDuringTheEvent) {
  Ref<HandlerD> reg = HandlerD::Create();
  HandlerD* raw = reg.get();
  auto sink = Sink::Make([&reg](std::span<Arg>) { reg.reset(); });
  raw->event_source()->Advise(sink);

  Variant value = VStr(u"abc");
  UString key = u"Software\\T";
  UString name = u"V";
  EXPECT_FALSE(raw->Set_Value(kHkcu, key, name, value, HandlerD::kDwordValue));
  EXPECT_EQ(sink->calls, 1);
  EXPECT_FALSE(reg);
}

TEST_F(HandlerDTest, SinkValueOfAnotherSubtypeIsConvertedOrRefused) {
  Ref<HandlerD> reg = HandlerD::Create();
  reg->event_source()->Advise(Sink::Make([](std::span<Arg> args) {
    args[0].get() = VStr(u"42");       // converts to the long 42
    args[1].get() = Variant::Long(7);  // converts to the text 7
    args[2].get() = Variant::Null();   // no text: the recorded message stays
  }));
  EXPECT_FALSE(reg->Delete_Key(kHkcu, u"Missing"));
  EXPECT_EQ(reg->ErrorNumber(), 42);
  EXPECT_EQ(reg->ErrorSource(), u"7");
  EXPECT_EQ(reg->ErrorDescription(), u"The key specified is invalid or cannot be found.");
}

TEST_F(HandlerDTest, EnumKeysCountsWithSixteenBits) {
  ASSERT_EQ(platform::AdminCreateKey(u"", u"HKCU\\Many"), 0);
  for (int i = 0; i < 32767; ++i) {
    std::u16string n = Utf8ToU(std::to_string(100000 + i));
    ASSERT_EQ(platform::AdminCreateKey(u"", u"HKCU\\Many\\" + n), 0);
  }
  Ref<HandlerD> reg = HandlerD::Create();

  SafeArray all = reg->EnumKeys(kHkcu, u"Many");
  ASSERT_EQ(all.size(), 32767);
  EXPECT_EQ(all.UBound(), 32766);
  EXPECT_EQ(all.Get(32766), VStr(u"132766"));
  EXPECT_FALSE(reg->ErrorExist());

  // Storing index 32767 is the last thing the counter allows.
  ASSERT_EQ(platform::AdminCreateKey(u"", u"HKCU\\Many\\199999"), 0);
  SafeArray failed = reg->EnumKeys(kHkcu, u"Many");
  EXPECT_EQ(failed, SafeArray::Strings({UString()}));
  EXPECT_TRUE(reg->ErrorExist());
  EXPECT_EQ(reg->ErrorNumber(), rt::kOverflow);
  EXPECT_EQ(reg->ErrorSource(), UString(u"Reg.EnumKeys (Many)\r\n\r\n") + kRuntimeErrorSource);
  EXPECT_EQ(reg->ErrorDescription(), StandardErrorText(rt::kOverflow));
}

TEST_F(HandlerDTest, NamesComeBackThroughTheAnsiCodePage) {
  if (platform::AnsiCodePage() != 1252) GTEST_SKIP() << "expects code page 1252";
  Ref<HandlerD> reg = HandlerD::Create();
  UString key = u"Software\\\u0416";  // Cyrillic: not in 1252
  UString name = u"\u0436\u00e9";
  Variant value = VStr(u"abc");

  EXPECT_FALSE(reg->Set_Value(kHkcu, key, name, value, HandlerD::kDwordValue));
  EXPECT_EQ(key, u"Software\\?");
  // The value name never reached the platform: the conversion failed first.
  EXPECT_EQ(name, u"\u0436\u00e9");
  EXPECT_EQ(reg->ErrorSource(), UString(u"Reg.Set_Value (Software\\?,\u0436\u00e9,abc)\r\n\r\n") +
                                    kRuntimeErrorSource);
  EXPECT_EQ(reg->ErrorNumber(), rt::kTypeMismatch);

  EXPECT_EQ(reg->Query_Value(kHkcu, key, name, u"d"), VStr(u"d"));
  EXPECT_EQ(name, u"?\u00e9");
}

TEST_F(HandlerDTest, MultiByteCodePageKeepsWholeCharacters) {
  if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "runs under KEYSTREL_ACP=932";
  Ref<HandlerD> reg = HandlerD::Create();
  const UString text = u"\u65e5\u672c\u8a9e";  // three characters, six bytes
  for (std::int32_t kind : {HandlerD::kStringValue, HandlerD::kBinaryValue}) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(reg->Set_Value(kHkcu, u"Software\\T", u"V", VStr(text), kind));
    EXPECT_EQ(reg->Query_Value(kHkcu, u"Software\\T", u"V"), VStr(text));
  }
  EXPECT_FALSE(reg->ErrorExist());
}

TEST_F(HandlerDTest, CppFrontRewritesOnlyWhatIsPassedByReference) {
  Ref<HandlerD> reg = HandlerD::Create();
  Variant setting = VStr(u"AB");
  ASSERT_TRUE(reg->Set_Value(kHkcu, u"Software\\T", u"V", setting, HandlerD::kBinaryValue));
  EXPECT_EQ(setting, VStr(UString(u"AB\0", 3)));

  const Variant kept = VStr(u"AB");
  ASSERT_TRUE(reg->Set_Value(kHkcu, u"Software\\T", u"V", kept, HandlerD::kBinaryValue));
  EXPECT_EQ(kept, VStr(u"AB"));

  EXPECT_EQ(reg->Query_Value(kHkcu, u"Software\\T", u"V", u"", HandlerD::kBooleanResult),
            VStr(u"FALSE"));
  EXPECT_TRUE(reg->Query_Key(kHkcu, u"Software\\T"));
  EXPECT_EQ(reg->EnumKeys(kHkcu, u"Software"), SafeArray::Strings({u"T"}));
  EXPECT_TRUE(reg->Delete_Value(kHkcu, u"Software\\T", u"V"));
  EXPECT_TRUE(reg->Delete_Key(kHkcu, u"Software\\T"));
  EXPECT_FALSE(reg->ErrorExist());
}

}  // namespace
}  // namespace keystrel
