#include "server/app/keep_awake.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records what KeepAwake asks of the lock; `grant` decides whether Acquire succeeds.
class RecordingLock : public SleepLock {
 public:
  RecordingLock(std::string* calls, bool grant) : calls_(calls), grant_(grant) {}
  bool Acquire() override {
    *calls_ += "acquire ";
    return grant_;
  }
  void Release() override { *calls_ += "release "; }

 private:
  std::string* calls_;
  bool grant_;
};

constexpr int64_t kQuiet = KeepAwake::kQuietMs;

TEST(KeepAwakeTest, HeldFromTheFirstRequestUntilAQuietMinute) {
  std::string calls;
  KeepAwake keep(1, std::make_unique<RecordingLock>(&calls, true));
  keep.OnTurn(1000, false);
  EXPECT_EQ(calls, "");
  keep.OnTurn(2000, true);
  keep.OnTurn(3000, true);
  EXPECT_EQ(calls, "acquire ");
  keep.OnTurn(3000 + kQuiet - 1, false);
  EXPECT_TRUE(keep.held());
  keep.OnTurn(3000 + kQuiet, false);
  EXPECT_FALSE(keep.held());
  EXPECT_EQ(calls, "acquire release ");
  keep.OnTurn(3000 + kQuiet + 5, true);
  EXPECT_EQ(calls, "acquire release acquire ");
}

TEST(KeepAwakeTest, WithoutLogindAsksAgainOnlyOnceAQuietPeriod) {
  std::string calls;
  KeepAwake keep(1, std::make_unique<RecordingLock>(&calls, false));
  keep.OnTurn(0, true);
  keep.OnTurn(10, true);
  keep.OnTurn(kQuiet - 1, true);
  EXPECT_EQ(calls, "acquire ");
  keep.OnTurn(kQuiet, true);
  EXPECT_EQ(calls, "acquire acquire ");
  EXPECT_FALSE(keep.held());
}

TEST(KeepAwakeTest, ValuesOtherThanOneLeaveTheSystemAlone) {
  for (uint32_t value : {0u, 2u}) {
    std::string calls;
    KeepAwake keep(value, std::make_unique<RecordingLock>(&calls, true));
    keep.OnTurn(0, true);
    keep.OnTurn(kQuiet, false);
    EXPECT_EQ(calls, "") << value;
  }
}

TEST(KeepAwakeTest, ReleasedWhenTheServerGoes) {
  std::string calls;
  {
    KeepAwake keep(1, std::make_unique<RecordingLock>(&calls, true));
    keep.OnTurn(0, true);
  }
  EXPECT_EQ(calls, "acquire release ");
}

}  // namespace
