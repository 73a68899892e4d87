#include "server/pages/image_direct_process.h"

#include <vector>

#include "server/catalogue/calendar_time.h"
#include "server/catalogue/image_types.h"
#include "server/catalogue/member_path.h"
#include "server/catalogue/omni_file_access.h"
#include "server/catalogue/page_keys.h"
#include "server/catalogue/picture_id.h"
#include "server/catalogue/word_decode.h"
#include "server/net/accept_header.h"
#include "server/net/http_response.h"
#include "server/net/nonce.h"
#include "server/pages/page_common.h"
#include "server/pictures/image_reduce.h"
#include "server/pictures/screen_renditions.h"
#include "server/pictures/thumbnail_store.h"

namespace {

// Reads and sends one image on a worker thread.
class CImageLoading : public CThreadCommand {
 public:
  CImageLoading(const ImageCatalogue& catalogue, COmniFileAccess& files, ThumbnailStore& thumbnails,
                ThumbnailStore& renditions, IncomingRequest request, std::string path,
                ImageValidators validators, ImageForm form, std::string nonce)
      : catalogue_(catalogue),
        files_(files),
        thumbnails_(thumbnails),
        renditions_(renditions),
        request_(std::move(request)),
        path_(std::move(path)),
        validators_(std::move(validators)),
        form_(std::move(form)),
        nonce_(std::move(nonce)) {
    AnswersClient(&request_.responder());
  }

  int Run() override {
    request_.Respond(ImageFileResponse(catalogue_, files_, thumbnails_, renditions_, path_,
                                       validators_, form_, nonce_));
    return 0;
  }

