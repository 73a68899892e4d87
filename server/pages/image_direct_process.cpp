#include "server/pages/image_direct_process.h"

#include <cstdio>
#include <vector>

#include "common/config/md5_hex.h"
#include "platform/text.h"
#include "platform/utf8.h"
#include "server/catalogue/calendar_time.h"
#include "server/catalogue/image_types.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/page_keys.h"
#include "server/catalogue/word_decode.h"
#include "server/net/http_response.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/pages/page_common.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/thumbnail_store.h"

namespace {

// Reads and sends one image on a worker thread.
class CImageLoading : public CThreadCommand {
 public:
  CImageLoading(CImageServer* server, const ImageCatalogue& catalogue, COmniFileAccess& files,
                ThumbnailStore& thumbnails, platform::SocketHandle socket, int32_t connection_id,
                std::string path, ImageValidators validators, int32_t shrink)
      : server_(server),
        catalogue_(catalogue),
        files_(files),
        thumbnails_(thumbnails),
        socket_(socket),
        connection_id_(connection_id),
        path_(std::move(path)),
        validators_(std::move(validators)),
        shrink_(shrink) {}

  int Run() override {
    s_message response = ImageFileResponse(catalogue_, files_, thumbnails_, path_, validators_,
                                           shrink_, MakeNonce());
    response.socket = socket_;
    response.connection_id = connection_id_;
    server_->PostFinalResponse(std::move(response));
    return 0;
  }

 private:
  CImageServer* server_;
  const ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  ThumbnailStore& thumbnails_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  std::string path_;
  ImageValidators validators_;
  int32_t shrink_;
};

// MD5 of the path's UTF-16LE code units: the tag names the path, not the content. A byte
// that is not UTF-8 counts as U+FFFD, as it does everywhere text is read per character.
std::string EntityTag(std::string_view path) {
  std::u16string units;
  for (size_t pos = 0; pos < path.size();) {
    uint32_t c = DecodeUtf8At(path, &pos);
    if (c >= 0x10000) {
      units.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      units.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      units.push_back(static_cast<char16_t>(c));
    }
  }
  return MD5Hex(platform::Utf16ToLeBytes(units));
}

// The file name for Content-Disposition, every byte as %XX: the part of the path after its
// last "/", which for a member of an archive is the member's own file name without its folders.
std::string EncodedFileName(std::string_view path) {
  const std::string_view name = path.substr(path.rfind('/') + 1);
  std::string encoded;
  char hex[4];
  for (unsigned char c : name) {
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    encoded += hex;
  }
  return encoded;
}

}  // namespace

std::shared_ptr<const platform::OpenFile> OpenForSending(COmniFileAccess& files,
                                                         const std::string& path) {
  FileVersion version;
  if (IsMemberPath(path) || !files.GetVersion(path, &version) ||
      version.size < kSendFromFileBytes) {
    return nullptr;
  }
  return platform::OpenFile::Open(path);
}

CImageDirectProcess::CImageDirectProcess(const ImageCatalogue& catalogue, COmniFileAccess& files,
                                         ThumbnailStore& thumbnails, MySystem::CThreadMgr* pool)
    : catalogue_(catalogue), files_(files), thumbnails_(thumbnails), pool_(pool) {}

ImageValidators ReadImageValidators(const HttpRequest& request) {
  ImageValidators validators;
  request.Header("If-Modified-Since", &validators.if_modified_since);
  std::string tag;
  if (request.Header("If-None-Match", &tag)) {
    size_t first = tag.find('"'), last = tag.rfind('"');
    validators.if_none_match =
        first != std::string::npos && last > first ? tag.substr(first + 1, last - first - 1) : tag;
  }
  return validators;
}

s_message ImageFileResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                            ThumbnailStore& thumbnails, const std::string& path,
                            const ImageValidators& validators, int32_t shrink,
                            std::string_view nonce) {
  SystemTime time;
  bool time_known =
      (IsMemberPath(path) && catalogue.GetMemberTime(path, &time)) || files.GetTime(path, &time);
  std::string date = time_known ? FormatHttpDate(time) : "";
  std::string tag = time_known ? EntityTag(path) : "";

  std::string_view status;
  s_message message;
  std::string_view content_type = ImageContentType(path);
  if (validators.if_modified_since == date && validators.if_none_match == tag) {
    status = time_known ? "304 Not modified" : "404 Not Found";
  } else if (shrink == 1 && thumbnails.Find(path, content_type, &message.body)) {
    status = "200 OK";
  } else if ((message.file = OpenForSending(files, path)) != nullptr) {
    status = "200 OK";
  } else if (files.ReadShared(path, &message.body)) {
    status = "200 OK";  // not reduced: the picture is sent as stored
  } else {
    status = "404 Not Found";
    message.body.reset();
  }

  HttpResponse response(status);
  response.NoCache().Close().SecurityPolicy(nonce);
  response.Header("Content-Disposition", "filename*=utf-8''" + EncodedFileName(path));
  if (time_known) response.Header("Last-Modified", date);
  response.Header("ETag", "\"" + tag + "\"");
  response.Header("Content-Type", content_type);
  response.ContentLength(message.size());
  message.bytes = response.Finish();
  return message;
}

int CImageDirectProcess::ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                                    const HttpRequest& request) {
  ImageKey key;
  ImageEntry entry;
  if (!ParseImageLinkKey(request.target.Param("page"), &key) ||
      !catalogue_.orders()
           .View(key.order, DecodeWord(request.target.Param("word")))
           .Get(key.position, &entry)) {
    return 0;
  }
  int32_t shrink = ReadKeyNumber(request.target.Param("shrink"));
  auto* job = new CImageLoading(server(), catalogue_, files_, thumbnails_, socket, connection_id,
                                entry.path, ReadImageValidators(request), shrink);
  job->AnswersConnection(socket, connection_id);
  pool_->Post(job, 0, this, 0);
  return 1;
}
