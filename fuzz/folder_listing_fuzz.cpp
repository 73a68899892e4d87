// Input: a script that builds a small tree in a fresh temporary folder (folders, files, ZIP
// archives, FIFOs, and symbolic links to any of them, to folders above them, to themselves or
// to nothing, written absolute or relative), then lists it with the catalogue's scan.
//
// The scan must end, and must list exactly the pictures in the folders reachable from the
// configured ones (through links too), each once: a folder reached twice, through a loop or
// two links, is listed the first time only. A picture is identified by its real folder and
// its name (and its member name inside an archive), whatever path led to it.
//
// Byte 0: bit 0 recursive, bit 1 archives rejected, bit 2 a second configured folder.
// Then three bytes per step: what to make, in which folder, and what it is.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <tuple>
#include <vector>

#include "server/catalogue/folder_tree.h"
#include "server/catalogue/member_path.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxSteps = 48;
constexpr const char* kExtensions[] = {".jpg", ".PNG", ".txt", ".zip", ".jpg_large", ""};
constexpr const char* kMemberName = "inside/m.jpg";

struct Node {
  fs::path path;
  bool folder;
};

// (folder device, folder inode, name, member name or "")
using PictureId = std::tuple<uint64_t, uint64_t, std::string, std::string>;

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void Le(std::string* out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(static_cast<char>(value >> (8 * i)));
}

// A ZIP archive holding one stored member, kMemberName.
std::string TinyZip() {
  const std::string name = kMemberName, data = "picture bytes";
  const uint32_t crc = Crc32(data);
  std::string zip;
  Le(&zip, 0x04034b50, 4);
  for (uint32_t v : {20u, 0u, 0u, 0u, 0x21u}) Le(&zip, v, 2);
  for (uint32_t v : {crc, uint32_t(data.size()), uint32_t(data.size())}) Le(&zip, v, 4);
  Le(&zip, uint32_t(name.size()), 2);
  Le(&zip, 0, 2);
  zip += name + data;
  const uint32_t directory = uint32_t(zip.size());
  Le(&zip, 0x02014b50, 4);
  for (uint32_t v : {20u, 20u, 0u, 0u, 0u, 0x21u}) Le(&zip, v, 2);
  for (uint32_t v : {crc, uint32_t(data.size()), uint32_t(data.size())}) Le(&zip, v, 4);
  for (uint32_t v : {uint32_t(name.size()), 0u, 0u, 0u, 0u}) Le(&zip, v, 2);
  Le(&zip, 0, 4);  // external attributes
  Le(&zip, 0, 4);  // local header offset
  zip += name;
  const uint32_t directory_size = uint32_t(zip.size()) - directory;
  Le(&zip, 0x06054b50, 4);
  for (uint32_t v : {0u, 0u, 1u, 1u}) Le(&zip, v, 2);
  Le(&zip, directory_size, 4);
  Le(&zip, directory, 4);
  Le(&zip, 0, 2);
  return zip;
}

void WriteText(const fs::path& path, const std::string& text) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