 private:
  const ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  ThumbnailStore& thumbnails_;
  ThumbnailStore& renditions_;
  IncomingRequest request_;
  std::string path_;
  ImageValidators validators_;
  ImageForm form_;
  std::string nonce_;
};

// How a picture is answered, decided from the request before anything is read.
enum class Answer {
  kAsStored,
  kThumbnail,
  kScreen,     // a screen-sized rendition
  kRendition,  // the full-size JPEG rendition of a HEIF picture
  kOriginal,   // a HEIF picture as stored, to be saved
};

// A thumbnail wins over a screen rendition; neither asked for, a HEIF picture goes as stored
// only to a browser that names its type.
Answer ChooseAnswer(std::string_view content_type, const ImageForm& form) {
  if (form.shrink == 1) return Answer::kThumbnail;
  const bool heif = IsHeifType(content_type);
  if (heif && form.original) return Answer::kOriginal;
  if (form.width > 0 && ReducesType(content_type)) return Answer::kScreen;
  if (!heif) return Answer::kAsStored;
  return AcceptNamesType(form.accept, content_type) ? Answer::kAsStored : Answer::kRendition;
}

// The type of what `answer` sends of a picture of `content_type` when it is made, as far as
// it is known before the rendition is: HEIF pictures decode without transparency, so all
// their renditions are JPEG.
std::string_view MadeType(Answer answer, std::string_view content_type) {
  if (answer == Answer::kRendition) return "image/jpeg";
  if ((answer == Answer::kThumbnail || answer == Answer::kScreen) && IsHeifType(content_type)) {
    return "image/jpeg";
  }
  return content_type;
}

// The rendition `answer` asks for, when it is made. A screen rendition of a HEIF picture no
// wider than the screen is its full-size JPEG: the picture itself may not show.
bool FindRendition(Answer answer, ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                   const std::string& path, std::string_view content_type, const ImageForm& form,
                   ReducedPicture* out) {
  switch (answer) {
    case Answer::kThumbnail:
      return thumbnails.Find(path, content_type, kThumbnail, out);
    case Answer::kScreen:
      return renditions.Find(path, content_type, ScreenRendition(form.width), out) ||
             (IsHeifType(content_type) && renditions.Find(path, content_type, kFullSizeJpeg, out));
    case Answer::kRendition:
      return renditions.Find(path, content_type, kFullSizeJpeg, out);
    default:
      return false;
  }
}

// FindRendition from what the stores hold in memory for the file's `version`.
ThumbnailStore::Kept KeptRendition(Answer answer, ThumbnailStore& thumbnails,
                                   ThumbnailStore& renditions, const std::string& path,
                                   std::string_view content_type, const ImageForm& form,
                                   const FileVersion& version, ReducedPicture* out) {
  using Kept = ThumbnailStore::Kept;
  switch (answer) {
    case Answer::kThumbnail:
      return thumbnails.FindInMemory(path, content_type, kThumbnail, version, out);
    case Answer::kScreen: {
      const Kept screen = renditions.FindInMemory(path, content_type,
                                                  ScreenRendition(form.width), version, out);
      if (screen != Kept::kAsStored || !IsHeifType(content_type)) return screen;
      return renditions.FindInMemory(path, content_type, kFullSizeJpeg, version, out);
    }
    case Answer::kRendition:
      return renditions.FindInMemory(path, content_type, kFullSizeJpeg, version, out);
    default:
      return Kept::kAsStored;
  }
}

// Where ImageResponse takes what it needs from.
enum class Reads {
  kAny,  // the file, its archive, the stores' folders; a missing rendition is made
  // Only what the file cache and the stores hold in memory, after one look at the file's
  // status; an archive member is not looked at.
  kMemoryOnly,
};

// The rendition is another representation of the same picture at the same address, so it
// has a tag of its own.
constexpr std::string_view kRenditionTagSuffix = "-jpeg";

// The part of the path after its last "/", which for a member of an archive is the member's
// own file name without its folders.
std::string_view FileName(std::string_view path) {
  return path.substr(path.rfind('/') + 1);
}

// The name of a JPEG made of the file `name`: its extension (or, without one, nothing)
// replaced by "jpg", so that the browser saves it as what it is.
std::string JpegName(std::string_view name) {
  return std::string(name.substr(0, name.rfind('.'))) + ".jpg";
}

// The file name for Content-Disposition, every byte as %XX.
std::string EncodedFileName(std::string_view name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(name.size() * 3);
  for (unsigned char c : name) {
    encoded.push_back('%');
    encoded.push_back(kHex[c >> 4]);
    encoded.push_back(kHex[c & 15]);
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
                                         ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                                         MySystem::CThreadMgr* pool)
    : catalogue_(catalogue),
      files_(files),
      thumbnails_(thumbnails),
      renditions_(renditions),
      pool_(pool) {}

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

ImageForm ReadImageForm(const HttpRequest& request) {
  ImageForm form;
  form.shrink = ReadKeyNumber(request.target.Param("shrink"));
  form.width = ReadKeyNumber(request.target.Param("width"));
  form.original = request.target.Param("original") == "1";
  request.Header("Accept", &form.accept);
  return form;
}

namespace {

// ImageFileResponse in `*out`. With Reads::kMemoryOnly, false when the answer needs more than
// memory holds (`*out` is then left alone).
bool ImageResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                   ThumbnailStore& thumbnails, ThumbnailStore& renditions, const std::string& path,
                   const ImageValidators& validators, const ImageForm& form,
                   std::string_view nonce, Reads reads, Response* out) {
  SystemTime time;
  bool time_known = false;
  FileVersion version;  // Reads::kMemoryOnly: the one look at the file
  if (reads == Reads::kMemoryOnly) {
    // A plain file's time is that of its version.
    if (path.find(kMemberSeparator) != std::string::npos || !files.GetVersion(path, &version)) {
      return false;
    }
    time = SystemTimeFromUnix(version.mtime_sec, version.mtime_nsec);
    time_known = true;
  } else {
    time_known =
        (IsMemberPath(path) && catalogue.GetMemberTime(path, &time)) || files.GetTime(path, &time);
  }
  std::string date = time_known ? FormatHttpDate(time) : "";
  const std::string_view stored_type = ImageContentType(path);
  const Answer answer = ChooseAnswer(stored_type, form);
  std::string tag = time_known ? PictureId(path) : "";
  if (time_known && answer == Answer::kRendition) tag += kRenditionTagSuffix;

  std::string_view status;
  SharedBody body;
  std::shared_ptr<const platform::OpenFile> file;
  std::string_view content_type = stored_type;
  ReducedPicture reduced;
  using Kept = ThumbnailStore::Kept;
  const bool not_modified =
      validators.if_modified_since == date && validators.if_none_match == tag;
  Kept rendition = Kept::kAsStored;
  if (!not_modified && reads == Reads::kMemoryOnly) {
    rendition = KeptRendition(answer, thumbnails, renditions, path, stored_type, form, version,
                              &reduced);
    if (rendition == Kept::kUnknown) return false;
  } else if (!not_modified &&
             FindRendition(answer, thumbnails, renditions, path, stored_type, form, &reduced)) {
    rendition = Kept::kKept;
  }
  if (not_modified) {
    status = time_known ? "304 Not modified" : "404 Not Found";
    content_type = MadeType(answer, stored_type);
  } else if (rendition == Kept::kKept) {
    status = "200 OK";
    body = std::move(reduced.bytes);
    content_type = reduced.content_type;
  } else if (reads == Reads::kMemoryOnly) {
    // A large file is sent from the file, which is not opened here.
    if (version.size >= kSendFromFileBytes || !files.FindCached(path, version, &body)) {
      return false;
    }
    status = "200 OK";
  } else if ((file = OpenForSending(files, path)) != nullptr) {
    status = "200 OK";
  } else if (files.ReadShared(path, &body)) {
    status = "200 OK";  // not reduced: the picture is sent as stored
  } else {
    status = "404 Not Found";
    body.reset();
  }

  HttpResponse response(status);
  response.NoCache().Close().SecurityPolicy(nonce);
  const std::string_view name = FileName(path);
  // A JPEG made of a HEIF picture is saved as one; the original is saved as it is.
  const std::string encoded_name = EncodedFileName(
      IsHeifType(stored_type) && content_type != stored_type ? JpegName(name) : std::string(name));
  response.Header(
      "Content-Disposition",
      (answer == Answer::kOriginal ? "attachment; filename*=utf-8''" : "filename*=utf-8''") +
          encoded_name);
  if (time_known) response.Header("Last-Modified", date);
  response.Header("ETag", "\"" + tag + "\"");
  response.Header("Content-Type", content_type);
  // Whether the browser gets a HEIF picture or its rendition depends on what it accepts.
  if (IsHeifType(stored_type) && (answer == Answer::kAsStored || answer == Answer::kRendition)) {
    response.Header("Vary", "Accept");
  }
  if (file != nullptr) {
    *out = response.ContentLength(file->size()).Finish(std::move(file));
  } else {
    *out = response.ContentLength(body ? body->size() : 0).Finish(std::move(body));
  }
  return true;
}

}  // namespace

Response ImageFileResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                           ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                           const std::string& path, const ImageValidators& validators,
                           const ImageForm& form, std::string_view nonce) {
  Response response;
  ImageResponse(catalogue, files, thumbnails, renditions, path, validators, form, nonce,
                Reads::kAny, &response);
  return response;
}

