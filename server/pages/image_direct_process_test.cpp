#include "server/pages/image_direct_process.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "common/config/md5_hex.h"
#include "platform/testing/test_folder.h"
#include "server/catalogue/testing/settle_catalogue.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/testing/test_services.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& v) {
  return std::string(v.begin(), v.end());
}

// A gallery with a few pictures and an archive, catalogued, behind /image and the 404 handler.
class ImageDirectProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    jpeg_ = JpegFile(NoisePicture(300, 200));
    folder_.Write("a.jpg", Bytes(jpeg_));
    folder_.Write("b.gif", "GIF89a-not-really");
    folder_.Write("photo.JPG", Bytes(CameraJpeg()));
    folder_.Write("small.png", Bytes(PngFile(NoisePicture(40, 40))));
    folder_.Write("wide.png", Bytes(PngFile(NoisePicture(600, 400))));
    folder_.Write("scan.bmp", Bytes(BmpFile(NoisePicture(600, 400))));
    folder_.Write("m.jpg", Bytes(jpeg_));
    SetTime("a.jpg", 1707296703);  // Wed, 07 Feb 2024 09:05:03 GMT
    std::string zip = "cd " + folder_.Root() +
                      " && mkdir dir && mv m.jpg dir/ && zip -q -X z.zip dir/m.jpg && rm -r dir";
    ASSERT_EQ(std::system(zip.c_str()), 0);

    catalogue_ = std::make_unique<ImageCatalogue>(&pool_, services_.files);
    catalogue_->SetFolders({folder_.Root()});
    catalogue_->Rescan();
    test_support::SettleCatalogue(catalogue_.get());
    ASSERT_EQ(catalogue_->CurrentList()->size(), 7u);

    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CImageDirectProcess>(
        *catalogue_, services_.files, services_.thumbnails, services_.renditions, &pool_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  // A camera's picture: 4000 x 3000 (in flat colours, so it is quick to make and small).
  static const std::vector<uint8_t>& CameraJpeg() {
    static const std::vector<uint8_t> jpeg = JpegFile(QuadrantPicture(
        4000, 3000, 3,
        {Rgba{200, 40, 40, 255}, {40, 200, 40, 255}, {40, 40, 200, 255}, {240, 240, 240, 255}}));
    return jpeg;
  }

  void SetTime(const std::string& name, int64_t seconds) {
    auto when = std::filesystem::file_time_type::clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(seconds)));
    std::filesystem::last_write_time(folder_.Path(name), when);
  }

  // Name-order position of the image whose path ends in `suffix`.
  int Position(const std::string& suffix) {
    auto orders = catalogue_->orders().Current();
    for (size_t i = 0; i < orders->Size(ListOrder::Name); ++i) {
      const std::string_view path = orders->At(ListOrder::Name, i).path;
      if (path.size() >= suffix.size() &&
          path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Dispatches a GET and waits for the worker's response.
  std::string Get(const std::string& target, const std::string& headers = "") {
    server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::string posted;
    while ((posted = server_.Posted()).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return posted;
  }

  std::string Key(const std::string& suffix) { return "1-N-" + std::to_string(Position(suffix)); }

  static std::string Header(const std::string& response, const std::string& name) {
    std::smatch m;
    std::regex_search(response, m, std::regex(name + ": ([^\r]*)\r\n"));
    return m.size() > 1 ? m[1].str() : "";
  }
  static std::string Body(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
  }
  // Bodies are compared by digest so a failure does not print a picture.
  static std::string BodyDigest(const std::string& response) { return MD5Hex(Body(response)); }

  TestFolder folder_;
  std::vector<uint8_t> jpeg_;
  TestServices services_;
  MySystem::CThreadMgr pool_{2};
  std::unique_ptr<ImageCatalogue> catalogue_;
  ResponseCapture server_;
};

TEST_F(ImageDirectProcessTest, HeaderBlockByteForByte) {
  std::string response = Get("/image?page=" + Key("/a.jpg"));
  std::string path = folder_.Path("a.jpg");
  std::u16string wide(path.begin(), path.end());  // the test folder's path is ASCII
  std::string tag =
      MD5Hex(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  std::string expected_head =
      "HTTP/1.1 200 OK\r\n"
      "Cache-Control: max-age=0\r\n"
      "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
      "Connection: Close\r\n"
      "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
      "Content-Disposition: filename*=utf-8''%61%2E%6A%70%67\r\n"
      "Last-Modified: Wed, 07 Feb 2024 09:05:03 GMT\r\n"
      "ETag: \"" +
      tag +
      "\"\r\n"
      "Content-Type: image/jpeg\r\n"
      "Content-Length: " +
      std::to_string(jpeg_.size()) +
      "\r\n"
      "X-Content-Type-Options: nosniff\r\n"
      "X-Frame-Options: SAMEORIGIN\r\n\r\n";
  std::string head = response.substr(0, response.find("\r\n\r\n") + 4);
  head = std::regex_replace(head, std::regex("'nonce-[A-Za-z0-9+/]{22}=='"), "'nonce-NONCE'");
  EXPECT_EQ(head, expected_head);
  EXPECT_EQ(BodyDigest(response), MD5Hex(Bytes(jpeg_)));
}

// Small pictures go out from memory shared with the file cache, large ones from the file
// itself; the bytes are the same either way.
TEST_F(ImageDirectProcessTest, LargePlainFilesAreSentFromTheFile) {
  const std::string large(kSendFromFileBytes, 'L');
  folder_.Write("large.jpg", large);
  s_message from_file =
      Http1Message(ImageFileResponse(*catalogue_, services_.files, services_.thumbnails,
                                     services_.renditions, folder_.Path("large.jpg"), {}, {}, "n"));
  ASSERT_NE(from_file.file, nullptr);
  EXPECT_EQ(from_file.body, nullptr);
  EXPECT_NE(from_file.bytes.find("\r\nContent-Length: " + std::to_string(large.size()) + "\r\n"),
            std::string::npos);
  std::string read(large.size(), '\0');
  EXPECT_EQ(pread(from_file.file->handle(), read.data(), read.size(), 0),
            static_cast<ssize_t>(large.size()));
  EXPECT_TRUE(read == large);

  s_message from_memory =
      Http1Message(ImageFileResponse(*catalogue_, services_.files, services_.thumbnails,
                                     services_.renditions, folder_.Path("a.jpg"), {}, {}, "n"));
  EXPECT_EQ(from_memory.file, nullptr);
  ASSERT_NE(from_memory.body, nullptr);
  EXPECT_TRUE(*from_memory.body == jpeg_);
}

// What memory holds is answered without a worker, byte for byte as a worker would answer it;
// anything that needs a read, a reduction or an archive is left to a worker.
TEST_F(ImageDirectProcessTest, QuickAnswersAreTheWorkersBytesFromMemoryOnly) {
  folder_.Write("large.jpg", std::string(kSendFromFileBytes, 'L'));
  ImageForm thumbnail;
  thumbnail.shrink = 1;
  struct Case {
    std::string name;
    ImageForm form;
    bool quick_when_cold;  // before any worker answered it
    bool quick_when_warm;
  };
  const Case cases[] = {
      {"a.jpg", {}, false, true},
      {"a.jpg", thumbnail, false, true},
      {"small.png", thumbnail, false, true},  // known to be sent as stored
      {"large.jpg", {}, false, false},
      {"z.zip|/dir/m.jpg", {}, false, false},
      {"z.zip|/dir/m.jpg", thumbnail, false, false},
  };
  auto quick = [&](const std::string& path, const ImageForm& form,
                   const ImageValidators& validators, Response* out) {
    return QuickImageFileResponse(*catalogue_, services_.files, services_.thumbnails,
                                  services_.renditions, path, validators, form, "n", out);
  };
  auto full = [&](const std::string& path, const ImageForm& form,
                  const ImageValidators& validators) {
    return Http1Text(ImageFileResponse(*catalogue_, services_.files, services_.thumbnails,
                                       services_.renditions, path, validators, form, "n"));
  };
  for (const Case& c : cases) {
    const std::string path = folder_.Path(c.name);
    Response answer;
    EXPECT_EQ(quick(path, c.form, {}, &answer), c.quick_when_cold) << c.name;
    const std::string expected = full(path, c.form, {});
    ASSERT_EQ(quick(path, c.form, {}, &answer), c.quick_when_warm) << c.name;
    if (c.quick_when_warm) {
      EXPECT_TRUE(Http1Text(answer) == expected) << c.name;
    }
  }

  // A 304 needs only the file's status.
  const std::string first = full(folder_.Path("b.gif"), {}, {});
  ImageValidators validators;
  validators.if_modified_since = Header(first, "Last-Modified");
  validators.if_none_match = Header(first, "ETag").substr(1, 32);
  Response not_modified;
  ASSERT_TRUE(quick(folder_.Path("b.gif"), {}, validators, &not_modified));
  EXPECT_EQ(Http1Text(not_modified), full(folder_.Path("b.gif"), {}, validators));
  EXPECT_EQ(not_modified.status(), "304 Not modified");

  // A rewritten file is a new version: nothing of the old one is answered from memory.
  folder_.Write("a.jpg", Bytes(JpegFile(NoisePicture(200, 100))));
  SetTime("a.jpg", 1707296800);
  Response stale;
  EXPECT_FALSE(quick(folder_.Path("a.jpg"), {}, {}, &stale));
  EXPECT_FALSE(quick(folder_.Path("a.jpg"), thumbnail, {}, &stale));

  // Through the handler: once warm, the answer is there when the dispatch returns.
  const std::string key = Key("small.png");
  Get("/image?page=" + key);
  EXPECT_EQ(BodyDigest(server_.Dispatch("GET /image?page=" + key + " HTTP/1.1\r\n\r\n")),
            MD5Hex(folder_.Read("small.png")));
}

TEST_F(ImageDirectProcessTest, ZipMemberServedWithItsExactBytes) {
  std::string response = Get("/image?page=" + Key("z.zip|/dir/m.jpg"));
  EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(BodyDigest(response), MD5Hex(Bytes(jpeg_)));
  // The member's file name, without the folder it has in the archive.
  EXPECT_EQ(Header(response, "Content-Disposition"), "filename*=utf-8''%6D%2E%6A%70%67");
  EXPECT_FALSE(Header(response, "Last-Modified").empty());
}

TEST_F(ImageDirectProcessTest, ValidatorsGive304OnlyWhenBothMatch) {
  std::string key = Key("/a.jpg");
  std::string first = Get("/image?page=" + key);
  std::string date = Header(first, "Last-Modified"), tag = Header(first, "ETag");
  struct Case {
    std::string headers;
    std::string status;
  };
  const Case cases[] = {
      {"If-None-Match: " + tag + "\r\n", "HTTP/1.1 200 OK"},
      {"If-Modified-Since: " + date + "\r\n", "HTTP/1.1 200 OK"},
      {"If-Modified-Since: " + date + "\r\nIf-None-Match: " + tag + "\r\n",
       "HTTP/1.1 304 Not modified"},
      {"if-modified-since: " + date + "\r\nIf-None-Match: W/" + tag + "\r\n",
       "HTTP/1.1 304 Not modified"},
      {"If-Modified-Since: Thu, 08 Feb 2024 09:05:03 GMT\r\nIf-None-Match: " + tag + "\r\n",
       "HTTP/1.1 200 OK"},
  };
  for (const Case& c : cases) {
    std::string response = Get("/image?page=" + key, c.headers);
    EXPECT_EQ(response.substr(0, c.status.size()), c.status) << c.headers;
    if (c.status.find("304") != std::string::npos) {
      EXPECT_EQ(Header(response, "Content-Length"), "0");
      EXPECT_EQ(Header(response, "ETag"), tag);
      EXPECT_EQ(Header(response, "Last-Modified"), date);
    }
  }
}

TEST_F(ImageDirectProcessTest, ContentTypesAndShrink) {
  // A camera's upper-case JPG is a JPEG: its thumbnail is a JPEG 150 pixels wide.
  std::string camera = Get("/image?page=" + Key("photo.JPG") + "&shrink=1");
  EXPECT_EQ(Header(camera, "Content-Type"), "image/jpeg");
  std::string thumbnail = Body(camera);
  DecodedFile decoded = DecodeFile(std::vector<uint8_t>(thumbnail.begin(), thumbnail.end()));
  ASSERT_TRUE(decoded.ok);
  EXPECT_TRUE(IsJpegFile(std::vector<uint8_t>(thumbnail.begin(), thumbnail.end())));
  EXPECT_EQ(decoded.width, 150);
  EXPECT_EQ(decoded.height, 112);
  EXPECT_EQ(Header(camera, "Content-Length"), std::to_string(thumbnail.size()));
  EXPECT_EQ(BodyDigest(Get("/image?page=" + Key("photo.JPG"))), MD5Hex(Bytes(CameraJpeg())));

  std::string gif = Get("/image?page=" + Key("b.gif") + "&shrink=1");
  EXPECT_EQ(Header(gif, "Content-Type"), "image/gif");
  EXPECT_EQ(Body(gif), "GIF89a-not-really");

  struct Case {
    std::string shrink;
    bool reduced;
  };
  for (const Case& c : {Case{"1", true}, Case{"01x", true}, Case{"2", false}, Case{"", false}}) {
    std::string response = Get("/image?page=" + Key("/a.jpg") + "&shrink=" + c.shrink);
    std::string body = Body(response);
    DecodedFile decoded = DecodeFile(std::vector<uint8_t>(body.begin(), body.end()));
    ASSERT_TRUE(decoded.ok) << c.shrink;
    EXPECT_EQ(decoded.width, c.reduced ? 150 : 300) << c.shrink;
    EXPECT_EQ(Header(response, "Content-Length"), std::to_string(body.size()));
  }
  // A picture narrower than a thumbnail goes out as stored.
  std::string small = Get("/image?page=" + Key("small.png") + "&shrink=1");
  EXPECT_EQ(BodyDigest(small), MD5Hex(folder_.Read("small.png")));
}

// A thumbnail of a picture without transparency is a JPEG, and says so, whatever the file is.
TEST_F(ImageDirectProcessTest, OpaqueThumbnailsAreJpegs) {
  for (const char* name : {"wide.png", "scan.bmp"}) {
    const std::string response = Get("/image?page=" + Key(name) + "&shrink=1");
    const std::string body = Body(response);
    EXPECT_EQ(Header(response, "Content-Type"), "image/jpeg") << name;
    EXPECT_TRUE(IsJpegFile(std::vector<uint8_t>(body.begin(), body.end()))) << name;
    EXPECT_EQ(DecodeFile(std::vector<uint8_t>(body.begin(), body.end())).width, 150) << name;
  }
}

// `width` asks for the screen rendition that covers it; without it the picture goes out as
// stored. A thumbnail wins over a rendition; pictures no wider, and GIFs, go out as stored.
TEST_F(ImageDirectProcessTest, ScreenRenditionsByWidth) {
  struct Case {
    std::string name, query;
    int width;  // 0: the stored bytes
  };
  const Case cases[] = {
      {"photo.JPG", "&width=1000", 1080},
      {"photo.JPG", "&width=1080", 1080},
      {"photo.JPG", "&width=1", 640},
      {"photo.JPG", "&width=9999", 2400},
      {"photo.JPG", "&width=0", 0},
      {"photo.JPG", "&width=x", 0},
      {"photo.JPG", "", 0},
      {"photo.JPG", "&width=640&shrink=1", 150},
      {"wide.png", "&width=640", 0},
      {"b.gif", "&width=640", 0},
  };
  for (const Case& c : cases) {
    const std::string response = Get("/image?page=" + Key(c.name) + c.query);
    EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n") << c.name << c.query;
    const std::string body = Body(response);
    if (c.width == 0) {
      EXPECT_EQ(BodyDigest(response), MD5Hex(folder_.Read(c.name))) << c.name << c.query;
      continue;
    }
    EXPECT_EQ(Header(response, "Content-Type"), "image/jpeg") << c.name << c.query;
    const DecodedFile decoded = DecodeFile(std::vector<uint8_t>(body.begin(), body.end()));
    EXPECT_EQ(decoded.width, c.width) << c.name << c.query;
    EXPECT_EQ(decoded.height, c.width * 3 / 4) << c.name << c.query;
  }
  // Made once each (1080 is asked for twice; the PNG is tried once and kept as stored).
  EXPECT_EQ(services_.renditions.Reductions(), 4u);
}

TEST_F(ImageDirectProcessTest, KeysThatNameNoImageEndAt404) {
  const std::regex not_found("HTTP/1\\.1 404 Not Found\r\nContent-Length: 0\r\n[^]*");
  for (const char* key : {"", "1-N", "1-N-7", "1-N-99999999999", "1-D-99"}) {
    std::string response =
        server_.Dispatch(std::string("GET /image?page=") + key + " HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(std::regex_match(response, not_found)) << key << ": " << response.substr(0, 40);
  }
  // A thumbnail-page key reads as order code "1" (name order) and position "N" (0).
  EXPECT_EQ(BodyDigest(Get("/image?page=T-1-N-0")), BodyDigest(Get("/image?page=1-N-0")));
  // A fourth field, as the direct link writes, is ignored.
  EXPECT_EQ(BodyDigest(Get("/image?page=" + Key("/a.jpg") + "-img")), MD5Hex(Bytes(jpeg_)));
  // The word narrows the order: position 0 of "small" is small.png.
  EXPECT_EQ(BodyDigest(Get("/image?page=1-N-0&word=small")), MD5Hex(folder_.Read("small.png")));
}

TEST_F(ImageDirectProcessTest, VanishedFileGets404WithEmptyBody) {
  std::string key = Key("/a.jpg");
  std::filesystem::remove(folder_.Path("a.jpg"));
  std::string response = Get("/image?page=" + key);
  EXPECT_EQ(response.substr(0, 24), "HTTP/1.1 404 Not Found\r\n");
  EXPECT_EQ(Header(response, "Content-Length"), "0");
  EXPECT_EQ(Header(response, "ETag"), "\"\"");
  EXPECT_EQ(Body(response), "");
}

}  // namespace
