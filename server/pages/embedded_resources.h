// The files built into the server: jQuery and jQuery UI as the npm packages ship them, and our
// own style sheets and scripts from server/pages/resources/. Each function returns the file's
// bytes exactly, from storage that lives as long as the program.
//
// Our scripts are written in UTF-8 with the line ends they are served with; the code that
// serves them converts them to Shift-JIS. A line or string reading {{name}} in a script marks
// the place where the page or script that uses it fills in its own part.
#pragma once

#include <string_view>

namespace embedded {

std::string_view JqueryMinJs();         // jquery/dist/jquery.min.js, jQuery 3.6.4
std::string_view JqueryUiJs();          // jquery-ui/dist/jquery-ui.js, jQuery UI 1.13.2
std::string_view ImagePageUiJs();       // ImagePageUI.js
std::string_view ImageViewerJs();       // ImageViewer.js
std::string_view FontCss();             // font.css
std::string_view DirectImagePageCss();  // DirectImagePage.css
std::string_view HeaderBarCss();        // 5-1-9.css

// Served under their own names; both move scripts take SwipeTracking.js at {{SwipeTracking.js}}.
std::string_view ImagePageJs();                      // ImagePage.js
std::string_view ImagePageMoveJs();                  // ImagePageMove.js
std::string_view ImageThumbnailPageMoveByKeyJs();    // ImageThumbnailPageMoveByKey.js
std::string_view ImageThumbnailPageMoveByTouchJs();  // ImageThumbnailPageMoveByTouch.js
std::string_view SwipeTrackingJs();                  // SwipeTracking.js

// Inline in their pages, with the page's own link at {{vote_link}} and {{next_url_link}}.
std::string_view ImagePageLikeJs();      // ImagePageLike.js, lines ending "\n" alone
std::string_view SlideShowSequenceJs();  // SlideShowSequence.js
std::string_view SlideShowSliderJs();    // SlideShowSlider.js
std::string_view UploaderJs();           // Uploader.js, the uploader page's batching script

}  // namespace embedded
