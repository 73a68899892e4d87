// /image: the bytes of one catalogued image, addressed by an image key, optionally reduced to
// a thumbnail (`shrink` 1) or to a screen-sized rendition (`width`); a HEIC, HEIF or AVIF
// picture goes to a browser whose Accept header does not name its type as a JPEG rendition.
// The handler resolves the key and the validators and answers at once what memory holds (a
// warm thumbnail, a cached picture, a 304); reading and reducing run in a CImageLoading job on
// the worker pool.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/open_file.h"
#include "server/catalogue/image_catalogue.h"
#include "server/catalogue/omni_file_access.h"
#include "server/net/request_process.h"
#include "server/net/response.h"
#include "server/pictures/thumbnail_store.h"
#include "server/threads/thread_mgr.h"

class CImageDirectProcess : public CRequestProcess {
 public:
  // `catalogue`, `files`, both stores and `pool` must outlive the handler and its jobs.
  // `thumbnails` keeps the thumbnails, `renditions` the screen-sized renditions and the
  // full-size JPEGs of HEIF pictures.
  CImageDirectProcess(const ImageCatalogue& catalogue, COmniFileAccess& files,
                      ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                      MySystem::CThreadMgr* pool);

  std::string GetPath() override { return "/image"; }
  // Declines (0) when the key does not name an image of the word-filtered order.
  int Process(IncomingRequest& request) override;

 private:
  const ImageCatalogue& catalogue_;
  COmniFileAccess& files_;
  ThumbnailStore& thumbnails_;
  ThumbnailStore& renditions_;
  MySystem::CThreadMgr* pool_;
};

// Plain files of this size or more are sent straight from the file (sendfile) instead of
// being read into the file cache.
constexpr uint64_t kSendFromFileBytes = 1u << 20;
// The picture at `path`, opened to be sent from the page cache when it is sent that way (a
// plain file of kSendFromFileBytes or more): the file cache need not hold it, and slow readers
// of it hold no memory of the process. Null for the pictures that go through the file cache.
std::shared_ptr<const platform::OpenFile> OpenForSending(COmniFileAccess& files,
                                                         const std::string& path);

// What the client sent back of an earlier response.
struct ImageValidators {
  std::string if_modified_since;  // the date, as the header carries it
  std::string if_none_match;      // the tag without its quotes (and without a weak W/)
};
ImageValidators ReadImageValidators(const HttpRequest& request);

// What a request asks of the picture besides naming it.
struct ImageForm {
  int32_t shrink = 0;     // `shrink`: 1 asks for the thumbnail
  int32_t width = 0;      // `width`: above 0 asks for a screen-sized rendition
  bool original = false;  // `original=1`: a HEIC, HEIF or AVIF picture as stored, to be saved
  std::string accept;     // the Accept header: whether a HEIF picture is sent as it is
};
ImageForm ReadImageForm(const HttpRequest& request);

// The complete response for the image at `path`: 304 when both validators match the
// current ones, else 200 with the file's bytes, or 404 when the file cannot be read. The
// bytes are those of a rendition where `form` asks for one and it is made: the thumbnail
// when `shrink` is 1 (from `thumbnails`), a screen-sized rendition for `width` (from
// `renditions`; a HEIF picture no wider than that gets its full-size JPEG), and for a HEIC,
// HEIF or AVIF picture the full-size JPEG when the Accept header does not name its type
// (from `renditions`). A rendition is a JPEG, or a PNG where the picture has transparency,
// with that type. The picture is the body, shared with the file cache or a store, or, for a
// large plain file, the open file. The file is read through `files`.
Response ImageFileResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                           ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                           const std::string& path, const ImageValidators& validators,
                           const ImageForm& form, std::string_view nonce);
// The same response when it can be made from memory alone, with one look at the file's
// status and without waiting for a lock that may be held long: the file cache holds the
// picture's current version, or the store its rendition, or the validators match. False
// when the answer needs more (a read, a reduction, a large file, an archive member); `*out`
// is then left alone. Made for the connection loop's thread, which must not block.
bool QuickImageFileResponse(const ImageCatalogue& catalogue, COmniFileAccess& files,
                            ThumbnailStore& thumbnails, ThumbnailStore& renditions,
                            const std::string& path, const ImageValidators& validators,
                            const ImageForm& form, std::string_view nonce, Response* out);
