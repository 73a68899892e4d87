// A client that leaves before its answer is ready: its queued job is dropped unrun, while a
// client that only stops sending still gets the answer of a job already under way.
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/mutex.h"
#include "platform/testing/test_eventually.h"
#include "platform/testing/test_latch.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/threads/testing/gate_job.h"
#include "server/threads/thread_mgr.h"

namespace {

// Notes the jobs that ran.
struct RunLog {
  platform::Mutex lock;
  std::vector<std::string> names GUARDED_BY(lock);
  std::vector<std::string> Names() {
    platform::MutexLock hold(&lock);
    return names;
  }
};

// Answers with its name; with a gate, only once the gate opens.
class AnswerJob : public CThreadCommand {
 public:
  AnswerJob(IncomingRequest request, std::string name, RunLog* log, TestLatch* started,
            TestLatch* gate)
      : request_(std::move(request)),
        name_(std::move(name)),
        log_(log),
        started_(started),
        gate_(gate) {
    AnswersClient(&request_.responder());
  }
  int Run() override {
    {
      platform::MutexLock hold(&log_->lock);
      log_->names.push_back(name_);
    }
    if (gate_ != nullptr) {
      started_->count_down();
      gate_->wait();
    }
    request_.Respond(HttpResponse("200 OK").ContentLength(name_.size()).Finish(name_));
    return 0;
  }

 private:
  IncomingRequest request_;
  std::string name_;
  RunLog* log_;
  TestLatch* started_;
  TestLatch* gate_;
};

// /job?name=... queues an AnswerJob that answers its connection; the name "gated" makes the
// job wait for the gate once it runs.
class JobProcess : public CRequestProcess {
 public:
  JobProcess(MySystem::CThreadMgr* pool, RunLog* log, TestLatch* started, TestLatch* gate)
      : pool_(pool), log_(log), started_(started), gate_(gate) {}
  std::string GetPath() override { return "/job"; }
  int Process(IncomingRequest& request) override {
    const std::string name = request.target().Param("name");
    pool_->Post(std::make_unique<AnswerJob>(request, name, log_, started_,
                                            name == "gated" ? gate_ : nullptr),
                0);
    return 1;
  }

 private:
  MySystem::CThreadMgr* pool_;
  RunLog* log_;
  TestLatch* started_;
  TestLatch* gate_;
};

class CountingServer : public CImageServer {
 public:
  std::atomic<int> hang_ups{0};

 protected:
  bool OnPeerHungUp(const CHttp1Responder& responder) override {
    ++hang_ups;
    return CImageServer::OnPeerHungUp(responder);
  }
};

class DepartedClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<JobProcess>(&pool_, &log_, &started_, &gate_));
    server_.SetHandlers(std::move(handlers));
    server_.SetPool(&pool_);
    ASSERT_TRUE(server_.Start("0"));
    stepping_ = std::make_unique<SteppingThread>(&server_);
  }
  void TearDown() override {
    gate_.count_down();
    stepping_.reset();
  }

  int Send(const std::string& name) {
    int client = ConnectLoopback(server_.ListeningPort());
    EXPECT_TRUE(SendAll(client, "GET /job?name=" + name + " HTTP/1.1\r\nHost: x\r\n\r\n"));
    return client;
  }

  RunLog log_;
  TestLatch started_{1};
  TestLatch gate_{1};
  MySystem::CThreadMgr pool_{1};
  CountingServer server_;
  std::unique_ptr<SteppingThread> stepping_;
};

TEST_F(DepartedClientTest, QueuedJobOfAClientThatLeftNeverRuns) {
  pool_.Post(std::make_unique<GateJob>(&started_, &gate_), 0);  // the only worker is busy
  started_.wait();
  int left = Send("left");
  ASSERT_TRUE(Eventually([&] { return pool_.QueuedJobs() == 1; }));
  CloseClient(left);
  ASSERT_TRUE(Eventually([&] { return pool_.QueuedJobs() == 0; }));
  EXPECT_EQ(server_.hang_ups.load(), 1);

  int stayed = Send("stayed");
  ASSERT_TRUE(Eventually([&] { return pool_.QueuedJobs() == 1; }));
  gate_.count_down();
  EXPECT_EQ(ReadUntilClosed(stayed), "HTTP/1.1 200 OK\r\nContent-Length: 6\r\nX-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\nstayed");
  CloseClient(stayed);
  EXPECT_EQ(log_.Names(), std::vector<std::string>{"stayed"});
}

TEST_F(DepartedClientTest, ClientThatOnlyStopsSendingGetsTheAnswerOfARunningJob) {
  int client = Send("gated");
  started_.wait();  // the job runs and waits for the gate
  ASSERT_EQ(shutdown(client, SHUT_WR), 0);
  ASSERT_TRUE(Eventually([&] { return server_.hang_ups.load() == 1; }));
  gate_.count_down();
  EXPECT_EQ(ReadUntilClosed(client), "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nX-Content-Type-Options: nosniff\r\n"
            "X-Frame-Options: SAMEORIGIN\r\n\r\ngated");
  CloseClient(client);
}

}  // namespace
