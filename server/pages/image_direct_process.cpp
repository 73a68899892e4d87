#include "server/pages/image_direct_process.h"

#include <cstdio>
#include <vector>

#include "common/config/md5_hex.h"
#include "platform/text.h"
#include "server/catalogue/image_types.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/page_keys.h"
#include "platform/utf8.h"
#include "server/catalogue/word_decode.h"
#include "server/net/http_headers.h"
#include "server/net/image_server.h"
#include "server/net/nonce.h"
#include "server/pages/http_date.h"
#include "server/pages/image_reduce.h"
#include "server/pages/page_common.h"

namespace {

// Reads and sends one image on a worker thread.
class CImageLoading : public CThreadCommand {
 public:
  CImageLoading(CImageServer* server, const ImageCatalogue& catalogue,
                platform::SocketHandle socket, int32_t connection_id, std::string path,
                ImageValidators validators, int32_t shrink)
      : server_(server),
        catalogue_(catalogue),
        socket_(socket),
        connection_id_(connection_id),
        path_(std::move(path)),
        validators_(std::move(validators)),
        shrink_(shrink) {}

  int Run() override {
    server_->Respond(socket_, connection_id_,
                     ImageFileResponse(catalogue_, path_, validators_, shrink_, MakeNonce()));
    return 0;
  }

 private:
  CImageServer* server_;
  const ImageCatalogue& catalogue_;
  platform::SocketHandle socket_;
  int32_t connection_id_;
  std::string path_;
  ImageValidators validators_;
  int32_t shrink_;
};

std::vector<std::string_view> SplitFields(std::string_view key) {
  std::vector<std::string_view> fields;
  while (true) {
    size_t dash = key.find('-');
    fields.push_back(key.substr(0, dash));
    if (dash == std::string_view::npos) return fields;
    key.remove_prefix(dash + 1);
  }
}

std::string Param(const s_request& request, const std::string& key) {
  auto found = request.params.find(key);
  return found == request.params.end() ? std::string() : found->second;
}

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

std::string FormatSystemTime(const SystemTime& t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT", kDays[t.day_of_week % 7],
                t.day, kMonths[(t.month + 11) % 12], t.year, t.hour, t.minute, t.second);
  return text;
}

}  // namespace

CImageDirectProcess::CImageDirectProcess(const ImageCatalogue& catalogue,
                                         MySystem::CThreadMgr* pool)
    : catalogue_(catalogue), pool_(pool) {}

ImageValidators ReadImageValidators(std::string_view raw) {
  ImageValidators validators;
  FindHeaderValue(raw, "If-Modified-Since", &validators.if_modified_since);
  std::string tag;
  if (FindHeaderValue(raw, "If-None-Match", &tag)) {
    size_t first = tag.find('"'), last = tag.rfind('"');
    validators.if_none_match =
        first != std::string::npos && last > first ? tag.substr(first + 1, last - first - 1) : tag;
  }
  return validators;
}

std::string_view ImageContentType(std::string_view path) {
  const std::string_view type = PictureContentType(path);
  return type.empty() ? "text/html" : type;
}

std::string ImageFileResponse(const ImageCatalogue& catalogue, const std::string& path,
                              const ImageValidators& validators, int32_t shrink,
                              std::string_view nonce) {
  COmniFileAccess& files = COmniFileAccess::Instance();
  SystemTime time;
  bool time_known =
      (IsMemberPath(path) && catalogue.GetMemberTime(path, &time)) || files.GetTime(path, &time);
  std::string date = time_known ? FormatSystemTime(time) : "";
  std::string tag = time_known ? EntityTag(path) : "";

  std::string_view status;
  std::vector<uint8_t> body;
  std::string_view content_type = ImageContentType(path);
  if (validators.if_modified_since == date && validators.if_none_match == tag) {
    status = time_known ? "HTTP/1.1 304 Not modified\r\n" : "HTTP/1.1 404 Not Found\r\n";
  } else if (files.ReadAll(1, path, &body)) {
    status = "HTTP/1.1 200 OK\r\n";
    if (shrink == 1) ReduceImage(content_type, &body);
  } else {
    status = "HTTP/1.1 404 Not Found\r\n";
  }

  std::string response(status);
  response += kNoCacheHeaders;
  response += kConnectionClose;
  response += ContentSecurityPolicyLine(nonce);
  response += "Content-Disposition: filename*=utf-8''" + EncodedFileName(path) + "\r\n";
  if (time_known) response += "Last-Modified: " + date + "\r\n";
  response += "ETag: \"" + tag + "\"\r\n";
  response += "Content-Type: " + std::string(content_type) + "\r\n";
  response += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  response.append(body.begin(), body.end());
  return response;
}

int CImageDirectProcess::ProcessRaw(platform::SocketHandle socket, int32_t connection_id,
                                    const std::string& raw) {
  std::string target;
  s_request request;
  if (!RequestTarget(raw, &target) || !request.parse(target) || request.path != "/image") {
    return 0;
  }
  const std::string key = Param(request, "page");
  std::vector<std::string_view> key_fields = SplitFields(key);
  if (key_fields.size() <= 2) return 0;
  ListOrder order = ListOrderFromCode(key_fields[1]);
  int32_t position = ReadKeyNumber(key_fields[2]);
  ImageEntry entry;
  if (!catalogue_.orders().View(order, DecodeWord(Param(request, "word"))).Get(position, &entry)) {
    return 0;
  }
  int32_t shrink = ReadKeyNumber(Param(request, "shrink"));
  pool_->Post(new CImageLoading(server(), catalogue_, socket, connection_id, entry.path,
                                ReadImageValidators(raw), shrink),
              0, this, 0);
  return 1;
}
