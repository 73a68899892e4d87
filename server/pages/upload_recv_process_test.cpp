#include "server/pages/upload_recv_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/testing/test_folder.h"
#include "server/net/not_found_process.h"
#include "server/net/testing/accounts_process.h"
#include "server/net/testing/response_capture.h"
#include "server/pictures/testing/heif_files.h"
#include "server/pictures/testing/test_pictures.h"
#include "server/upload/multipart_body.h"

namespace {

namespace fs = std::filesystem;

constexpr char kJpegStart[] = "\xFF\xD8\xFF";

struct FilePart {
  std::string field = "userfile";
  std::string disposition_name = "photo.jpg";  // "-" for no filename parameter
  std::string type = "image/jpeg";
  std::string body = std::string(kJpegStart) + "JPEG";
};

std::string Post(const std::vector<FilePart>& parts, const std::string& boundary = "b0UnD") {
  std::string body;
  for (const FilePart& p : parts) {
    body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + p.field + "\"";
    if (p.disposition_name != "-") body += "; filename=\"" + p.disposition_name + "\"";
    body += "\r\n";
    if (!p.type.empty()) body += "Content-Type: " + p.type + "\r\n";
    body += "\r\n" + p.body + "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return "POST /upload.php HTTP/1.1\r\nHost: x\r\n"
         "Content-Type: multipart/form-data; boundary=" +
         boundary + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// The answer with the files' results, from the job that saved them.
std::string JobReply(const std::string& json) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(json.size()) +
         "\r\nConnection: Close\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
         "Content-Type: application/json\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" +
         json;
}

// A refusal of the whole post.
std::string ImmediateReply(std::string_view json) {
  return "HTTP/1.1 200 OK\r\nCache-Control: max-age=0\r\n"
         "Expires: Wed, 24 Jan 1990 06:53:29 GMT\r\n"
         "Content-Length: " +
         std::to_string(json.size()) +
         "\r\nConnection: Close\r\n"
         "Content-Security-Policy: script-src 'self' 'nonce-NONCE'\r\n"
         "Content-Type: application/json\r\nX-Content-Type-Options: nosniff\r\nX-Frame-Options: SAMEORIGIN\r\n\r\n" +
         std::string(json);
}

// One file's entry of the answer: saved under `saved`, or not for `reason`.
std::string Saved(const std::string& sent, const std::string& saved) {
  return "{\"name\":\"" + sent + "\",\"state\":\"success\",\"saved\":\"" + saved + "\"}";
}
std::string NotSaved(const std::string& sent, const std::string& state, const std::string& reason) {
  return "{\"name\":\"" + sent + "\",\"state\":\"" + state + "\",\"reason\":\"" + reason + "\"}";
}
std::string Answer(const std::string& state, const std::vector<std::string>& files) {
  std::string json = "{\"state\":\"" + state + "\",\"response\":\"xxx\",\"files\":[";
  for (size_t i = 0; i < files.size(); ++i) json += (i > 0 ? "," : "") + files[i];
  return json + "]}";
}

class UploadRecvTest : public ::testing::Test {
 protected:
  void SetUp() override { settings_.folders = {folder_.Root()}; }

  // Offers `request` to the handler list (accounts, /upload.php, 404), lets every job finish
  // and returns the replies in the order posted, their nonces written as NONCE.
  std::multiset<std::string> Send(const std::string& request,
                                  const std::vector<UserAccount>& accounts = {}) {
    ResponseCapture server;
    {
      MySystem::CThreadMgr pool(2);
      std::vector<std::unique_ptr<CRequestProcess>> handlers;
      handlers.push_back(std::make_unique<AccountsProcess>(accounts));
      handlers.push_back(
          std::make_unique<CUploadRecvProcess>(settings_, received_, rejected_, answered_, &pool));
      handlers.push_back(std::make_unique<C404rocess>());
      server.SetHandlers(std::move(handlers));
      server.Dispatch(request);
    }  // the pool finishes every job before it goes
    std::multiset<std::string> replies;
    const std::regex nonce("'nonce-[A-Za-z0-9+/]{22}=='");
    for (const s_message& m : server.PostedMessages()) {
      EXPECT_EQ(m.socket, 3);
      EXPECT_EQ(m.connection_id, 1);
      replies.insert(std::regex_replace(m.bytes, nonce, "'nonce-NONCE'"));
    }
    return replies;
  }

  std::set<std::string> Files() const { return FolderEntries(folder_.Root()); }

  void ExpectCounters(uint32_t received, uint32_t rejected, uint32_t answered) {
    EXPECT_EQ(received_.load(), received);
    EXPECT_EQ(rejected_.load(), rejected);
    EXPECT_EQ(answered_.load(), answered);
  }

  TestFolder folder_;
  ServerSettings settings_;
  std::atomic<uint32_t> received_{0}, rejected_{0}, answered_{0};
};

TEST_F(UploadRecvTest, ThreeFilesInOnePostAreAllSavedAndEachAnswered) {
  const std::string jpeg = std::string(kJpegStart) + "one";
  const std::string png = std::string("\x89PNG\r\n\x1A\nt\0o", 11);
  const std::string gif = "GIF89athree\r\n--b0UnDx";
  std::multiset<std::string> replies =
      Send(Post({{"userfile", "a.jpg", "image/jpeg", jpeg},
                 {"userfile", "b.png", "image/png", png},
                 {"userfile", "C:\\fakepath\\c.gif", "image/gif", gif}}));
  EXPECT_EQ(replies, std::multiset<std::string>{JobReply(
                         Answer("success", {Saved("a.jpg", "a.jpg"), Saved("b.png", "b.png"),
                                            Saved("C:\\\\fakepath\\\\c.gif", "c.gif")}))});
  EXPECT_EQ(Files(), (std::set<std::string>{"a.jpg", "b.png", "c.gif"}));
  EXPECT_EQ(folder_.Read("a.jpg"), jpeg);
  EXPECT_EQ(folder_.Read("b.png"), png);
  EXPECT_EQ(folder_.Read("c.gif"), gif);
  ExpectCounters(1, 0, 3);
}

// The uploader showed the result of one file for a whole batch: a text file and a JPEG said
// refused although the JPEG was saved, a JPEG and a video said success although the video was
// dropped, and a text file named fake.jpg was saved. Each file now has its own result.
TEST_F(UploadRecvTest, AMixedBatchAnswersEachFilesOwnResult) {
  EXPECT_EQ(
      Send(Post({{"userfile", "notes.txt", "text/plain", "hello"},
                 {"userfile", "DSC_0001.JPG", "image/jpeg", std::string(kJpegStart) + "pixels"},
                 {"userfile", "clip.mp4", "video/mp4", "....ftypmp42"},
                 {"userfile", "fake.jpg", "image/jpeg", "I am text, not a picture"}})),
      std::multiset<std::string>{JobReply(Answer(
          "refused",
          {NotSaved("notes.txt", "refused", "type"), Saved("DSC_0001.JPG", "DSC_0001.jpg"),
           NotSaved("clip.mp4", "refused", "type"), NotSaved("fake.jpg", "refused", "content")}))});
  EXPECT_EQ(Files(), std::set<std::string>{"DSC_0001.jpg"});
  ExpectCounters(1, 0, 4);
}

TEST_F(UploadRecvTest, TheRightToUpload) {
  const UserAccount uploader{"anna", "h", 1, {}}, viewer{"ben", "h", 0, {}};
  struct Case {
    const char* what;
    int32_t need_user;
    bool have_accounts;
    std::vector<UserAccount> context;
    bool allowed;
  } cases[] = {
      {"no authentication: anybody", 0, false, {}, true},
      {"no authentication, a viewer anyway", 0, true, {viewer}, true},
      {"an uploader", 1, true, {uploader}, true},
      {"a viewer", 1, true, {viewer}, false},
      {"only the first account counts", 1, true, {viewer, uploader}, false},
      {"no user", 1, true, {}, false},
      {"no accounts configured", 1, false, {uploader}, false},
  };
  uint32_t received = 0, rejected = 0, answered = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    settings_.need_user = c.need_user;
    settings_.users.clear();
    if (c.have_accounts) settings_.users = {uploader, viewer};
    std::multiset<std::string> replies = Send(Post({{}}), c.context);
    ++received;
    const std::string saved_as =
        answered == 0 ? "photo.jpg" : "photo (" + std::to_string(answered) + ").jpg";
    (c.allowed ? answered : rejected) += 1;
    EXPECT_EQ(replies, std::multiset<std::string>{
                           c.allowed ? JobReply(Answer("success", {Saved("photo.jpg", saved_as)}))
                                     : ImmediateReply(kRightsRefusedJson)});
    ExpectCounters(received, rejected, answered);
  }
  EXPECT_EQ(Files(), (std::set<std::string>{"photo.jpg", "photo (1).jpg", "photo (2).jpg"}));
}

TEST_F(UploadRecvTest, TypesAndZip) {
  struct Case {
    uint32_t zip_reject_upload;
    std::string type;
    bool saved;
  } cases[] = {
      {0, "image/jpg", false}, {0, "image/webp", false},     {0, "image/PNG", false},
      {0, "", false},          {0, "application/zip", true}, {1, "application/zip", false},
  };
  for (const Case& c : cases) {
    settings_.zip_reject_upload = c.zip_reject_upload;
    EXPECT_EQ(Send(Post({{"userfile", "p.zip", c.type, std::string("PK\x03\x04", 4)}})),
              std::multiset<std::string>{
                  JobReply(c.saved ? Answer("success", {Saved("p.zip", "p.zip")})
                                   : Answer("refused", {NotSaved("p.zip", "refused", "type")}))})
        << c.type << " " << c.zip_reject_upload;
  }
  EXPECT_EQ(Files(), std::set<std::string>{"p.zip"});
}

TEST_F(UploadRecvTest, PhonePicturesAreSavedWithTheirExtensions) {
  const Picture picture = QuadrantPicture(
      64, 48, 3, {Rgba{200, 0, 0, 255}, {0, 200, 0, 255}, {0, 0, 200, 255}, {250, 250, 250, 255}});
  const std::vector<uint8_t> heic = HeicFile(picture), avif = AvifFile(picture);
  ASSERT_FALSE(heic.empty());
  ASSERT_FALSE(avif.empty());
  const std::string heic_bytes(heic.begin(), heic.end()), avif_bytes(avif.begin(), avif.end());
  folder_.Write("IMG_0001.heic", "old");
  std::multiset<std::string> replies =
      Send(Post({{"userfile", "IMG_0001.HEIC", "image/heic", heic_bytes},
                 {"userfile", "DSCF0002.HIF", "image/heif", heic_bytes},
                 {"userfile", "PXL_0003.avif", "image/avif", avif_bytes}}));
  EXPECT_EQ(replies, std::multiset<std::string>{
                         JobReply(Answer("success", {Saved("IMG_0001.HEIC", "IMG_0001 (1).heic"),
                                                     Saved("DSCF0002.HIF", "DSCF0002.heif"),
                                                     Saved("PXL_0003.avif", "PXL_0003.avif")}))});
  EXPECT_EQ(Files(), (std::set<std::string>{"IMG_0001.heic", "IMG_0001 (1).heic", "DSCF0002.heif",
                                            "PXL_0003.avif"}));
  EXPECT_TRUE(folder_.Read("IMG_0001 (1).heic") == heic_bytes);
  EXPECT_TRUE(folder_.Read("PXL_0003.avif") == avif_bytes);
}

TEST_F(UploadRecvTest, PostsWithoutFilesFailAtOnce) {
  struct Case {
    const char* what;
    std::string request;
  } cases[] = {
      {"another field", Post({{"comment", "a.jpg", "image/jpeg", "x"}})},
      {"a file part without a filename", Post({{"userfile", "-", "image/jpeg", "x"}})},
      {"no parts", Post({})},
      {"no boundary",
       "POST /upload.php HTTP/1.1\r\nContent-Type: multipart/form-data\r\n"
       "Content-Length: 4\r\n\r\nbody"},
      {"no Content-Type", "POST /upload.php HTTP/1.1\r\n\r\n"},
      {"an unclosed last part",
       Post({{}}).substr(0, Post({{}}).size() - std::string("\r\n--b0UnD--\r\n").size())},
      {"too many parts", Post(std::vector<FilePart>(kMaxMultipartParts + 1))},
  };
  uint32_t count = 0;
  for (const Case& c : cases) {
    ++count;
    EXPECT_EQ(Send(c.request), std::multiset<std::string>{ImmediateReply(kNoFilesJson)}) << c.what;
    ExpectCounters(count, count, 0);
  }
  EXPECT_TRUE(Files().empty());
}

// A body handed over in pieces while it arrives saves the same files; one abandoned halfway
// saves nothing and is neither counted nor answered.
TEST_F(UploadRecvTest, BodiesInPiecesAndAbandonedOnes) {
  const std::string file = kJpegStart + std::string(300000, 'f');
  const std::string request = Post({{"userfile", "a.jpg", "image/jpeg", file},
                                    {"userfile", "b.png", "image/png", "\x89PNG\r\n\x1A\n2"}});
  const size_t head_size = request.find("\r\n\r\n") + 4;
  HttpRequest head;
  ASSERT_TRUE(head.Parse(std::string_view(request).substr(0, head_size)));
  ResponseCapture server;
  std::unique_ptr<CUploadRecvProcess> handler;  // outlives the pool and its jobs
  {
    MySystem::CThreadMgr pool(2);
    handler =
        std::make_unique<CUploadRecvProcess>(settings_, received_, rejected_, answered_, &pool);
    for (bool abandon : {true, false}) {
      IncomingRequest incoming;
      ASSERT_TRUE(IncomingRequest::Parse(request.substr(0, head_size),
                                         IncomingRequest::Body::kToCome, server.responder(),
                                         &incoming));
      ASSERT_EQ(handler->Process(incoming), 1);
      std::shared_ptr<CRequestBodyStream> stream = incoming.TakeBodyStream();
      ASSERT_NE(stream, nullptr);
      for (size_t at = head_size; at < request.size(); at += 7001) {
        if (abandon && at > request.size() / 2) break;
        stream->Append(request.substr(at, 7001));
      }
      abandon ? stream->Abandon() : stream->Finish();
    }
  }  // the pool finishes every job before it goes
  ASSERT_EQ(server.PostedMessages().size(), 1u);
  EXPECT_NE(server.PostedMessages()[0].bytes.find(
                Answer("success", {Saved("a.jpg", "a.jpg"), Saved("b.png", "b.png")})),
            std::string::npos)
      << server.PostedMessages()[0].bytes;
  EXPECT_EQ(Files(), (std::set<std::string>{"a.jpg", "b.png"}));
  EXPECT_TRUE(folder_.Read("a.jpg") == file);
  ExpectCounters(1, 0, 2);
}

TEST_F(UploadRecvTest, NoFolderConfiguredAnswersFailure) {
  settings_.folders.clear();
  EXPECT_EQ(Send(Post({{}})), std::multiset<std::string>{JobReply(Answer(
                                  "failure", {NotSaved("photo.jpg", "failure", "folder")}))});
  ExpectCounters(1, 0, 1);
}

TEST_F(UploadRecvTest, OnlyPostsAreReceived) {
  // Methods the gallery does not serve at all are refused before any handler.
  const std::pair<const char*, std::string> cases[] = {
      {"GET", "HTTP/1.1 404 Not Found\r\n"},
      {"HEAD", "HTTP/1.1 404 Not Found\r\n"},
      {"PUT", "HTTP/1.1 405 Method Not Allowed\r\n"},
      {"POSTX", "HTTP/1.1 405 Method Not Allowed\r\n"},
  };
  for (const auto& [method, status] : cases) {
    std::string request = Post({{}});
    request.replace(0, 4, method);
    std::multiset<std::string> replies = Send(request);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies.begin()->substr(0, status.size()), status) << method;
  }
  ExpectCounters(0, 0, 0);
  EXPECT_TRUE(Files().empty());
}

}  // namespace
