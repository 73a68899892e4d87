#include "server/catalogue/ordered_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "server/catalogue/list_positions.h"

namespace {

ImageEntry Entry(std::string_view path, int64_t time) {
  ImageEntry e;
  e.path = SharedPath(path);
  e.lastWriteTime = time;
  return e;
}

std::vector<std::string> Paths(const OrderSet& orders, ListOrder order) {
  std::vector<std::string> paths;
  for (size_t p = 0; p < orders.Size(order); ++p) paths.emplace_back(orders.At(order, p).path);
  return paths;
}

// Two folders /p/x and /p/y with three images each, times chosen so that the oldest of each
// folder is not its first by name.
std::vector<ImageEntry> TwoFolders() {
  std::vector<ImageEntry> list = {
      Entry("/p/y/c.jpg", 10), Entry("/p/x/a.jpg", 50), Entry("/p/x/b.jpg", 20),
      Entry("/p/y/a.jpg", 60), Entry("/p/x/c.jpg", 40), Entry("/p/y/b.jpg", 30),
  };
  PositionList(&list, false);
  return list;
}

TEST(OrderedListsTest, BuildsNameDateAndFolderOrders) {
  OrderedLists lists;
  lists.BuildOrders(TwoFolders());
  std::shared_ptr<const OrderSet> orders = lists.Current();
  EXPECT_EQ(Paths(*orders, ListOrder::Name),
            (std::vector<std::string>{"/p/x/a.jpg", "/p/x/b.jpg", "/p/x/c.jpg", "/p/y/a.jpg",
                                      "/p/y/b.jpg", "/p/y/c.jpg"}));
  EXPECT_EQ(Paths(*orders, ListOrder::Date),
            (std::vector<std::string>{"/p/y/c.jpg", "/p/x/b.jpg", "/p/y/b.jpg", "/p/x/c.jpg",
                                      "/p/x/a.jpg", "/p/y/a.jpg"}));
  EXPECT_EQ(Paths(*orders, ListOrder::FolderTopByName),
            (std::vector<std::string>{"/p/x/a.jpg", "/p/y/a.jpg"}));
  EXPECT_EQ(Paths(*orders, ListOrder::FolderTopByDate),
            (std::vector<std::string>{"/p/x/b.jpg", "/p/y/c.jpg"}));
  EXPECT_EQ(orders->Size(ListOrder::Likes), 0u);
  // Every entry knows its own positions.
  for (size_t p = 0; p < orders->Size(ListOrder::Name); ++p) {
    const ImageEntry& e = orders->At(ListOrder::Name, p);
    EXPECT_EQ(e.namePos, p);
    EXPECT_EQ(orders->At(ListOrder::Date, e.datePos).path, e.path);
    EXPECT_EQ(orders->At(ListOrder::FolderTopByName, e.folderIndex).path.substr(0, 5),
              e.path.substr(0, 5));
  }
  EXPECT_EQ(orders->At(ListOrder::Name, 4).folderIndex, 1);
}

TEST(OrderedListsTest, NameOrderFollowsSortWindows) {
  std::vector<ImageEntry> list = {Entry("/p/a10.jpg", 1), Entry("/p/a2.jpg", 2),
                                  Entry("/p/a1.jpg", 3), Entry("/p/a/b.jpg", 4),
                                  Entry("/p/z.jpg", 5)};
  for (bool logical : {false, true}) {
    std::vector<ImageEntry> positioned = list;
    PositionList(&positioned, logical);
    OrderedLists lists;
    lists.BuildOrders(positioned);
    const std::vector<std::string> expected =
        logical ? std::vector<std::string>{"/p/a1.jpg", "/p/a2.jpg", "/p/a10.jpg", "/p/z.jpg",
                                           "/p/a/b.jpg"}
                : std::vector<std::string>{"/p/a1.jpg", "/p/a10.jpg", "/p/a2.jpg", "/p/z.jpg",
                                           "/p/a/b.jpg"};
    EXPECT_EQ(Paths(*lists.Current(), ListOrder::Name), expected) << logical;
  }
}

TEST(OrderedListsTest, SortsFoldersDifferingOnlyInCaseWithoutHarm) {
  // With the logical comparison these names are not consistently ordered; the sort must still
  // produce a permutation.
  std::vector<ImageEntry> list;
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i % 7);
    list.push_back(Entry((i % 2 ? "/p/" : "/P/") + n + ".jpg", i));
    list.push_back(Entry("/p/" + n + "/x" + std::to_string(i) + ".jpg", i));
  }
  PositionList(&list, true);
  std::vector<bool> seen(list.size());
  for (const ImageEntry& e : list) seen.at(e.namePos) = true;
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), static_cast<long>(list.size()));
}

