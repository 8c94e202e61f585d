#include <pelagon/platform/resources.h>

#include <gtest/gtest.h>

namespace win {
namespace {

TEST(ResourcesTest, StringsAreFoundByIdAndCopiedWithinTheBuffer) {
  EXPECT_EQ(LoadStringResource(1), "English");
  EXPECT_EQ(LoadStringResource(16), "Arabic");
  EXPECT_EQ(LoadStringResource(17), std::nullopt);

  char buffer[5] = "xxxx";
  EXPECT_EQ(LoadStringA(2, buffer, sizeof buffer), 4);
  EXPECT_STREQ(buffer, "Chin");
  EXPECT_EQ(LoadStringA(12345, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(LoadStringA(1, buffer, 0), 0);
  EXPECT_EQ(LoadStringA(1, nullptr, 10), 0);
}

}  // namespace
}  // namespace win
