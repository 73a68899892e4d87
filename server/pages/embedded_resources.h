// The files built into the server: jQuery and jQuery UI as the npm packages ship them, and our
// own style sheets and header script from server/pages/resources/. Each function returns the
// file's bytes exactly, from storage that lives as long as the program.
#pragma once

#include <string_view>

namespace embedded {

std::string_view JqueryMinJs();         // jquery/dist/jquery.min.js, jQuery 3.6.4
std::string_view JqueryUiJs();          // jquery-ui/dist/jquery-ui.js, jQuery UI 1.13.2
std::string_view ImagePageUiJs();       // ImagePageUI.js
std::string_view FontCss();             // font.css
std::string_view DirectImagePageCss();  // DirectImagePage.css
std::string_view HeaderBarCss();        // 5-1-9.css

}  // namespace embedded
