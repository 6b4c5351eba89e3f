#include "com/idl/idl_writer.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

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
  EXPECT_EQ(Count(idl, "  dispinterface "), 2);
  EXPECT_EQ(Count(idl, "v1_enum]"), 8);
  EXPECT_EQ(Count(idl, "appobject"), 1);
  EXPECT_EQ(Count(idl, "noncreatable"), 4);
  // The runtime's own classes stay out of the library.
  EXPECT_EQ(idl.find("coclass Collection"), std::string::npos);
  // Fixed dispatch identifiers: default members and the hidden enumerator.
  EXPECT_NE(idl.find("[id(-4), hidden, restricted] HRESULT NewEnum("), std::string::npos);
  EXPECT_NE(idl.find("[id(0), propget] HRESULT KeyName("), std::string::npos);
  EXPECT_NE(idl.find("[default, source] dispinterface __clsZqRegyHandlerD;"), std::string::npos);
}

}  // namespace
}  // namespace keystrel::com
