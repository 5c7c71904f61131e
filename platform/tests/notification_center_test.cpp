#include "platform/notification_center.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(NotificationCenter, ObserversByNameAndOwner) {
  sys::NotificationCenter center;
  std::vector<std::string> heard;
  int a = 0, b = 0;
  center.addObserver(&a, "key", [&] { heard.push_back("a key"); });
  center.addObserver(&b, "key", [&] { heard.push_back("b key"); });
  center.addObserver(&a, "resign", [&] { heard.push_back("a resign"); });
  center.post("key");
  center.post("other");
  EXPECT_EQ(heard, (std::vector<std::string>{"a key", "b key"}));
  EXPECT_EQ(center.observerCount("key"), 2u);
  EXPECT_EQ(center.observerCount("key", &a), 1u);

  center.removeObserver(&a, "key");
  heard.clear();
  center.post("key");
  center.post("resign");
  EXPECT_EQ(heard, (std::vector<std::string>{"b key", "a resign"}));

  center.removeObserver(&a);  // every name
  EXPECT_EQ(center.observerCount("resign"), 0u);
  EXPECT_EQ(center.observerCount("key"), 1u);
}

TEST(NotificationCenter, ObserversChangingTheListDuringAPost) {
  sys::NotificationCenter center;
  int a = 0, b = 0, c = 0;
  std::vector<std::string> heard;
  // a removes b (not called any more) and adds c (called from the next post on).
  center.addObserver(&a, "n", [&] {
    heard.push_back("a");
    center.removeObserver(&b);
    if (center.observerCount("n", &c) == 0) center.addObserver(&c, "n", [&] { heard.push_back("c"); });
  });
  center.addObserver(&b, "n", [&] { heard.push_back("b"); });
  center.post("n");
  EXPECT_EQ(heard, (std::vector<std::string>{"a"}));
  heard.clear();
  center.post("n");
  EXPECT_EQ(heard, (std::vector<std::string>{"a", "c"}));

  // An observer that removes itself finishes its own call safely.
  sys::NotificationCenter other;
  int calls = 0;
  other.addObserver(&a, "n", [&] { ++calls; other.removeObserver(&a); });
  other.post("n");
  other.post("n");
  EXPECT_EQ(calls, 1);
}

}  // namespace
