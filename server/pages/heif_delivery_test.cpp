// /image for HEIC and AVIF pictures: as stored to browsers that name the type, as a JPEG
// rendition to the others; thumbnails; validators; the original for saving.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "common/config/md5_hex.h"
#include "platform/testing/test_folder.h"
#include "server/catalogue/testing/settle_catalogue.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pages/image_direct_process.h"
#include "server/pages/testing/test_services.h"
#include "server/pictures/testing/heif_files.h"
#include "server/pictures/testing/test_pictures.h"

namespace {

const Rgba kRed = {230, 20, 20, 255};
const Rgba kGreen = {20, 200, 20, 255};
const Rgba kBlue = {20, 20, 230, 255};
const Rgba kWhite = {250, 250, 250, 255};

// What browsers send for an <img>: Chromium and Firefox name AVIF, Safari HEIC as well.
constexpr char kChromium[] =
    "Accept: image/avif,image/webp,image/apng,image/svg+xml,image/*,*/*;q=0.8\r\n";
constexpr char kSafari[] =
    "Accept: image/webp,image/avif,image/jxl,image/heic,image/heic-sequence,video/*;q=0.8,"
    "image/png,image/svg+xml,image/*;q=0.8,*/*;q=0.5\r\n";

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// A phone's folder: a HEIC turned by its EXIF entry, an AVIF turned by its container, a HEIC
// in a ZIP archive, and a damaged and a hostile one; 400 x 300 as stored.
class HeifDeliveryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const Picture stored = QuadrantPicture(400, 300, 3, {kRed, kGreen, kBlue, kWhite});
    heic_ = new std::string(Text(HeicFile(stored, {.exif_orientation = 6})));
    avif_ = new std::string(Text(AvifFile(stored, {.quarter_turns = 1})));
  }
  static void TearDownTestSuite() {
    delete heic_;
    delete avif_;
  }

  void SetUp() override {
    ASSERT_FALSE(heic_->empty());
    ASSERT_FALSE(avif_->empty());
    folder_.Write("IMG_0001.HEIC", *heic_);
    folder_.Write("PXL_0003.avif", *avif_);
    folder_.Write("cut.heic", heic_->substr(0, heic_->size() / 2));
    const std::vector<uint8_t> heic(heic_->begin(), heic_->end());
    folder_.Write("huge.heic", Text(WithDeclaredSize(heic, 60000)));
    folder_.Write("IMG_0002.heic", *heic_);
    const std::string zip = "cd " + folder_.Root() +
                            " && mkdir dir && mv IMG_0002.heic dir/ && zip -q -X z.zip "
                            "dir/IMG_0002.heic && rm -r dir";
    ASSERT_EQ(std::system(zip.c_str()), 0);

    catalogue_ = std::make_unique<ImageCatalogue>(&pool_, services_.files);
    catalogue_->SetFolders({folder_.Root()});
    catalogue_->Rescan();
    test_support::SettleCatalogue(catalogue_.get());
    ASSERT_EQ(catalogue_->CurrentList()->size(), 5u);
    std::vector<std::unique_ptr<CRequestProcess>> handlers;
    handlers.push_back(std::make_unique<CImageDirectProcess>(
        *catalogue_, services_.files, services_.thumbnails, services_.renditions, &pool_));
    handlers.push_back(std::make_unique<C404rocess>());
    server_.SetHandlers(std::move(handlers));
  }

  std::string Key(const std::string& suffix) {
    auto orders = catalogue_->orders().Current();
    for (size_t i = 0; i < orders->Size(ListOrder::Name); ++i) {
      const std::string_view path = orders->At(ListOrder::Name, i).path;
      if (path.size() >= suffix.size() && path.ends_with(suffix)) {
        return "1-N-" + std::to_string(i);
      }
    }
    return "none";
  }

  std::string Get(const std::string& target, const std::string& headers = "") {
    server_.Dispatch("GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::string posted;
    while ((posted = server_.Posted()).empty() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return posted;
  }

  static std::string Header(const std::string& response, const std::string& name) {
    std::smatch m;
    std::regex_search(response, m, std::regex(name + ": ([^\r]*)\r\n"));
    return m.size() > 1 ? m[1].str() : "";
  }
  static std::string Body(const std::string& response) {
    return response.substr(response.find("\r\n\r\n") + 4);
  }
  static DecodedFile Decoded(const std::string& response) {
    const std::string body = Body(response);
    return DecodeFile(std::vector<uint8_t>(body.begin(), body.end()));
  }
  // Both pictures show 300 x 400 (3:4): the HEIC turned clockwise (blue at the top left,
  // white at the bottom left), the AVIF anticlockwise (green at the top left, red below).
  static void ExpectUpright(const DecodedFile& out, int width, bool heic, const std::string& what) {
    ASSERT_TRUE(out.ok) << what;
    EXPECT_EQ(out.width, width) << what;
    EXPECT_EQ(out.height, width * 4 / 3) << what;
    const Rgba top_left = heic ? kBlue : kGreen, bottom_left = heic ? kWhite : kRed;
    EXPECT_TRUE(NearColour(out.At(2, 2), top_left)) << what;
    EXPECT_TRUE(NearColour(out.At(2, out.height - 3), bottom_left)) << what;
  }

  static std::string* heic_;
  static std::string* avif_;
  TestFolder folder_;
  TestServices services_;
  MySystem::CThreadMgr pool_{2};
  std::unique_ptr<ImageCatalogue> catalogue_;
  ResponseCapture server_;
};
std::string* HeifDeliveryTest::heic_ = nullptr;
std::string* HeifDeliveryTest::avif_ = nullptr;

TEST_F(HeifDeliveryTest, RenditionHeaderBlockByteForByte) {
  const std::string response = Get("/image?page=" + Key("/IMG_0001.HEIC"), kChromium);
  const std::string path = folder_.Path("IMG_0001.HEIC");
  const std::u16string wide(path.begin(), path.end());  // the test folder's path is ASCII
  const std::string tag =
      MD5Hex(std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
  std::string head = response.substr(0, response.find("\r\n\r\n") + 4);
  head = std::regex_replace(head, std::regex("'nonce-[A-Za-z0-9+/]{22}=='"), "'nonce-NONCE'");
  head = std::regex_replace(head, std::regex("Last-Modified: [^\r]*"), "Last-Modified: DATE");
  EXPECT_EQ(head,
            "HTTP/1.1 200 OK\r\n"
            "Cache-Control: max-age=0\r\n"
            "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
            "Connection: Close\r\n"
            "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
            "Content-Disposition: filename*=utf-8''%49%4D%47%5F%30%30%30%31%2E%6A%70%67\r\n"
            "Last-Modified: DATE\r\n"
            "ETag: \"" +
                tag +
                "-jpeg\"\r\n"
                "Content-Type: image/jpeg\r\n"
                "Vary: Accept\r\n"
                "Content-Length: " +
                std::to_string(Body(response).size()) +
                "\r\n"
                "X-Content-Type-Options: nosniff\r\n"
                "X-Frame-Options: SAMEORIGIN\r\n\r\n");
}

TEST_F(HeifDeliveryTest, StoredOrRenditionByAccept) {
  struct Case {
    const char* file;
    const char* accept;
    bool as_stored;
  } cases[] = {
      {"/IMG_0001.HEIC", kSafari, true},     {"/IMG_0001.HEIC", kChromium, false},
      {"/IMG_0001.HEIC", "", false},         {"/PXL_0003.avif", kChromium, true},
      {"/PXL_0003.avif", kSafari, true},     {"/PXL_0003.avif", "Accept: */*\r\n", false},
      {"/dir/IMG_0002.heic", kSafari, true}, {"/dir/IMG_0002.heic", kChromium, false},
  };
  for (const Case& c : cases) {
    const std::string what = std::string(c.file) + " " + c.accept;
    const bool heic = std::string(c.file).find("heic") != std::string::npos ||
                      std::string(c.file).find("HEIC") != std::string::npos;
    const std::string response = Get("/image?page=" + Key(c.file), c.accept);
    EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n") << what;
    EXPECT_EQ(Header(response, "Vary"), "Accept") << what;
    if (c.as_stored) {
      EXPECT_EQ(Header(response, "Content-Type"), heic ? "image/heic" : "image/avif") << what;
      EXPECT_TRUE(Body(response) == (heic ? *heic_ : *avif_)) << what;
    } else {
      EXPECT_EQ(Header(response, "Content-Type"), "image/jpeg") << what;
      EXPECT_NE(Header(response, "Content-Disposition").find("%2E%6A%70%67"), std::string::npos)
          << what;  // ".jpg"
      ExpectUpright(Decoded(response), 300, heic, what);
    }
  }
  // The rendition was made once per picture, however often it was asked for.
  EXPECT_EQ(services_.renditions.Reductions(), 3u);
}

TEST_F(HeifDeliveryTest, ThumbnailsAreUprightJpegsForEveryBrowser) {
  for (const char* file : {"/IMG_0001.HEIC", "/PXL_0003.avif", "/dir/IMG_0002.heic"}) {
    for (const char* accept : {kSafari, kChromium}) {
      const std::string what = std::string(file) + " " + accept;
      const std::string response = Get("/image?shrink=1&page=" + Key(file), accept);
      EXPECT_EQ(Header(response, "Content-Type"), "image/jpeg") << what;
      EXPECT_EQ(Header(response, "Vary"), "") << what;
      ExpectUpright(Decoded(response), 150, std::string(file) != "/PXL_0003.avif", what);
    }
  }
}

// A screen width asks for a JPEG whatever the browser accepts: the pictures here are narrower
// than the smallest screen rendition, so they come as their full-size JPEG, never as stored.
TEST_F(HeifDeliveryTest, ScreenWidthsAreJpegsForEveryBrowser) {
  for (const char* file : {"/IMG_0001.HEIC", "/PXL_0003.avif"}) {
    for (const char* accept : {kSafari, kChromium, ""}) {
      const std::string what = std::string(file) + " " + accept;
      const std::string response = Get("/image?width=640&page=" + Key(file), accept);
      EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n") << what;
      EXPECT_EQ(Header(response, "Content-Type"), "image/jpeg") << what;
      EXPECT_EQ(Header(response, "Vary"), "") << what;
      ExpectUpright(Decoded(response), 300, std::string(file) == "/IMG_0001.HEIC", what);
    }
  }
}

TEST_F(HeifDeliveryTest, ValidatorsOfBothForms) {
  const std::string target = "/image?page=" + Key("/IMG_0001.HEIC");
  for (const char* accept : {kSafari, kChromium}) {
    const std::string first = Get(target, accept);
    const std::string validators = "If-Modified-Since: " + Header(first, "Last-Modified") +
                                   "\r\nIf-None-Match: " + Header(first, "ETag") + "\r\n";
    const std::string again = Get(target, accept + validators);
    EXPECT_EQ(again.substr(0, 27), "HTTP/1.1 304 Not modified\r\n") << accept;
    EXPECT_EQ(Header(again, "Content-Length"), "0") << accept;
    EXPECT_EQ(Header(again, "Vary"), "Accept") << accept;
    EXPECT_EQ(Header(again, "ETag"), Header(first, "ETag")) << accept;
    EXPECT_EQ(Header(again, "Content-Type"), Header(first, "Content-Type")) << accept;
    // The other form's validators do not stand for this one.
    const std::string other = Get(target, (accept == kSafari ? kChromium : kSafari) + validators);
    EXPECT_EQ(other.substr(0, 17), "HTTP/1.1 200 OK\r\n") << accept;
  }
}

TEST_F(HeifDeliveryTest, OriginalIsSentAsStoredForSaving) {
  const std::string response = Get("/image?original=1&page=" + Key("/IMG_0001.HEIC"), kChromium);
  EXPECT_EQ(Header(response, "Content-Type"), "image/heic");
  EXPECT_EQ(Header(response, "Content-Disposition"),
            "attachment; filename*=utf-8''%49%4D%47%5F%30%30%30%31%2E%48%45%49%43");
  EXPECT_EQ(Header(response, "Vary"), "");
  EXPECT_TRUE(Body(response) == *heic_);
}

// A damaged picture and one that claims 60000 x 60000 pixels are sent as stored, at once.
TEST_F(HeifDeliveryTest, DamagedAndHostileAreSentAsStored) {
  for (const char* file : {"/cut.heic", "/huge.heic"}) {
    const std::string stored = folder_.Read(std::string(file).substr(1));
    for (const char* shrink : {"", "shrink=1&"}) {
      const std::string what = std::string(file) + " " + shrink;
      const std::string response =
          Get("/image?" + std::string(shrink) + "page=" + Key(file), kChromium);
      EXPECT_EQ(response.substr(0, 17), "HTTP/1.1 200 OK\r\n") << what;
      EXPECT_EQ(Header(response, "Content-Type"), "image/heic") << what;
      EXPECT_TRUE(Body(response) == stored) << what;
    }
  }
}

}  // namespace
