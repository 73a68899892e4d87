// The least a catalogue that needs every file's size and time can spend on a warm tree: lists
// each folder and reads the status of each of its entries, with one thread per core taking
// folders from a shared queue, and nothing else (no names kept, no list formed). Prints the
// seconds it took and the files it read.
//
// Usage: status_floor FOLDER
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// Folders still to list; a thread waits while others may yet add some.
class FolderQueue {
 public:
  explicit FolderQueue(std::string root) { folders_.push_back(std::move(root)); }

  bool Take(std::string* folder) {
    std::unique_lock<std::mutex> hold(lock_);
    ready_.wait(hold, [&] { return !folders_.empty() || busy_ == 0; });
    if (folders_.empty()) return false;
    *folder = std::move(folders_.back());
    folders_.pop_back();
    ++busy_;
    return true;
  }

  void Done(std::vector<std::string>* found) {
    std::lock_guard<std::mutex> hold(lock_);
    for (std::string& folder : *found) folders_.push_back(std::move(folder));
    found->clear();
    --busy_;
    ready_.notify_all();
  }

 private:
  std::mutex lock_;
  std::condition_variable ready_;
  std::vector<std::string> folders_;
  int busy_ = 0;
};

uint64_t ListFolder(const std::string& path, std::vector<std::string>* subfolders) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    close(fd);
    return 0;
  }
  uint64_t files = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name == "." || name == "..") continue;
    struct stat st;
    if (fstatat(fd, entry->d_name, &st, 0) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      subfolders->push_back(path + "/" + entry->d_name);
    } else if (S_ISREG(st.st_mode)) {
      ++files;
    }
  }
  closedir(dir);
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: status_floor FOLDER\n");
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  FolderQueue queue(argv[1]);
  std::atomic<uint64_t> files{0};
  std::vector<std::thread> threads;
  const unsigned count = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned t = 0; t < count; ++t) {
    threads.emplace_back([&] {
      std::string folder;
      std::vector<std::string> found;
      while (queue.Take(&folder)) {
        files += ListFolder(folder, &found);
        queue.Done(&found);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  std::printf("%.2f %llu\n", took.count(), static_cast<unsigned long long>(files.load()));
  return 0;
}
