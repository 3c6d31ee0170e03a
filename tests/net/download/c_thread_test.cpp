#include "net/download/c_thread.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

namespace quillbox::net {
namespace {

class Worker final : public CThread {
  public:
    ~Worker() override { Join(); }

    std::atomic<bool> release{false};
    std::string order;
    std::uint32_t seen = 0;

  protected:
    std::int32_t Run(std::uint32_t parameter) override {
        order += "run,";
        seen = parameter;
        while (!release.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 42;
    }
    void BeforeRun() override { order += "before,"; }
    void AfterRun() override { order += "after"; }
};

TEST(CThreadTest, RunsTheHooksInOrderAndKeepsRunsValueForJoin) {
    Worker worker;
    ASSERT_TRUE(worker.Start(7));
    EXPECT_FALSE(worker.Start(8));  // one thread per object at a time
    worker.release = true;
    EXPECT_EQ(worker.Join(), 42);
    EXPECT_FALSE(worker.IsActive());
    EXPECT_EQ(worker.order, "before,run,after");
    EXPECT_EQ(worker.seen, 7u);
    EXPECT_EQ(worker.Join(), 42);  // joining again keeps the exit code
}

TEST(CThreadTest, DestroyingARunningWorkerWaitsForIt) {
    std::atomic<bool> ended{false};
    {
        Worker worker;
        ASSERT_TRUE(worker.Start(0));
        std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            ended = true;
            worker.release = true;
        }).detach();
    }
    EXPECT_TRUE(ended.load());
}

}  // namespace
}  // namespace quillbox::net
