#include "server/threads/thread_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/test_eventually.h"
#include "platform/testing/test_latch.h"
#include "server/threads/testing/gate_job.h"

namespace {

// What the jobs of one test write down, in the order they ran.
class Journal {
 public:
  void Note(const std::string& what) {
    std::lock_guard<std::mutex> hold(lock_);
    entries_.push_back(what);
  }
  std::vector<std::string> Entries() {
    std::lock_guard<std::mutex> hold(lock_);
    return entries_;
  }

 private:
  std::mutex lock_;
  std::vector<std::string> entries_;
};

// Notes its name on each run; asks to run again `extra_runs` times; counts its deletion.
class NoteJob : public CThreadCommand {
 public:
  NoteJob(Journal* journal, std::string name, TestLatch* done, int extra_runs = 0,
          int* deleted = nullptr)
      : journal_(journal),
        name_(std::move(name)),
        done_(done),
        extra_runs_(extra_runs),
        deleted_(deleted) {}
  ~NoteJob() override {
    if (deleted_ != nullptr) ++*deleted_;
    done_->count_down();
  }
  int Run() override {
    journal_->Note(name_);
    return extra_runs_-- > 0 ? 1 : 0;
  }

 private:
  Journal* journal_;
  std::string name_;
  TestLatch* done_;
  int extra_runs_;
  int* deleted_;
};

TEST(ThreadMgrTest, SmallerPriorityFirstThenPostingOrder) {
  Journal journal;
  TestLatch started(1), gate(1), done(5);
  MySystem::CThreadMgr pool(1);
  pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
  started.wait();
  pool.Post(std::make_unique<NoteJob>(&journal, "scan-a", &done), 50);
  pool.Post(std::make_unique<NoteJob>(&journal, "scan-b", &done), 50);
  pool.Post(std::make_unique<NoteJob>(&journal, "request-a", &done), 0);
  pool.Post(std::make_unique<NoteJob>(&journal, "scan-c", &done), 50);
  pool.Post(std::make_unique<NoteJob>(&journal, "request-b", &done), 0);
  gate.count_down();
  done.wait();
  EXPECT_EQ(journal.Entries(),
            (std::vector<std::string>{"request-a", "request-b", "scan-a", "scan-b", "scan-c"}));
}

TEST(ThreadMgrTest, RepostedJobRunsAfterItsPeersQueuedBeforeIt) {
  Journal journal;
  TestLatch started(1), gate(1), done(4);
  int deleted = 0;
  MySystem::CThreadMgr pool(1);
  pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
  started.wait();
  pool.Post(std::make_unique<NoteJob>(&journal, "again", &done, 1, &deleted), 10);
  pool.Post(std::make_unique<NoteJob>(&journal, "b", &done), 10);
  pool.Post(std::make_unique<NoteJob>(&journal, "c", &done), 10);
  pool.Post(std::make_unique<NoteJob>(&journal, "later", &done), 20);
  gate.count_down();
  done.wait();
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"again", "b", "c", "again", "later"}));
  EXPECT_EQ(deleted, 1);
}

// Runs a fixed number of times, recording whether it was still alive for each run.
class CountedJob : public CThreadCommand {
 public:
  CountedJob(int* runs, int* deletions_seen_at_run, int* deleted, TestLatch* done)
      : runs_(runs), seen_(deletions_seen_at_run), deleted_(deleted), done_(done) {}
  ~CountedJob() override {
    ++*deleted_;
    done_->count_down();
  }
  int Run() override {
    *seen_ += *deleted_;
    return ++*runs_ < 3 ? 1 : 0;
  }

 private:
  int* runs_;
  int* seen_;
  int* deleted_;
  TestLatch* done_;
};

TEST(ThreadMgrTest, JobDeletedOnceAfterItsLastRun) {
  int runs = 0, seen = 0, deleted = 0;
  TestLatch done(1);
  MySystem::CThreadMgr pool(2);
  pool.Post(std::make_unique<CountedJob>(&runs, &seen, &deleted, &done), 0);
  done.wait();
  EXPECT_EQ(runs, 3);
  EXPECT_EQ(seen, 0);  // never deleted before a run
  EXPECT_EQ(deleted, 1);
}

// Records the id that Post stamped on it.
class StampJob : public CThreadCommand {
 public:
  StampJob(std::vector<int32_t>* ids, TestLatch* done) : ids_(ids), done_(done) {}
  ~StampJob() override { done_->count_down(); }
  int Run() override {
    ids_->push_back(job_id());
    return ids_->size() < 2 ? 1 : 0;
  }

 private:
  std::vector<int32_t>* ids_;
  TestLatch* done_;
};

TEST(ThreadMgrTest, RepostTakesNewId) {
  std::vector<int32_t> ids;
  TestLatch done(1);
  MySystem::CThreadMgr pool(1);
  pool.Post(std::make_unique<StampJob>(&ids, &done), 7);
  done.wait();
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2}));
}

