#include "com/idl/idl_writer.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "library/library.h"

namespace keystrel::com {
namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
  return n;
}

// The registrations of a DLL already installed depend on these values never
// changing between builds.
TEST(NameGuid, StableAndWellFormed) {
  EXPECT_EQ(NameGuid("library:Keystrel10"), "C17E7A1A-3E47-849F-A024-B515CF7443FF");
  const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-8[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  for (const char* name : {"class:clsZqRegyHandlerA", "interface:_clsZqRegyHandlerA", "x"}) {
    EXPECT_TRUE(std::regex_match(NameGuid(name), form)) << NameGuid(name);
  }
  EXPECT_NE(NameGuid("class:clsZqRegyHandlerA"), NameGuid("class:clsZqRegyHandlerB"));
}

TEST(WriteIdl, LibraryShapeFromTheCatalogue) {
  InitializeLibrary();
  const std::string idl = WriteIdl(Catalogue::Instance());
  EXPECT_NE(idl.find("library Keystrel10"), std::string::npos);
  EXPECT_NE(idl.find("version(1.0)"), std::string::npos);
  EXPECT_NE(idl.find("lcid(0x0409)"), std::string::npos);
  EXPECT_EQ(Count(idl, "  coclass "), 12);
  EXPECT_EQ(Count(idl, "hidden, dual, nonextensible, oleautomation"), 12);
  EXPECT_EQ(Count(idl, "  dispinterface __"), 2);  // the two event interfaces
  EXPECT_EQ(Count(idl, "v1_enum]"), 8);
  EXPECT_EQ(Count(idl, "appobject"), 1);
  EXPECT_EQ(Count(idl, "noncreatable"), 4);
  // The runtime's own classes get no coclass, only a hidden dispinterface
  // their objects describe themselves with.
  EXPECT_EQ(idl.find("coclass Collection"), std::string::npos);
  for (const char* runtime : {"App", "ErrObject", "Collection", "Enumerator"}) {
    EXPECT_NE(idl.find("    hidden\n  ]\n  dispinterface _" + std::string(runtime) + "\n"),
              std::string::npos)
        << runtime;
  }
  EXPECT_NE(idl.find("[id(0), propget] long Number();"), std::string::npos);
  EXPECT_NE(idl.find("[id(0), propput] void Number([in] long Value);"), std::string::npos);
  EXPECT_NE(idl.find("[id(-4), hidden, restricted] IDispatch* _NewEnum();"), std::string::npos);
  // Fixed dispatch identifiers: default members and the hidden enumerator.
  EXPECT_NE(idl.find("[id(-4), hidden, restricted] HRESULT NewEnum("), std::string::npos);
  EXPECT_NE(idl.find("[id(0), propget] HRESULT KeyName("), std::string::npos);
  EXPECT_NE(idl.find("[default, source] dispinterface __clsZqRegyHandlerD;"), std::string::npos);
}


// The vtable glue must follow the IDL slot for slot: a member out of order,
// a wrong dispatch identifier or get/put mixed up would call the wrong
// member with the compiler none the wiser (it checks only the signatures).
TEST(WriteDualGlue, EntriesFollowTheIdlSlotBySlot) {
  InitializeLibrary();
  const std::string idl = WriteIdl(Catalogue::Instance());
  const std::string glue = WriteDualGlue(Catalogue::Instance(), "keystrel10_interfaces.h");
  const std::regex idl_member(
      R"(\[id\((-?\d+)\)(, (propputref|propput|propget))?[^\]]*\] HRESULT (\w+)\()");
  const std::regex glue_entry(
      R"(HRESULT STDMETHODCALLTYPE (\w+)\([^)]*\) override \{\n    return Call\((-?\d+), (\w+),)");
  const std::map<std::string, std::pair<std::string, std::string>> kinds = {
      {"", {"", "DISPATCH_METHOD"}},
      {"propget", {"get_", "DISPATCH_PROPERTYGET"}},
      {"propput", {"put_", "DISPATCH_PROPERTYPUT"}},
      {"propputref", {"putref_", "DISPATCH_PROPERTYPUTREF"}}};
  std::vector<std::string> want;
  for (std::sregex_iterator it(idl.begin(), idl.end(), idl_member), end; it != end; ++it) {
    const auto& kind = kinds.at((*it)[3].str());
    want.push_back(kind.first + (*it)[4].str() + " " + (*it)[1].str() + " " + kind.second);
  }
  std::vector<std::string> got;
  for (std::sregex_iterator it(glue.begin(), glue.end(), glue_entry), end; it != end; ++it) {
    got.push_back((*it)[1].str() + " " + (*it)[2].str() + " " + (*it)[3].str());
  }
  ASSERT_GT(want.size(), 100u);
  EXPECT_EQ(got, want);
  EXPECT_EQ(Count(glue, "final : public DualFace<_"), 12);
  EXPECT_EQ(Count(glue, "&NewDualFace<Dual_"), 12);
}

// How each kind of parameter and result travels.
TEST(WriteDualGlue, ArgumentsAndResults) {
  InitializeLibrary();
  const std::string glue = WriteDualGlue(Catalogue::Instance(), "keystrel10_interfaces.h");
  const char* const kEntries[] = {
      // enumeration by value; no result
      "put_hKey(hKey p0) override {\n    return Call(1610809344, DISPATCH_PROPERTYPUT, "
      "NoResult(), {In<VT_I4>(p0)});",
      // optional variant by reference
      "CreateKey(VARIANT* p0, BSTR* retval) override {\n    return Call(1610809351, "
      "DISPATCH_METHOD, Out<VT_BSTR>(retval), {InOut<VT_VARIANT>(p0, kOptional)});",
      // typed by-reference arguments, an enumeration among them
      "SetRegistryValue(BSTR p0, VARIANT* p1, DataType* p2, VARIANT_BOOL* retval) override {\n"
      "    return Call(1610809357, DISPATCH_METHOD, Out<VT_BOOL>(retval), {In<VT_BSTR>(p0), "
      "InOut<VT_VARIANT>(p1, kRequired), InOut<VT_I4>(p2, kRequired)});",
      // arrays by reference and as results
      "ToMultiSZ(SAFEARRAY** p0, BSTR* retval) override {\n    return Call(1610809354, "
      "DISPATCH_METHOD, Out<VT_BSTR>(retval), {InOut<VT_ARRAY | VT_BSTR>(p0, kRequired)});",
      "GetMultiSZ(BSTR p0, SAFEARRAY** retval) override {\n    return Call(1610809353, "
      "DISPATCH_METHOD, Out<VT_ARRAY | VT_BSTR>(retval), {In<VT_BSTR>(p0)});",
      // a result of one of the library's interfaces; the default member
      "get_Item(VARIANT* p0, _clsZqRegyHandlerAKeyA** retval) override {\n    return Call(0, "
      "DISPATCH_PROPERTYGET, OutObject(retval), {InOut<VT_VARIANT>(p0, kRequired)});",
      "putref_BuddyObject(IDispatch* p0) override {\n    return Call(1610809344, "
      "DISPATCH_PROPERTYPUTREF, NoResult(), {In<VT_DISPATCH>(p0)});",
  };
  for (const char* entry : kEntries) EXPECT_NE(glue.find(entry), std::string::npos) << entry;
}

// widl's header declares the enumerations in one scope, where two of them
// share member names and some members are Windows macros: every member is
// renamed while the header is read, and the macros come back afterwards.
TEST(WriteInterfacesHeader, RenamesEveryEnumerationMember) {
  InitializeLibrary();
  const std::string header = WriteInterfacesHeader(Catalogue::Instance(), "keystrel10_h.h");
  EXPECT_NE(header.find("#include \"keystrel10_h.h\""), std::string::npos);
  for (const EnumInfo* e : Catalogue::Instance().Enums()) {
    for (const auto& member : e->members) {
      const std::string name = UToUtf8(member.first);
      EXPECT_NE(header.find("#define " + name + " KEYSTREL10_ENUMERATOR(" + name + ")"),
                std::string::npos)
          << name;
      EXPECT_LT(header.find("#include \"keystrel10_h.h\""),
                header.find("#pragma pop_macro(\"" + name + "\")"))
          << name;
    }
  }
  EXPECT_EQ(Count(header, "#pragma push_macro(\"REG_SZ\")"), 1);
}

}  // namespace
}  // namespace keystrel::com
