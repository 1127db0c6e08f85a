// Test programs that run work on oneTBB join its worker threads before they
// exit, as the command does: a worker still winding down while the process
// exits races with the leak checker, which stops every thread at exit.
#include <gtest/gtest.h>

#include <new>

#include <oneapi/tbb/global_control.h>

namespace {

class JoinTbbWorkers : public ::testing::Environment {
 public:
  void SetUp() override { workers_ = tbb::task_scheduler_handle{tbb::attach{}}; }
  void TearDown() override { (void)tbb::finalize(workers_, std::nothrow); }

 private:
  tbb::task_scheduler_handle workers_;
};

::testing::Environment* const joinTbbWorkers =
    ::testing::AddGlobalTestEnvironment(new JoinTbbWorkers);

}  // namespace
