#include <pelagon/platform/growable_array.h>

#include <gtest/gtest.h>

#include <climits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelagon::test {
namespace {

using win::GrowableArray;

// How much room an append adds to an array that is full at `size` entries.
std::size_t growthAt(int size) {
  GrowableArray<int> array;
  if (size > 0) array.setGrowBy(size);  // lands the storage on exactly `size`
  for (int i = 0; i < size; ++i) array.append(i);
  EXPECT_EQ(array.capacity(), static_cast<std::size_t>(size));
  array.setGrowBy(0);
  array.append(size);
  return array.capacity() - static_cast<std::size_t>(size);
}

TEST(GrowableArrayTest, GrowsByAnEighthBetweenFourAnd1024) {
  EXPECT_EQ(growthAt(0), 4u);
  EXPECT_EQ(growthAt(3), 4u);
  EXPECT_EQ(growthAt(40), 5u);
  EXPECT_EQ(growthAt(100), 12u);
  EXPECT_EQ(growthAt(8000), 1000u);
  EXPECT_EQ(growthAt(8192), 1024u);
  EXPECT_EQ(growthAt(9000), 1024u);

  GrowableArray<int> array;
  std::vector<std::size_t> capacities;
  for (int i = 0; i < 60; ++i) {
    array.append(i);
    if (capacities.empty() || capacities.back() != array.capacity()) capacities.push_back(array.capacity());
  }
  EXPECT_EQ(capacities, (std::vector<std::size_t>{4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 45, 50, 56, 63}));
}

TEST(GrowableArrayTest, FixedStepReplacesTheRuleUntilReset) {
  GrowableArray<int> array;
  array.setGrowBy(10);
  array.append(0);
  EXPECT_EQ(array.capacity(), 10u);
  for (int i = 1; i <= 10; ++i) array.append(i);
  EXPECT_EQ(array.capacity(), 20u);
  for (int i = 11; i < 20; ++i) array.append(i);
  array.setGrowBy(-1);
  array.append(20);
  EXPECT_EQ(array.capacity(), 24u);
}

TEST(GrowableArrayTest, AppendReturnsTheIndexAndAtChecksIt) {
  GrowableArray<std::string> array;
  EXPECT_EQ(array.append("zero"), 0);
  EXPECT_EQ(array.append(std::string("one")), 1);
  EXPECT_EQ(array.append("two"), 2);
  EXPECT_EQ(array.at(1), "one");

  const auto& constant = array;
  for (int bad : {-1, 3, INT_MIN, INT_MAX}) {
    EXPECT_THROW(array.at(bad), std::out_of_range) << bad;
    EXPECT_THROW(constant.at(bad), std::out_of_range) << bad;
    EXPECT_THROW(array.removeAt(bad), std::out_of_range) << bad;
  }
  array.removeAt(0);
  EXPECT_EQ(array, (GrowableArray<std::string>{"one", "two"}));
}

// An array that appends one of its own entries just when it must move its storage.
TEST(GrowableArrayTest, AppendsACopyOfItsOwnEntryWhileGrowing) {
  GrowableArray<std::string> array;
  const std::string first(100, 'a');  // long enough to live on the heap
  array.append(first);
  while (array.size() < static_cast<int>(array.capacity())) array.append(std::string(100, 'b'));
  const int index = array.append(array[0]);
  ASSERT_EQ(index, 4);
  EXPECT_EQ(array[index], first);
}

TEST(GrowableArrayTest, CopiesAreDeepAndIndependent) {
  GrowableArray<std::string> original{"a", "b", "c"};
  GrowableArray<std::string> copy(original);
  GrowableArray<std::string> assigned;
  assigned.append("old");
  assigned = original;
  EXPECT_EQ(copy, original);
  EXPECT_EQ(assigned, original);

  copy[0] = "changed";
  copy.append("d");
  assigned.removeAt(1);
  EXPECT_EQ(original, (GrowableArray<std::string>{"a", "b", "c"}));
}

// Copying fails with bad_alloc once `copiesLeft` reaches zero. It has no move, so growing the
// storage copies the existing entries too.
struct Fragile {
  static inline int copiesLeft = INT_MAX;
  int value;
  explicit Fragile(int v) : value(v) {}
  Fragile(const Fragile& other) : value(other.value) {
    if (copiesLeft-- <= 0) throw std::bad_alloc();
  }
  Fragile& operator=(const Fragile&) = default;
  bool operator==(const Fragile&) const = default;
};

TEST(GrowableArrayTest, ReportsMinusOneAndKeepsItsEntriesWhenMemoryRunsOut) {
  GrowableArray<Fragile> array;
  for (int i = 0; i < 3; ++i) array.append(Fragile(i));
  const GrowableArray<Fragile> before = array;

  // Room is there; the copy of the new entry fails.
  Fragile::copiesLeft = 0;
  EXPECT_EQ(array.append(Fragile(3)), -1);
  EXPECT_EQ(array, before);

  Fragile::copiesLeft = INT_MAX;
  ASSERT_EQ(array.append(Fragile(3)), 3);
  const GrowableArray<Fragile> full = array;
  ASSERT_EQ(array.capacity(), 4u);

  // The array is full; moving the old entries into the larger storage fails halfway.
  Fragile::copiesLeft = 2;
  EXPECT_EQ(array.append(Fragile(4)), -1);
  EXPECT_EQ(array, full);

  Fragile::copiesLeft = INT_MAX;
  EXPECT_EQ(array.append(Fragile(4)), 4);
  EXPECT_EQ(array[4].value, 4);
}

}  // namespace
}  // namespace pelagon::test