// Builds the tree the script describes under `base`; returns the configured folders.
std::vector<fs::path> BuildTree(const fs::path& base, const uint8_t* data, size_t size,
                                uint8_t flags) {
  std::vector<Node> nodes = {{base / "root", true}, {base / "beside", true}, {base, true}};
  fs::create_directory(nodes[0].path);
  fs::create_directory(nodes[1].path);
  std::vector<size_t> folders = {0, 1};
  for (size_t step = 0; step < kMaxSteps && 3 * step + 3 <= size; ++step) {
    const uint8_t what = data[3 * step], where = data[3 * step + 1], kind = data[3 * step + 2];
    const fs::path parent = nodes[folders[where % folders.size()]].path;
    const std::string stem = "n" + std::to_string(step);
    const std::string extension = kExtensions[kind % std::size(kExtensions)];
    std::error_code error;
    switch (what % 4) {
      case 0:
        fs::create_directory(parent / stem, error);
        if (!error) {
          folders.push_back(nodes.size());
          nodes.push_back({parent / stem, true});
        }
        break;
      case 1: {
        const fs::path path = parent / (stem + extension);
        WriteText(path, kind & 0x80 ? TinyZip() : std::string("not a zip"));
        nodes.push_back({path, false});
        break;
      }
      case 2: {
        // The target: any node (the temporary folder itself included), the link itself, or
        // nothing.
        const size_t choice = (kind >> 3) % (nodes.size() + 2);
        const fs::path path = parent / (stem + extension);
        const fs::path target = choice < nodes.size()    ? nodes[choice].path
                                : choice == nodes.size() ? path
                                                         : parent / "missing";
        const bool relative = what & 0x80;
        fs::create_symlink(relative ? target.lexically_relative(parent) : target, path, error);
        if (!error) nodes.push_back({path, false});
        break;
      }
      case 3:
        mkfifo((parent / (stem + extension)).c_str(), 0600);
        break;
    }
  }
  std::vector<fs::path> configured = {nodes[0].path};
  if (flags & 4) {
    const uint8_t which = size > 0 ? data[size - 1] : 0;
    configured.push_back(nodes[folders[which % folders.size()]].path);
  }
  return configured;
}

bool FolderOf(const fs::path& folder, uint64_t* device, uint64_t* inode) {
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return false;
  *device = st.st_dev;
  *inode = st.st_ino;
  return true;
}

// The pictures of the folders reachable from `configured`, found without the scan's code.
std::set<PictureId> Expected(const std::vector<fs::path>& configured, bool recursive,
                             bool zip_reject) {
  std::set<PictureId> pictures;
  std::set<std::pair<uint64_t, uint64_t>> seen;
  std::vector<fs::path> queue(configured);
  for (size_t next = 0; next < queue.size(); ++next) {
    uint64_t device = 0, inode = 0;
    if (!FolderOf(queue[next], &device, &inode) || !seen.insert({device, inode}).second) continue;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(queue[next], error)) {
      const std::string name = entry.path().filename();
      std::error_code ignored;
      if (entry.is_directory(ignored)) {
        if (recursive) queue.push_back(entry.path());
      } else if (entry.is_regular_file(ignored)) {
        const bool archive = !zip_reject && entry.path().extension() == ".zip";
        if (archive && entry.file_size(ignored) > 100) {
          pictures.insert({device, inode, name, kMemberName});
        } else if (!archive && IsImagePath("/" + name)) {
          pictures.insert({device, inode, name, ""});
        }
      }
    }
  }
  return pictures;
}

PictureId Identify(std::string_view listed) {
  std::string archive, member;
  const bool in_archive = SplitMemberPath(listed, &archive, &member);
  const fs::path path = in_archive ? fs::path(archive) : fs::path(listed);
  uint64_t device = 0, inode = 0;
  if (!FolderOf(path.parent_path(), &device, &inode)) std::abort();  // listed what is not there
  return {device, inode, path.filename(), member};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  const bool recursive = flags & 1, zip_reject = flags & 2;
  std::random_device random;
  const fs::path base = fs::temp_directory_path() /
                        ("lv_listing_" + std::to_string(random()) + "." + std::to_string(random()));
  fs::create_directory(base);
  const std::vector<fs::path> configured = BuildTree(base, data + 1, size - 1, flags);

  FolderTree tree(SIZE_MAX);
  std::vector<std::string> folders;
  for (const fs::path& folder : configured) folders.push_back(folder.string());
  tree.Refresh(folders, ListingOptions{recursive, zip_reject}, true, nullptr, 0);
  std::vector<ImageEntry> pictures;
  ArchiveCache archives;
  tree.Form(&pictures, &archives);

  std::set<PictureId> listed;
  for (const ImageEntry& entry : pictures) {
    if (!listed.insert(Identify(entry.path)).second) std::abort();  // listed twice
  }
  if (listed != Expected(configured, recursive, zip_reject)) std::abort();
  fs::remove_all(base);
  return 0;
}
