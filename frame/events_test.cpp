#include "frame/events.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "frame/error.h"

namespace keystrel {
namespace {

std::shared_ptr<const EventInterfaceInfo> Iface() {
  auto iface = std::make_shared<EventInterfaceInfo>();
  iface->name = u"__clsTestSource";
  iface->events = {EventInfo{u"Changed", 1, {}}, EventInfo{u"Other", 2, {}}};
  return iface;
}

// A client sink: logs "<name>:<dispid>:<first arg>" and runs an optional
// reaction inside the event.
class Sink : public Object {
 public:
  Sink(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}
  std::int32_t IdOfName(UStringView) override { return kDispidUnknown; }
  Variant Invoke(std::int32_t dispid, std::uint16_t kind, std::span<Arg> args) override {
    EXPECT_EQ(kind, kMethod);
    std::string entry = name_ + ":" + std::to_string(dispid);
    if (!args.empty() && args[0].get().is_string()) entry += ":" + UToUtf8(args[0].get().string());
    log_->push_back(entry);
    if (react) react(args);
    return Variant();
  }
  std::function<void(std::span<Arg>)> react;

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

class Owner : public Object {
 public:
  EventSource events{Iface()};
};

class EventsTest : public ::testing::Test {
 protected:
  Ref<Sink> NewSink(std::string name) { return MakeRef<Sink>(std::move(name), &log_); }
  void Raise(std::int32_t dispid, Variant first = Variant(u"v")) {
    std::vector<Arg> args{Arg::ByVal(std::move(first))};
    source_.Raise(dispid, args);
  }

  std::vector<std::string> log_;
  EventSource source_{Iface()};
};

TEST_F(EventsTest, SinksRunInConnectionOrderWithTheEventId) {
  EXPECT_FALSE(source_.has_sinks());
  Ref<Sink> a = NewSink("a"), b = NewSink("b"), c = NewSink("c");
  const std::uint32_t ca = source_.Advise(a);
  const std::uint32_t cb = source_.Advise(b);
  source_.Advise(c);
  EXPECT_NE(ca, 0u);
  EXPECT_NE(ca, cb);
  Raise(2);
  EXPECT_TRUE(source_.Unadvise(cb));
  EXPECT_FALSE(source_.Unadvise(cb));
  EXPECT_FALSE(source_.Unadvise(0));
  Raise(1);
  EXPECT_EQ(log_, (std::vector<std::string>{"a:2:v", "b:2:v", "c:2:v", "a:1:v", "c:1:v"}));
  EXPECT_EQ(source_.interface_info().FindEvent(u"changed")->dispid, 1);
  EXPECT_EQ(source_.interface_info().FindEvent(2)->name, u"Other");
  source_.Clear();
  EXPECT_FALSE(source_.has_sinks());
}

TEST_F(EventsTest, ByReferenceChangesStickAndByValueOnesDoNot) {
  Ref<Sink> a = NewSink("a"), b = NewSink("b");
  a->react = [](std::span<Arg> args) {
    args[0].get() = Variant(u"from a");
    args[1].get() = VLong(99);
  };
  source_.Advise(a);
  source_.Advise(b);
  Variant number = VLong(1);
  std::vector<Arg> args{Arg::ByRef(number), Arg::ByVal(VLong(2))};
  number = Variant(u"start");
  source_.Raise(1, args);
  // b saw what a left in the by-reference argument; the caller keeps it.
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1:start", "b:1:from a"}));
  EXPECT_EQ(number, Variant(u"from a"));
  EXPECT_EQ(args[1].value, VLong(2));
}

TEST_F(EventsTest, ConnectingAndDisconnectingDuringARaise) {
  Ref<Sink> a = NewSink("a"), b = NewSink("b"), c = NewSink("c"), late = NewSink("late");
  std::uint32_t cb = 0, ca = 0;
  a->react = [&](std::span<Arg>) {
    if (!source_.Unadvise(cb)) return;  // first raise only
    source_.Advise(late);
    EXPECT_TRUE(source_.Unadvise(ca));  // a removes itself
  };
  ca = source_.Advise(a);
  cb = source_.Advise(b);
  source_.Advise(c);
  Raise(1, Variant(u"1"));
  Raise(1, Variant(u"2"));
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1:1", "c:1:1", "c:1:2", "late:1:2"}));
}

TEST_F(EventsTest, ASinkErrorStopsTheRaiseAndReachesTheRaiser) {
  Ref<Sink> a = NewSink("a"), b = NewSink("b");
  a->react = [](std::span<Arg>) { RaiseError(rt::kInvalidProcedureCall); };
  source_.Advise(a);
  source_.Advise(b);
  EXPECT_THROW(Raise(1), AutomationError);
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1:v"}));
}

TEST_F(EventsTest, ASinkMayReleaseTheObjectRaisingTheEvent) {
  Ref<Owner> owner = MakeRef<Owner>();
  Ref<Sink> a = NewSink("a"), b = NewSink("b");
  a->react = [&](std::span<Arg>) { owner.reset(); };
  owner->events.Advise(a);
  owner->events.Advise(b);
  Owner* raw = owner.get();
  std::vector<Arg> none;
  raw->events.Raise(1, none);  // must not touch the ended source afterwards
  EXPECT_FALSE(owner);
  EXPECT_EQ(log_, (std::vector<std::string>{"a:1"}));
}

}  // namespace
}  // namespace keystrel
