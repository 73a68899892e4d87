// The keys that name a page of thumbnails ("T-1-PN-0") or one image ("1-N-42") in the `page`
// query parameter. Fields are joined by "-"; the list field is carried from key to key
// unchanged and means nothing to the server.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "server/catalogue/list_order.h"

struct PageKey {
  std::string list_field;
  std::string order_code;  // as written in the key
  ListOrder order = ListOrder::Name;
  int32_t page = 0;  // zero-based; may be negative or past the end, callers clamp
};

struct ImageKey {
  std::string list_field;
  std::string order_code;
  ListOrder order = ListOrder::Name;
  int32_t position = 0;  // in the order narrowed by the accompanying search word
};

// Exactly four fields, the first "T". False for anything else.
bool ParsePageKey(std::string_view text, PageKey* out);

// Exactly three fields. False for anything else.
bool ParseImageKey(std::string_view text, ImageKey* out);

// An image key as /image reads it: at least three fields, the ones after the third ignored,
// so the direct link's form (DirectLinkKey) names the same image.
bool ParseImageLinkKey(std::string_view text, ImageKey* out);

// The key of the image page's direct link to the picture itself: the image key + "-img".
std::string DirectLinkKey(std::string_view image_key);

std::string MakePageKey(std::string_view list_field, ListOrder order, int64_t page);
std::string MakeImageKey(std::string_view list_field, ListOrder order, int64_t position);

// A key's number read like C atol on a 32-bit long: leading blanks, an optional sign, the
// digits that follow; no digits read as 0, and values past the 32-bit range stop at its ends.
int32_t ReadKeyNumber(std::string_view text);