TEST(ThreadMgrTest, RunningJobsCountsJobsInsideRun) {
  TestLatch started(2), gate(1);
  MySystem::CThreadMgr pool(2);
  EXPECT_EQ(pool.RunningJobs(), 0);
  pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
  pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
  started.wait();
  EXPECT_EQ(pool.RunningJobs(), 2);
  gate.count_down();
}

TEST(ThreadMgrTest, DestructionFinishesTheQueueFirst) {
  Journal journal;
  TestLatch started(1), gate(1), done(3);
  {
    MySystem::CThreadMgr pool(1);
    pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
    started.wait();
    for (const char* name : {"x", "y", "z"})
      pool.Post(std::make_unique<NoteJob>(&journal, name, &done), 0);
    gate.count_down();
  }
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"x", "y", "z"}));
}

TEST(ThreadMgrTest, DepartedClientDropsOnlyItsQueuedJobs) {
  Journal journal;
  TestLatch started(1), gate(1), done(5);
  int deleted = 0;
  MySystem::CThreadMgr pool(1);
  // Three clients and a fourth one whose job is running.
  const int first = 0, second = 0, third = 0, running_client = 0;
  auto running = std::make_unique<GateJob>(&started, &gate);
  running->AnswersClient(&running_client);
  pool.Post(std::move(running), 0);
  started.wait();
  struct Queued {
    const char* name;
    const void* client;  // null: answers no client
    int32_t priority;
  };
  for (const Queued& q : {Queued{"a", &first, 0}, Queued{"b", &second, 0}, Queued{"c", &first, 50},
                          Queued{"d", nullptr, 0}, Queued{"e", &third, 0}}) {
    auto job = std::make_unique<NoteJob>(&journal, q.name, &done, 0, &deleted);
    if (q.client != nullptr) job->AnswersClient(q.client);
    pool.Post(std::move(job), q.priority);
  }
  EXPECT_EQ(pool.DropJobsFor(&first), 2);  // a and c, whatever their priority
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(pool.DropJobsFor(&first), 0);
  EXPECT_EQ(pool.DropJobsFor(&running_client), 0);  // running: it finishes
  EXPECT_EQ(pool.DropJobsFor(nullptr), 0);
  EXPECT_EQ(pool.DropJobsFor(&third), 1);
  EXPECT_EQ(pool.QueuedJobs(), 2u);
  gate.count_down();
  done.wait();
  EXPECT_EQ(journal.Entries(), (std::vector<std::string>{"b", "d"}));
}

// Stop drops what would answer clients, lets the rest finish (a job queued again included),
// waits for the running job, and refuses afterwards whatever would run on no worker.
TEST(ThreadMgrTest, StopDropsAnswersAndWaitsForTheRest) {
  Journal journal;
  TestLatch started(1), gate(1), done(5);
  int deleted = 0;
  MySystem::CThreadMgr pool(1);
  int clients[4];
  auto running = std::make_unique<GateJob>(&started, &gate);
  running->AnswersClient(&clients[0]);
  pool.Post(std::move(running), 0);
  started.wait();
  auto note = [&](const char* name, const int* client, int extra_runs = 0) {
    auto job = std::make_unique<NoteJob>(&journal, name, &done, extra_runs, &deleted);
    if (client != nullptr) job->AnswersClient(client);
    pool.Post(std::move(job), 0);
  };
  note("answer", &clients[1]);
  note("background", nullptr, 1);
  std::thread stopping([&] { pool.Stop(); });
  ASSERT_TRUE(Eventually([&] { return pool.QueuedJobs() == 1; }));  // the answer is gone
  EXPECT_EQ(deleted, 1);
  note("late answer", &clients[2]);  // deleted at once
  EXPECT_EQ(deleted, 2);
  note("late background", nullptr);  // still runs
  EXPECT_EQ(pool.QueuedJobs(), 2u);
  gate.count_down();
  stopping.join();
  EXPECT_EQ(journal.Entries(),
            (std::vector<std::string>{"background", "late background", "background"}));
  EXPECT_EQ(pool.QueuedJobs(), 0u);
  note("after", nullptr);  // no worker is left to run it
  EXPECT_EQ(deleted, 5);
  done.wait();
  EXPECT_EQ(journal.Entries().size(), 3u);
  pool.Stop();  // a second stop changes nothing
}

TEST(ThreadMgrTest, ServerPoolHasAtLeastFourThreads) {
  int expected = std::max(4, static_cast<int>(std::thread::hardware_concurrency()));
  EXPECT_EQ(MySystem::ServerThreadCount(), expected);
  EXPECT_EQ(MySystem::CThreadMgr(MySystem::ServerThreadCount()).ThreadCount(), expected);
}

}  // namespace
