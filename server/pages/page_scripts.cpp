#include "server/pages/page_scripts.h"

#include <string>

#include "server/pages/page_common.h"

// The key names in the case comments are Japanese; the scripts are converted to Shift-JIS
// once, as the pages are, since a browser reads a script without a charset in the encoding of
// the page that loads it.

namespace {

// Where a one-finger swipe starts and whether it runs left or right; both move scripts
// begin their touch handling with these lines.
constexpr char kSwipeTracking[] =
    "$(function () {\r\n"
    "\tvar fingers = 0;\r\n"
    "\tvar positionXo = 0;\r\n"
    "\tvar positionYo = 0;\r\n"
    "\tvar direction = '';\r\n"
    "\t$('article').on('touchstart', function (e) {\r\n"
    "\t\tvar touches = e.originalEvent.touches;\r\n"
    "\t\tfingers = touches.length;\r\n"
    "\t\tpositionXo = touches[0].pageX;\r\n"
    "\t\tpositionYo = touches[0].pageY;\r\n"
    "\t\tdirection = '';\r\n"
    "\t});\r\n"
    "\t$('article').on('touchmove', function (e) {\r\n"
    "\t\tvar touches = e.originalEvent.touches;\r\n"
    "\t\tif (touches.length != 1 || fingers != 1) return;\r\n"
    "\t\tvar positionX = touches[0].pageX;\r\n"
    "\t\tvar positionY = touches[0].pageY;\r\n"
    "\t\tif (Math.abs(positionYo - positionY) < 20) {\r\n"
    "\t\t\tif (positionXo - positionX > 40) {\r\n"
    "\t\t\t\tdirection = 'left';\r\n"
    "\t\t\t} else if (positionXo - positionX < -40) {\r\n"
    "\t\t\t\tdirection = 'right';\r\n"
    "\t\t\t}\r\n"
    "\t\t}\r\n";

}  // namespace

const std::string& ImagePageScript() {
  static const std::string script = ShiftJisPage(
      "function fitImg() {\r\n"
      "\t$('.fitImg').each(function () {\r\n"
      "\t\tvar img = $(this);\r\n"
      "\t\timg.css({position: '', left: '', top: '', width: '', height: ''});\r\n"
      "\t\tvar width = this.naturalWidth;\r\n"
      "\t\tvar height = this.naturalHeight;\r\n"
      "\t\tif (!width || !height) return; // not loaded yet: the load event fits it\r\n"
      "\t\tvar windowWidth = $(window).width();\r\n"
      "\t\tvar windowHeight = $(window).height();\r\n"
      "\t\tvar scale = Math.min(windowWidth / width, windowHeight / height);\r\n"
      "\t\tvar scaledWidth = width * scale;\r\n"
      "\t\tvar scaledHeight = height * scale;\r\n"
      "\t\timg.css({\r\n"
      "\t\t\tposition: 'absolute',\r\n"
      "\t\t\tleft: Math.floor((windowWidth - scaledWidth) / 2) + 'px',\r\n"
      "\t\t\ttop: Math.floor((windowHeight - scaledHeight) / 2) + 'px',\r\n"
      "\t\t\twidth: scaledWidth + 'px',\r\n"
      "\t\t\theight: scaledHeight + 'px',\r\n"
      "\t\t\tvisibility: 'visible'\r\n"
      "\t\t});\r\n"
      "\t});\r\n"
      "\t$('.box').outerHeight($(window).height());\r\n"
      "}\r\n"
      "$(window).on('load resize', fitImg);\r\n");
  return script;
}

const std::string& ImagePageMoveScript() {
  static const std::string script = ShiftJisPage(
      "$(document).keydown(function (e) {\r\n"
      "if(e.altKey==false){\r\n"
      "\t\tswitch (e.which){\r\n"
      "\t\tcase 39: // Key[→]\r\n"
      "\t\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
      "e.preventDefault()\r\n"
      "\t\t\tbreak; \r\n"
      "\t\tcase 37: // Key[←]\r\n"
      "\t\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
      "e.preventDefault()\r\n"
      "\t\t\tbreak; \r\n"
      "\t\tcase 38: // Key[↑]\r\n"
      "\t\t\t\twindow.location.href = $('#RandomPage').attr('href');\r\n"
      "e.preventDefault()\r\n"
      "\t\t\tbreak; \r\n"
      "\t\t}\r\n"
      "\t}\r\n"
      "});\r\n"
      "$(window).keyup(function (e) {\r\n"
      "if(e.altKey==false){\r\n"
      "\t\tswitch (e.which){\r\n"
      "\t\tcase 227: // Key[早送り]\r\n"
      "\t\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
      "e.preventDefault()\r\n"
      "\t\t\tbreak; \r\n"
      "\t\tcase 228: // Key[巻き戻し]\r\n"
      "\t\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
      "e.preventDefault()\r\n"
      "\t\t\tbreak; \r\n"
      "\t\t}\r\n"
      "\t}\r\n"
      "});\r\n" +
      std::string(kSwipeTracking) +
      "\t\tif (Math.abs(positionXo - positionX) < 20) {\r\n"
      "\t\t\tif (positionYo - positionY > 40) {\r\n"
      "\t\t\t\tdirection = 'up';\r\n"
      "\t\t\t} else if (positionYo - positionY < -40) {\r\n"
      "\t\t\t\tdirection = 'down';\r\n"
      "\t\t\t}\r\n"
      "\t\t}\r\n"
      "\t});\r\n"
      "\t$('article').on('touchend', function () {\r\n"
      "\t\tif (direction == 'up') {\r\n"
      "\t\t\twindow.location.href = $('#RandomPage').attr('href');\r\n"
      "\t\t} else if (direction == 'right') {\r\n"
      "\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
      "\t\t} else if (direction == 'left') {\r\n"
      "\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
      "\t\t}\r\n"
      "\t});\r\n"
      "});\r\n");
  return script;
}

const std::string& ImageThumbnailPageMoveByKeyScript() {
  static const std::string script = ShiftJisPage(
      "$(document).keydown(function (e) {\r\n"
      "if(e.altKey==false){\r\n"
      "\t\tswitch (e.which){\r\n"
      "\t\tcase 39: // Key[→]\r\n"
      "\t\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
      "\t\t\tbreak; \r\n"
      "\t\tcase 37: // Key[←]\r\n"
      "\t\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
      "\t\t\tbreak; \r\n"
      "\t\t}\r\n"
      "\t}\r\n"
      "});\r\n"
      "$(window).keyup(function (e) {\r\n"
      "if(e.altKey==false){\r\n"
      "\t\tswitch (e.which){\r\n"
      "\t\tcase 227: // Key[早送り]\r\n"
      "\t\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
      "\t\t\tbreak; \r\n"
      "\t\tcase 228: // Key[巻き戻し]\r\n"
      "\t\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
      "\t\t\tbreak; \r\n"
      "\t\t}\r\n"
      "\t}\r\n"
      "});\r\n");
  return script;
}

const std::string& ImageThumbnailPageMoveByTouchScript() {
  static const std::string script =
      ShiftJisPage(std::string(kSwipeTracking) +
                   "\t});\r\n"
                   "\t$('article').on('touchend', function () {\r\n"
                   "\t\tif (direction == 'right') {\r\n"
                   "\t\t\twindow.location.href = $('#PrevPage').attr('href');\r\n"
                   "\t\t} else if (direction == 'left') {\r\n"
                   "\t\t\twindow.location.href = $('#NextPage').attr('href');\r\n"
                   "\t\t}\r\n"
                   "\t});\r\n"
                   "});\r\n");
  return script;
}
