// What the conformance vectors (tests/conformance/host_*.json) cannot show:
// an About box or an error report that raises, failures that are no
// automation errors, the references the About routine takes and gives back,
// the shared slot across threads, and the error object's own members.
#include "host/host_services.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <thread>
#include <vector>

#include "frame/dispatch.h"
#include "frame/error.h"
#include "frame/host.h"
#include "host/internal/error_object.h"
#include "host/zqbr_common.h"
#include "library/library.h"

namespace keystrel {
namespace {

using host_detail::ErrorObject;

// A client object of the maker's library: answers any member name and runs
// `on_call` with the arguments as they arrive.
class FakeMakerObject final : public Object {
 public:
  using Handler = std::function<void(std::span<Arg>)>;
  explicit FakeMakerObject(Handler on_call) : on_call_(std::move(on_call)) {}

  std::int32_t IdOfName(UStringView name) override {
    names_.emplace_back(name);
    return static_cast<std::int32_t>(names_.size());
  }
  Variant Invoke(std::int32_t dispid, std::uint16_t, std::span<Arg> args) override {
    called_.push_back(names_.at(static_cast<std::size_t>(dispid - 1)));
    if (on_call_) on_call_(args);
    return Variant();
  }
  const std::vector<UString>& called() const { return called_; }

 private:
  Handler on_call_;
  std::vector<UString> names_;
  std::vector<UString> called_;
};

// One report as the maker's error handler received it.
struct Report {
  std::int32_t number = 0;
  UString source;
  UString description;
  UString procedure;
};

class HostServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitializeLibrary();
    host_ = HostServices::Create();
  }
  void TearDown() override { ResetThreadState(); }

  // Registers the maker's About class; every creation hands out `about`.
  void ProvideAbout(Ref<FakeMakerObject> about) {
    RegisterThreadProgId(zqbr_common::kAboutProgId, [about] { return Ref<Object>(about); });
  }

  // Registers the maker's error-report class, recording every report.
  void ProvideReport(FakeMakerObject::Handler extra = {}) {
    report_ = MakeRef<FakeMakerObject>([this, extra](std::span<Arg> args) {
      ASSERT_EQ(args.size(), 8u);
      Ref<ErrorObject> err = RefCast<ErrorObject>(args[1].get().object());
      ASSERT_TRUE(err);
      reports_.push_back(
          {err->Number(), err->Source(), err->Description(), args[3].get().string()});
      if (extra) extra(args);
    });
    RegisterThreadProgId(zqbr_common::kErrorHandlerProgId, [this] { return Ref<Object>(report_); });
  }

  Ref<HostServices> host_;
  Ref<FakeMakerObject> report_;
  std::vector<Report> reports_;
};

TEST_F(HostServicesTest, AboutBoxThatRaisesIsReportedOnceAndAboutReturnsZero) {
  ProvideReport();
  auto about = MakeRef<FakeMakerObject>(
      [](std::span<Arg>) { RaiseError(1234, u"ZqBedrock10", u"no window station"); });
  ProvideAbout(about);

  EXPECT_EQ(host_->About(), 0);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].number, 1234);
  EXPECT_EQ(reports_[0].source, u"ZqBedrock10");
  EXPECT_EQ(reports_[0].description, u"no window station");
  EXPECT_EQ(reports_[0].procedure, u"basZqbrCommonA.AppAboutZqbr_Pro");
  EXPECT_EQ(about->called(), std::vector<UString>{u"AppAboutZqbr"});
}

TEST_F(HostServicesTest, FailuresBelowTheAutomationLayerAreReportedWithARuntimeNumber) {
  struct Case {
    const char* name;
    std::function<void()> fail;
    std::int32_t number;
  };
  const Case cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); }, rt::kOutOfMemory},
      {"other exception", [] { throw std::runtime_error("fault"); }, rt::kInvalidProcedureCall},
  };
  ProvideReport();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reports_.clear();
    ProvideAbout(MakeRef<FakeMakerObject>([&c](std::span<Arg>) { c.fail(); }));
    EXPECT_EQ(host_->About(), 0);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].number, c.number);
    EXPECT_EQ(reports_[0].description, StandardErrorText(c.number));
  }
}

TEST_F(HostServicesTest, ReportThatRaisesEndsAboutWithItsErrorAndReleasesEverything) {
  ProvideReport([](std::span<Arg>) { RaiseError(777, u"ZqBedrock10", u"report failed"); });
  // No About class: the failed creation is the first error, and its report
  // fails in turn.
  try {
    host_->About();
    FAIL() << "About returned";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 777);
    EXPECT_EQ(e.source(), u"ZqBedrock10");
    EXPECT_EQ(e.description(), u"report failed");
  }
  EXPECT_EQ(reports_.size(), 1u);
  ResetThreadState();  // drops the registration's reference
  EXPECT_EQ(report_->ref_count(), 1u) << "the routine kept a reference to the report object";
}

