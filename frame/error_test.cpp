#include "frame/error.h"

#include <gtest/gtest.h>

namespace keystrel {
namespace {

TEST(StandardErrorText, KnownNumbers) {
  struct Row {
    std::int32_t number;
    const char16_t* text;
  };
  const Row rows[] = {
      {5, u"Invalid procedure call or argument"},
      {6, u"Overflow"},
      {7, u"Out of memory"},
      {9, u"Subscript out of range"},
      {10, u"This array is fixed or temporarily locked"},
      {11, u"Division by zero"},
      {13, u"Type mismatch"},
      {14, u"Out of string space"},
      {91, u"Object variable or With block variable not set"},
      {94, u"Invalid use of Null"},
      {326, u"Resource with identifier '%' not found"},
      {424, u"Object required"},
      {429, u"ActiveX component can't create object"},
      {438, u"Object doesn't support this property or method"},
      {445, u"Object doesn't support this action"},
      {449, u"Argument not optional"},
      {450, u"Wrong number of arguments or invalid property assignment"},
      {451, u"Property let procedure not defined and property get procedure did not return an "
            u"object"},
      {457, u"This key is already associated with an element of this collection"},
      {0, u"Application-defined or object-defined error"},
      {1000, u"Application-defined or object-defined error"},
      {-2147194455, u"Application-defined or object-defined error"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.number);
    EXPECT_EQ(StandardErrorText(r.number), r.text);
  }
}

TEST(RaiseError, FillsSourceAndDescriptionWhenEmpty) {
  try {
    RaiseError(rt::kTypeMismatch);
    FAIL() << "no throw";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 13);
    EXPECT_EQ(e.source(), u"Keystrel10");
    EXPECT_EQ(e.description(), u"Type mismatch");
    EXPECT_STREQ(e.what(), "13: Type mismatch (Keystrel10)");
  }
}

TEST(RaiseError, KeepsGivenSourceAndDescription) {
  try {
    RaiseError(26001, u"keystrel10.czRegyUtilites", u"Failed to open key 'é'");
    FAIL() << "no throw";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 26001);
    EXPECT_EQ(e.source(), u"keystrel10.czRegyUtilites");
    EXPECT_EQ(e.description(), u"Failed to open key 'é'");
    EXPECT_STREQ(e.what(), "26001: Failed to open key '\xC3\xA9' (keystrel10.czRegyUtilites)");
  }
}

TEST(RaiseError, IsAStdException) {
  EXPECT_THROW(RaiseError(rt::kOverflow), std::exception);
}

}  // namespace
}  // namespace keystrel
