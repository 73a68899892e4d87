// "/vote?page=KEY&word=WORD&id=ID": one like for the image that the image page with that key
// showed, answered as JSON with the image's like count after it. The count is kept by the
// catalogue's like table, per content of the file.
//
// Hashing a picture's file the first time it is liked may take a while, so such a vote is
// counted by a job on the worker pool; a vote for a picture hashed before, and a request
// that names no image, are answered at once.
#pragma once

#include <string>
#include <string_view>

#include "server/catalogue/image_catalogue.h"
#include "server/net/request_process.h"
#include "server/threads/thread_mgr.h"

// A like must carry this header line, which the gallery's own script sends (jQuery adds it to
// every request to the page's own site) and a page of another site cannot; without it the
// answer is 403.
inline constexpr std::string_view kVoteRequestHeader = "X-Requested-With";
inline constexpr std::string_view kVoteRequestHeaderValue = "XMLHttpRequest";

class CVoteProcess : public CRequestProcess {
 public:
  // `catalogue` and `pool` must outlive the handler and its jobs.
  explicit CVoteProcess(ImageCatalogue& catalogue, MySystem::CThreadMgr* pool)
      : catalogue_(catalogue), pool_(pool) {}

  std::string GetPath() override { return "/vote"; }
  // Answers or queues the job that will; always 1.
  int Process(IncomingRequest& request) override;

 private:
  ImageCatalogue& catalogue_;
  MySystem::CThreadMgr* pool_;
};

// The reply body for `request`, with its closing CR LF, counting the like when the request
// names an image whose content can be read:
//   {"state":"success","response":"xxx","viewNum":"N"}  N the image's count after the like
//   {"state":"error","message":"REASON"}                  nothing counted
// REASON is, checked in this order: missing_page_parameter (no `page`), invalid_page_format
// (not three fields), index_not_found (no image at the key's position of the key's order
// narrowed by `word`; with an `id`, which the image page sends, no picture of that PictureId),
// hash_not_found (the image's file cannot be read). With an `id` the like counts for the
// picture it names, wherever rescans have moved it since the page was made.
std::string CountVote(ImageCatalogue& catalogue, const s_request& request);

// The complete response for a reply body.
Response VoteResponse(std::string body, std::string_view nonce);
