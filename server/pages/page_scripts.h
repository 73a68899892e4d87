// The navigation scripts of the thumbnail and image pages, built in from resources/, every line
// ending "\r\n", and held in Shift-JIS like the pages that load them. Built once on first use;
// safe to call from any thread.
#pragma once

#include <string>

// Image page: fits the element of class fitImg into the window on load and on resize.
const std::string& ImagePageScript();
// Image page: arrow and remote-control keys, and swipes on the article, load the pages that
// the anchors NextPage, PrevPage and RandomPage name.
const std::string& ImagePageMoveScript();
// Thumbnail page: arrow and remote-control keys load the pages of NextPage and PrevPage.
const std::string& ImageThumbnailPageMoveByKeyScript();
// Thumbnail page: sideways swipes on the article load the pages of NextPage and PrevPage.
const std::string& ImageThumbnailPageMoveByTouchScript();
