#include <gtest/gtest.h>
TEST(HandlerA, Placeholder) {}
