// Thumbnail requests whose clients leave before a worker takes them up: on a real pool and
// real loopback sockets, none of them is reduced, and a cheap request behind them is
// answered as soon as a worker is free.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/test_eventually.h"
#include "platform/testing/test_folder.h"
#include "platform/testing/test_latch.h"
#include "server/catalogue/testing/settle_catalogue.h"
#include "server/net/image_server.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/loopback_test_util.h"
#include "server/pages/image_direct_process.h"
#include "server/pages/testing/test_services.h"
#include "server/pictures/testing/test_pictures.h"
#include "server/threads/testing/gate_job.h"

namespace {

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(DepartedThumbnailClientsTest, TwelveLeftBehindDoNotDelayACheapRequest) {
  TestFolder folder;
  // Named so that the large one comes first in name order (position 0).
  const std::string large =
      folder.Write("a_large.jpg", Text(JpegFile(QuadrantPicture(4000, 4000, 3,
                                                                {Rgba{200, 40, 40, 255},
                                                                 {40, 200, 40, 255},
                                                                 {40, 40, 200, 255},
                                                                 {240, 240, 240, 255}}))));
  const std::string cheap = folder.Write("b_cheap.jpg", Text(JpegFile(NoisePicture(300, 200))));
  TestServices services;
  MySystem::CThreadMgr catalogue_pool(1);
  ImageCatalogue catalogue(&catalogue_pool, services.files);
  catalogue.SetFolders({folder.Root()});
  catalogue.Rescan();
  test_support::SettleCatalogue(&catalogue);
  ASSERT_EQ(catalogue.CurrentList()->size(), 2u);

  // The requests' pool, with one worker.
  MySystem::CThreadMgr pool(1);
  TestLatch started(1), gate(1);
  // Opened however the test ends, so that the pool can finish.
  std::shared_ptr<void> open_gate(nullptr, [&](void*) { gate.count_down(); });
  CImageServer server;
  std::vector<std::unique_ptr<CRequestProcess>> handlers;
  handlers.push_back(std::make_unique<CImageDirectProcess>(
      catalogue, services.files, services.thumbnails, services.renditions, &pool));
  handlers.push_back(std::make_unique<C404rocess>());
  server.SetHandlers(std::move(handlers));
  server.SetPool(&pool);
  ASSERT_TRUE(server.Start("0"));
  SteppingThread stepping(&server);
  const int port = server.ListeningPort();

  pool.Post(std::make_unique<GateJob>(&started, &gate), 0);
  started.wait();
  std::vector<int> departed;
  for (int i = 0; i < 12; ++i) {
    departed.push_back(ConnectLoopback(port));
    ASSERT_TRUE(SendAll(departed.back(), "GET /image?page=1-N-0&shrink=1 HTTP/1.1\r\n\r\n"));
  }
  ASSERT_TRUE(Eventually([&] { return pool.QueuedJobs() == 12; }));
  for (int client : departed) CloseClient(client);
  // Dropped while the worker is still held: none of them can have run.
  ASSERT_TRUE(Eventually([&] { return pool.QueuedJobs() == 0; }));

  const uint64_t reductions = services.thumbnails.Reductions();
  int client = ConnectLoopback(port);
  ASSERT_TRUE(SendAll(client, "GET /image?page=1-N-1&shrink=1 HTTP/1.1\r\n\r\n"));
  ASSERT_TRUE(Eventually([&] { return pool.QueuedJobs() == 1; }));
  gate.count_down();
  const std::string answer = ReadUntilClosed(client);
  CloseClient(client);
  EXPECT_EQ(answer.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_NE(answer.find("Content-Type: image/jpeg\r\n"), std::string::npos);
  EXPECT_EQ(services.thumbnails.Reductions(), reductions + 1);  // the cheap one alone
  EXPECT_FALSE(services.thumbnails.Has(large, "image/jpeg", kThumbnail));
  EXPECT_FALSE(services.files.IsCached(large));
  EXPECT_TRUE(services.thumbnails.Has(cheap, "image/jpeg", kThumbnail));
}

}  // namespace
