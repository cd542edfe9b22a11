#include "pre_processor/common/shared_spin_mutex.h"

#include <mutex>
#include <shared_mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace pre_processor {
namespace {

TEST(SharedSpinMutexTest, WritersExcludeEachOtherAndReaders) {
  SharedSpinMutex mutex;
  std::uint64_t counter = 0;  // written only under the exclusive lock
  std::uint64_t torn_reads = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        std::unique_lock lock(mutex);
        ++counter;
        ++counter;
      }
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < 20000; ++i) {
      std::shared_lock lock(mutex);
      if (counter % 2 != 0) ++torn_reads;  // a reader inside a writer's section
    }
  });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 4u * 20000u * 2u);
  EXPECT_EQ(torn_reads, 0u);
}

TEST(SharedSpinMutexTest, TryLockFailsWhileHeld) {
  SharedSpinMutex mutex;
  {
    std::shared_lock reader(mutex);
    EXPECT_FALSE(mutex.try_lock());
    std::shared_lock second_reader(mutex);  // readers share
  }
  ASSERT_TRUE(mutex.try_lock());
  EXPECT_FALSE(mutex.try_lock());
  mutex.unlock();
  EXPECT_TRUE(mutex.try_lock());
  mutex.unlock();
}

}  // namespace
}  // namespace pre_processor
