// The inhibitor against a stand-in for logind on a private message bus.
#include "platform/sleep_inhibitor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/mutex.h"
#include "platform/testing/test_folder.h"

namespace {

// A private dbus-daemon, named as the system bus for this process while it lives.
class PrivateBus {
 public:
  explicit PrivateBus(const std::string& socket_path) {
    address_ = "unix:path=" + socket_path;
    pid_ = fork();
    if (pid_ == 0) {
      execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile",
             ("--address=" + address_).c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && access(socket_path.c_str(), F_OK) != 0; ++i) usleep(10000);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address_.c_str(), 1);
  }
  ~PrivateBus() {
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  const std::string& address() const { return address_; }

 private:
  std::string address_;
  pid_t pid_ = -1;
};

// Answers Inhibit as logind does: with the writing end of a pipe whose closing ends the lock.
class FakeLogind {
 public:
  explicit FakeLogind(const std::string& address) {
    sd_bus_new(&bus_);
    sd_bus_set_address(bus_, address.c_str());
    sd_bus_set_bus_client(bus_, 1);
    sd_bus_negotiate_fds(bus_, 1);
    sd_bus_start(bus_);
    sd_bus_add_object_vtable(bus_, nullptr, "/org/freedesktop/login1",
                             "org.freedesktop.login1.Manager", kVtable, this);
    sd_bus_request_name(bus_, "org.freedesktop.login1", 0);
    thread_ = std::thread([this] {
      while (running_) {
        while (sd_bus_process(bus_, nullptr) > 0) {
        }
        sd_bus_wait(bus_, 20000);
      }
    });
  }
  ~FakeLogind() {
    running_ = false;
    thread_.join();
    sd_bus_flush_close_unref(bus_);
    if (lock_read_end_ >= 0) close(lock_read_end_);
  }

  // "what|who|why|mode" of the last Inhibit call.
  std::string request() {
    platform::MutexLock hold(&mutex_);
    return request_;
  }
  // Hangs up when the caller releases the lock.
  int lock_read_end() {
    platform::MutexLock hold(&mutex_);
    return lock_read_end_;
  }

 private:
  static int Inhibit(sd_bus_message* call, void* self_pointer, sd_bus_error*) {
    auto* self = static_cast<FakeLogind*>(self_pointer);
    const char *what, *who, *why, *mode;
    sd_bus_message_read(call, "ssss", &what, &who, &why, &mode);
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return -errno;
    {
      platform::MutexLock hold(&self->mutex_);
      self->request_ = std::string(what) + "|" + who + "|" + why + "|" + mode;
      self->lock_read_end_ = ends[0];
    }
    int result = sd_bus_reply_method_return(call, "h", ends[1]);
    close(ends[1]);
    return result;
  }
  static constexpr sd_bus_vtable kVtable[] = {
      SD_BUS_VTABLE_START(0),
      SD_BUS_METHOD("Inhibit", "ssss", "h", Inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
      SD_BUS_VTABLE_END,
  };

  platform::Mutex mutex_;
  std::string request_ GUARDED_BY(mutex_);
  int lock_read_end_ GUARDED_BY(mutex_) = -1;
  sd_bus* bus_ = nullptr;
  std::atomic<bool> running_{true};
  std::thread thread_;
};

bool HungUp(int fd) {
  pollfd watch = {fd, POLLIN, 0};
  return poll(&watch, 1, 2000) == 1 && (watch.revents & POLLHUP) != 0;
}

TEST(SleepInhibitorTest, HoldsLogindsLockUntilReleased) {
  TestFolder folder;
  PrivateBus bus(folder.Path("bus"));
  FakeLogind logind(bus.address());
  platform::SleepInhibitor inhibitor;
  ASSERT_TRUE(inhibitor.Acquire("Lumenvale", "Pictures are being served"));
  EXPECT_TRUE(inhibitor.held());
  EXPECT_EQ(logind.request(), "idle:sleep|Lumenvale|Pictures are being served|block");
  ASSERT_GE(logind.lock_read_end(), 0);
  pollfd watch = {logind.lock_read_end(), POLLIN, 0};
  EXPECT_EQ(poll(&watch, 1, 0), 0);  // still held
  inhibitor.Release();
  EXPECT_FALSE(inhibitor.held());
  EXPECT_TRUE(HungUp(logind.lock_read_end()));
}

TEST(SleepInhibitorTest, WithoutLogindNothingIsHeld) {
  TestFolder folder;
  setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + folder.Path("none")).c_str(), 1);
  platform::SleepInhibitor inhibitor;
  EXPECT_FALSE(inhibitor.Acquire("Lumenvale", "Pictures are being served"));
  EXPECT_FALSE(inhibitor.held());
  unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
