#include "engine/entry_index.h"

#include <gtest/gtest.h>

namespace leafstash {
namespace {

std::string Numbered(char Letter, std::size_t N) {
  std::string text(1, Letter);
  text += std::to_string(N);
  return text;
}

TEST(EntryIndex, FindsInsertsAndErasesAcrossGrowth) {
  std::vector<TURLEntry> entries(5000);
  for (std::size_t i = 0; i < entries.size(); ++i) entries[i].LocalName = Numbered('N', i);
  TEntryIndex index(entries, &TURLEntry::LocalName, true);
  for (std::size_t i = 0; i < entries.size(); ++i) index.Insert(i);
  // Erasing every third entry must leave every other chain whole.
  for (std::size_t i = 0; i < entries.size(); i += 3) index.Erase(i);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto found = index.Find(Numbered('n', i));  // case folded
    if (i % 3 == 0) EXPECT_FALSE(found) << i;
    else EXPECT_EQ(found, i);
  }
  entries[0].LocalName = "renamed";
  index.Insert(0);
  EXPECT_EQ(index.Find("RENAMED"), 0u);
  index.Erase(1);
  index.Erase(1);  // erasing twice does nothing more
  EXPECT_FALSE(index.Find("N1"));
  EXPECT_EQ(index.Find("N2"), 2u);

  TEntryIndex exact(entries, &TURLEntry::LocalName, false);
  exact.Insert(2);
  EXPECT_FALSE(exact.Find("n2"));
  EXPECT_EQ(exact.Find("N2"), 2u);
}

}  // namespace
}  // namespace leafstash
