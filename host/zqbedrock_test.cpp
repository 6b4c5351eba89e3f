// The stand-in for the maker's library, seen through About as a host sees it.
// A binary of its own: the stand-in registers process-wide, and the other
// host tests need the maker's library absent.
#include "host/zqbedrock.h"

#include <gtest/gtest.h>

#include <vector>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "host/host_services.h"
#include "host/zqbr_common.h"
#include "library/library.h"

namespace keystrel {
namespace {

struct Box {
  UString prompt;
  std::int32_t style;
  UString title;
  friend bool operator==(const Box&, const Box&) = default;
};

class ZqBedrockStandInTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    RegisterZqBedrockStandIn();
    SetMessageBoxHook([this](const UString& prompt, std::int32_t style, const UString& title) {
      boxes_.push_back({prompt, style, title});
      return std::int32_t{1};
    });
  }
  void TearDown() override { ResetThreadState(); }

  std::vector<Box> boxes_;
};

TEST_F(ZqBedrockStandInTest, AboutShowsTheApplicationObjectsNameAndVersion) {
  EXPECT_EQ(HostServices::Create()->About(), 0);
  EXPECT_EQ(boxes_,
            (std::vector<Box>{{u"Keystrel10 1.0.0\r\nKeystrel10 registry automation library",
                               kAboutBoxStyle, u"About Keystrel10"}}));
}

TEST_F(ZqBedrockStandInTest, FailuresOfTheAboutBoxAreShownByTheErrorReport) {
  // A per-thread registration that makes nothing hides the stand-in's About.
  RegisterThreadProgId(zqbr_common::kAboutProgId, [] { return Ref<Object>(); });
  EXPECT_EQ(HostServices::Create()->About(), 0);
  EXPECT_EQ(boxes_,
            (std::vector<Box>{
                {u"Error 429 in basZqbrCommonA.AppAboutZqbr_Pro\r\nActiveX component can't create "
                 u"object\r\n(Keystrel10)",
                 kErrorBoxStyle, u"Keystrel10"},
                {u"Error 91 in basZqbrCommonA.AppAboutZqbr_Pro\r\nObject variable or With block "
                 u"variable not set\r\n(Keystrel10)",
                 kErrorBoxStyle, u"Keystrel10"}}));
}

TEST_F(ZqBedrockStandInTest, MembersCheckTheirArguments) {
  struct Case {
    const char16_t* progid;
    const char16_t* member;
    std::vector<Variant> args;
    std::int32_t error;
  };
  const Variant app = Variant::Object(ApplicationObject());
  const std::vector<Case> cases = {
      {zqbr_common::kAboutProgId, u"AppAboutZqbr", {VLong(1)}, rt::kObjectRequired},
      {zqbr_common::kAboutProgId, u"AppAboutZqbr", {Variant::Nothing()}, rt::kObjectRequired},
      {zqbr_common::kAboutProgId, u"AppAboutZqbr", {}, rt::kWrongArgumentCount},
      {zqbr_common::kAboutProgId, u"Show", {app}, rt::kMemberNotFound},
      {zqbr_common::kErrorHandlerProgId, u"ErrorHandlerMessageZq", {app}, rt::kWrongArgumentCount},
      {zqbr_common::kErrorHandlerProgId,
       u"ErrorHandlerMessageZq",
       {app, VLong(5), VStr(u""), VStr(u"p"), VLong(0), VStr(u""), VLong(0), Variant::Missing()},
       rt::kObjectRequired},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(UToUtf8(c.member));
    Ref<Object> obj = CreateObjectByProgId(c.progid);
    try {
      CallByName(*obj, c.member, c.args);
      ADD_FAILURE() << "no error";
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), c.error);
    }
  }
  EXPECT_TRUE(boxes_.empty());
}

}  // namespace
}  // namespace keystrel