bool QuickImageFileResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                            ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                            const std::string& path, const ImageValidators& validators,
                            const ImageForm& form, std::string_view nonce, Response* out) {
  return ImageResponse(catalogue, files, thumbnails, renditions, path, validators, form, nonce,
                       Reads::kMemoryOnly, out);
}

int CImageDirectProcess::Process(IncomingRequest& incoming) {
  const HttpRequest& request = incoming.http();
  ImageKey key;
  ImageEntry entry;
  if (!ParseImageLinkKey(request.target.Param("page"), &key) ||
      !catalogue_.orders()
           .View(key.order, DecodeWord(request.target.Param("word")))
           .Get(key.position, &entry)) {
    return 0;
  }
  ImageValidators validators = ReadImageValidators(request);
  ImageForm form = ReadImageForm(request);
  std::string nonce = MakeNonce();
  // The file access layer takes paths as strings.
  std::string path(entry.path);
  // What memory holds is answered here and now: a hand-off to a worker and back would cost
  // more than the answer itself.
  Response quick;
  if (QuickImageFileResponse(catalogue_, files_, thumbnails_, renditions_, path, validators,
                             form, nonce, &quick)) {
    incoming.Respond(std::move(quick));
    return 1;
  }
  pool_->Post(std::make_unique<CImageLoading>(catalogue_, files_, thumbnails_, renditions_,
                                              incoming, std::move(path), std::move(validators),
                                              std::move(form), std::move(nonce)),
              0);
  return 1;
}