TEST_F(HostServicesTest, AboutGivesBackEveryReferenceItTook) {
  ProvideReport();
  Variant received;
  auto about = MakeRef<FakeMakerObject>([&](std::span<Arg> args) {
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0].ref, nullptr) << "the application object goes by value";
    received = args[0].get();
  });
  ProvideAbout(about);
  EXPECT_EQ(host_->About(), 0);
  EXPECT_TRUE(reports_.empty());
  ASSERT_TRUE(received.is_object());
  EXPECT_EQ(received.object(), ApplicationObject());
  received = Variant();
  ResetThreadState();
  EXPECT_EQ(about->ref_count(), 1u);
}

TEST_F(HostServicesTest, ErrorReportArgumentsAndTheirPassing) {
  std::vector<Variant> seen;
  std::vector<bool> by_ref;
  ProvideReport([&](std::span<Arg> args) {
    for (Arg& a : args) {
      seen.push_back(a.get());
      by_ref.push_back(a.ref != nullptr);
    }
  });
  EXPECT_EQ(host_->About(), 0);
  // Two reports (creation, then the call through the empty reference); the
  // first one's arguments are checked here.
  ASSERT_EQ(seen.size(), 16u);
  EXPECT_EQ(seen[0], Variant::Object(ApplicationObject()));
  EXPECT_EQ(seen[2], VStr(u""));
  EXPECT_EQ(seen[3], VStr(u"basZqbrCommonA.AppAboutZqbr_Pro"));
  EXPECT_EQ(seen[4], VLong(0));
  EXPECT_EQ(seen[5], VStr(u""));
  EXPECT_EQ(seen[6], VLong(0));
  EXPECT_TRUE(seen[7].is_missing());
  EXPECT_EQ(by_ref, (std::vector<bool>{true, true, true, true, true, true, true, false, true, true,
                                       true, true, true, true, true, false}));
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[0].number, rt::kCannotCreateObject);
  EXPECT_EQ(reports_[1].number, rt::kObjectVariableNotSet);
  EXPECT_EQ(reports_[1].description, u"Object variable or With block variable not set");
}

TEST_F(HostServicesTest, SharedSlotIsPerThread) {
  auto mine = MakeRef<FakeMakerObject>(nullptr);
  host_->set_BuddyObjectGlobal(mine);
  Ref<Object> seen_elsewhere = mine;
  std::thread other([&] {
    seen_elsewhere = HostServices::Create()->BuddyObjectGlobal();
    ResetThreadState();
  });
  other.join();
  EXPECT_FALSE(seen_elsewhere);
  EXPECT_EQ(HostServices::Create()->BuddyObjectGlobal(), Ref<Object>(mine));
}

TEST_F(HostServicesTest, SharedSlotReleasesWhatItHeld) {
  auto first = MakeRef<FakeMakerObject>(nullptr);
  host_->set_BuddyObjectGlobal(first);
  EXPECT_EQ(first->ref_count(), 2u);
  host_->set_BuddyObjectGlobal(nullptr);
  EXPECT_EQ(first->ref_count(), 1u);
  EXPECT_FALSE(host_->BuddyObjectGlobal());
}

TEST(ErrorObjectTest, RaiseKeepsGivenOrCurrentValuesAndFillsDefaults) {
  InitializeLibrary();
  Ref<ErrorObject> err = ErrorObject::Create(AutomationError(91, u"Src", u"Desc"));
  EXPECT_EQ(DefaultValue(*err), VLong(91));

  // Omitted arguments keep what the object describes.
  try {
    err->Raise(91, Variant::Missing(), Variant::Missing(), Variant::Missing(), Variant::Missing());
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.source(), u"Src");
    EXPECT_EQ(e.description(), u"Desc");
  }
  // After Clear, the runtime's defaults fill in.
  CallByName(*err, u"Clear");
  EXPECT_EQ(err->Number(), 0);
  try {
    std::vector<Variant> args = {VLong(13)};
    CallByName(*err, u"Raise", args);
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.source(), kRuntimeErrorSource);
    EXPECT_EQ(e.description(), u"Type mismatch");
  }
  EXPECT_EQ(err->Number(), 13);
  EXPECT_EQ(err->Description(), u"Type mismatch");

  // A bad argument raises its own error and leaves the object as it was.
  try {
    err->Raise(5, Variant::Null(), Variant::Missing(), Variant::Missing(), Variant::Missing());
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), rt::kInvalidUseOfNull);
  }
  EXPECT_EQ(err->Number(), 13);

  std::vector<Variant> assign = {VStr(u"mine")};
  CallByName(*err, u"Source", assign, kPropertyLet);
  EXPECT_EQ(CallByName(*err, u"Source"), VStr(u"mine"));
}

}  // namespace
}  // namespace keystrel
