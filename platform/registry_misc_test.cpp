// Other computers, environment expansion and memory moves.
#include <cstring>

#include "platform/registry_fixture.h"

namespace keystrel::platform {
namespace {

class RegistryMiscTest : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    SetEnvironmentOverlay({{u"PROBEVAR", u"hello"},
                           {u"EMPTYVAR", u""},
                           {u"INDIRECT", u"Foo%PROBEVAR%Bar"}});
  }
  void TearDown() override {
    SetEnvironmentOverlay({});
    RegistryTest::TearDown();
  }
};

TEST_P(RegistryMiscTest, ConnectingToThisComputerGivesTheHandleBack) {
  const std::string host = LocalComputerName();
  ASSERT_FALSE(host.empty());
  std::string upper(host);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string names[] = {"", host, "\\\\" + std::string(host), upper};
  for (const std::string& name : names) {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKeyFromLong(0), base_}) {
      HKEY out = nullptr;
      EXPECT_EQ(RegConnectRegistryA(name.c_str(), root, &out), ERROR_SUCCESS) << name;
      EXPECT_EQ(out, root);
    }
  }
  HKEY out = HKeyFromLong(0x1234);
  EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_USERS, &out), ERROR_SUCCESS);
  EXPECT_EQ(out, HKEY_USERS);
  for (const char* unknown : {"NOSUCHPC", "\\\\NOSUCHPC", "\\\\", "\\"}) {
    EXPECT_EQ(RegConnectRegistryA(unknown, HKEY_LOCAL_MACHINE, &out), ERROR_BAD_NETPATH)
        << unknown;
  }
  EXPECT_EQ(RegConnectRegistryA(nullptr, HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_P(RegistryMiscTest, ExpandEnvironmentStrings) {
  struct Case {
    const char* source;
    DWORD size;
    DWORD result;
    const char* expanded;  // null: the buffer is not looked at
  };
  const Case cases[] = {
      {"abc%PROBEVAR%def", 100, 12, "abchellodef"},
      {"abc%PROBEVAR%def", 12, 12, "abchellodef"},
      {"abc%PROBEVAR%def", 11, 12, "abchellode"},  // too small: truncated, terminated
      {"abc%PROBEVAR%def", 1, 12, ""},
      {"abc%PROBEVAR%def", 0, 12, nullptr},
      {"%probevar%", 100, 6, "hello"},
      {"%NOSUCHVAR%", 100, 12, "%NOSUCHVAR%"},
      {"%%", 100, 3, "%%"},
      {"100%", 100, 5, "100%"},
      {"50% and 60%", 100, 12, "50% and 60%"},
      {"%PROBEVAR", 100, 10, "%PROBEVAR"},
      {"%%PROBEVAR%%", 100, 13, "%%PROBEVAR%%"},
      {"a%EMPTYVAR%b", 100, 3, "ab"},
      {"", 100, 1, ""},
      {"%PROBEVAR%%NOSUCHVAR%%PROBEVAR%", 100, 22, "hello%NOSUCHVAR%hello"},
      {"%INDIRECT%", 100, 17, "Foo%PROBEVAR%Bar"},  // one pass only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " / " << c.size);
    char buffer[128];
    std::memset(buffer, 'x', sizeof(buffer));
    EXPECT_EQ(ExpandEnvironmentStringsA(c.source, c.size ? buffer : nullptr, c.size), c.result);
    if (c.expanded) {
      EXPECT_STREQ(buffer, c.expanded);
    }
    EXPECT_EQ(buffer[c.size], 'x');  // nothing written past the size
  }
  // No cap on the result: a long value comes back whole (the platform
  // documents a 32K limit).
  if (kOurStore) {
    SetEnvironmentOverlay({{u"BIG", std::u16string(40000, u'b')}});
    std::vector<char> big(40001);
    EXPECT_EQ(ExpandEnvironmentStringsA("%BIG%", big.data(), 40001), 40001u);
    EXPECT_EQ(std::strlen(big.data()), 40000u);
  }
}

TEST_P(RegistryMiscTest, RtlMoveMemoryHandlesOverlap) {
  char text[] = "abcdef";
  RtlMoveMemory(text + 1, text, 4);
  EXPECT_STREQ(text, "aabcdf");
  RtlMoveMemory(nullptr, text, 0);
  RtlMoveMemory(text, nullptr, 0);
  EXPECT_STREQ(text, "aabcdf");
}

INSTANTIATE_TEST_SUITE_P(Stores, RegistryMiscTest, RegistryStores(), StoreName);

}  // namespace
}  // namespace keystrel::platform