TEST(OrderedListsTest, SearchTable) {
  std::vector<ImageEntry> list = {
      Entry("/srv/pics/ねこ.jpg", 1),
      Entry("/srv/pics/cat and dog.png", 2),
      Entry("/srv/pics/cat.PNG", 3),
      Entry("/srv/other/dog.jpg", 4),
      Entry("/srv/pics/a.zip|/dog cat.gif", 5),
      Entry("/home/x/ネコ犬.webp", 6),
  };
  PositionList(&list, false);
  OrderedLists lists;
  lists.BuildOrders(list);
  struct Case {
    const char* word;
    std::vector<std::string> found;  // in name order
  };
  const Case cases[] = {
      {"ネコ", {"/home/x/ネコ犬.webp", "/srv/pics/ねこ.jpg"}},
      {"ＰＮＧ", {"/srv/pics/cat and dog.png", "/srv/pics/cat.PNG"}},
      {"cat dog", {"/srv/pics/cat and dog.png", "/srv/pics/a.zip|/dog cat.gif"}},
      {"cat\u3000dog", {"/srv/pics/cat and dog.png", "/srv/pics/a.zip|/dog cat.gif"}},
      {"pics",
       {"/srv/pics/cat and dog.png", "/srv/pics/cat.PNG", "/srv/pics/ねこ.jpg",
        "/srv/pics/a.zip|/dog cat.gif"}},
      {"bird", {}},
      // A word found in the folder, the other in the name; words reaching across the last
      // "/"; never across two names of one folder.
      {"dog other", {"/srv/other/dog.jpg"}},
      {"pics/cat", {"/srv/pics/cat and dog.png", "/srv/pics/cat.PNG"}},
      {"x/ね", {"/home/x/ネコ犬.webp"}},
      {"zip|/dog", {"/srv/pics/a.zip|/dog cat.gif"}},
      {"png/cat", {}},
      {"pngcat", {}},
  };
  for (const Case& c : cases) {
    FilteredView view = lists.View(ListOrder::Name, c.word);
    std::vector<std::string> found;
    ImageEntry e;
    for (uint32_t i = 0; i < view.Count(); ++i) {
      ASSERT_TRUE(view.Get(i, &e));
      found.emplace_back(e.path);
    }
    EXPECT_EQ(found, c.found) << c.word;
    EXPECT_FALSE(view.Get(view.Count(), &e));
    EXPECT_FALSE(view.Get(-1, &e));
    EXPECT_EQ(lists.Search(ListOrder::Name, c.word).size(), c.found.size());
  }
  EXPECT_EQ(lists.View(ListOrder::Date, "").Count(), 6u);
  EXPECT_EQ(lists.Search(ListOrder::Date, ""), (std::vector<uint32_t>{0, 1, 2, 3, 4, 5}));
  // Other orders give their own positions, ascending: by date, the images of 2, 4 and 5.
  EXPECT_EQ(lists.Search(ListOrder::Date, "dog"), (std::vector<uint32_t>{1, 3, 4}));
  EXPECT_EQ(lists.Search(ListOrder::FolderTopByName, "srv"), (std::vector<uint32_t>{1, 2, 3}));
}

TEST(OrderedListsTest, PagesOfAHundred) {
  EXPECT_EQ(MakePages(250), (PageList{{0, 100}, {100, 100}, {200, 50}}));
  EXPECT_EQ(MakePages(100), (PageList{{0, 100}}));
  EXPECT_EQ(MakePages(101), (PageList{{0, 100}, {100, 1}}));
  EXPECT_TRUE(MakePages(0).empty());

  std::vector<ImageEntry> list;
  for (int i = 0; i < 300; ++i)
    list.push_back(Entry("/p/" + std::to_string(i) + (i < 250 ? ".jpg" : ".png"), i));
  PositionList(&list, true);
  OrderedLists lists;
  lists.BuildOrders(list);
  EXPECT_EQ(lists.MakePages(ListOrder::Name, "jpg"), (PageList{{0, 100}, {100, 100}, {200, 50}}));
  EXPECT_TRUE(lists.MakePages(ListOrder::Name, "gif").empty());
}

TEST(OrderedListsTest, GetAtOnTheUnnarrowedOrder) {
  OrderedLists lists;
  ImageEntry e;
  EXPECT_FALSE(lists.GetAt(ListOrder::Name, 0, &e));
  lists.BuildOrders(TwoFolders());
  ASSERT_TRUE(lists.GetAt(ListOrder::FolderTopByDate, 1, &e));
  EXPECT_EQ(e.path, "/p/y/c.jpg");
  EXPECT_FALSE(lists.GetAt(ListOrder::FolderTopByDate, 2, &e));
  EXPECT_FALSE(lists.GetAt(ListOrder::Name, -1, &e));
}

TEST(OrderedListsTest, LikesReplacedOnItsOwnAndKeptByBuildOrders) {
  OrderedLists lists;
  lists.BuildOrders(TwoFolders());
  lists.SetLikes({Entry("/p/y/b.jpg", 30), Entry("/p/x/a.jpg", 50)});
  EXPECT_EQ(Paths(*lists.Current(), ListOrder::Likes),
            (std::vector<std::string>{"/p/y/b.jpg", "/p/x/a.jpg"}));
  EXPECT_EQ(lists.View(ListOrder::Likes, "x/").Count(), 1u);
  lists.BuildOrders(TwoFolders());
  EXPECT_EQ(lists.Current()->Size(ListOrder::Likes), 2u);
}

TEST(OrderedListsTest, HeldVersionSurvivesReplacement) {
  OrderedLists lists;
  lists.BuildOrders(TwoFolders());
  FilteredView view = lists.View(ListOrder::Name, "y");
  lists.BuildOrders({});
  EXPECT_EQ(lists.Current()->Size(ListOrder::Name), 0u);
  ImageEntry e;
  ASSERT_EQ(view.Count(), 3u);
  ASSERT_TRUE(view.Get(2, &e));
  EXPECT_EQ(e.path, "/p/y/c.jpg");
}

TEST(OrderedListsTest, ReadersSeeWholeVersionsWhileTheLoopReplaces) {
  std::vector<ImageEntry> small = TwoFolders();
  std::vector<ImageEntry> large;
  for (int i = 0; i < 50; ++i) large.push_back(Entry("/q/" + std::to_string(i) + ".jpg", i));
  PositionList(&large, false);
  OrderedLists lists;
  lists.BuildOrders(small);
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      std::shared_ptr<const OrderSet> v = lists.Current();
      const size_t n = v->Size(ListOrder::Name);
      if ((n != 6 && n != 50) || v->Size(ListOrder::Date) != n) ++torn;
    }
  });
  for (int i = 0; i < 200; ++i) lists.BuildOrders(i % 2 ? small : large);
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

}  // namespace
