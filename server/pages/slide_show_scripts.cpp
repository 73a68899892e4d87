#include "server/pages/slide_show_scripts.h"

#include "server/pages/page_common.h"

namespace {

// The sequencing script up to the link of the count request, and from there on.
const std::string& SequencingBeforeLink() {
  static const std::string text = ShiftJisPage(
      "var intervalID = 0;\r\n"
      "var maxNumber = 1;\r\n"
      "var newMax = 0;\r\n"
      "var currentIndex = 0;\r\n"
      "var IntervalTime = 5;\r\n"
      "var array2 = [];\r\n"
      "var next_img_url = '';\r\n"
      "var params = new URLSearchParams(window.location.search);\r\n"
      "var page = params.get('page');\r\n"
      "var word = params.get('word');\r\n"
      "var interval = params.get('interval');\r\n"
      // A zero or non-numeric interval would run the timer without pause.
      "if (interval !== null && Number(interval) > 0) {\r\n"
      "\tIntervalTime = Number(interval);\r\n"
      "}\r\n"
      "// The list field and order code of the key of the page: every image key starts "
      "with them.\r\n"
      "function extractBeforeSecondDash(text) {\r\n"
      "\tvar match = /^(.* ?)-(.* ?)-/.exec(text);\r\n"
      "\tif (match) {\r\n"
      "\t\treturn match[1] + '-' + match[2];\r\n"
      "\t}\r\n"
      "\treturn text;\r\n"
      "}\r\n"
      "var prefix = extractBeforeSecondDash(page);\r\n"
      "function initializeAndShuffleArray(max) {\r\n"
      "\tarray2 = [];\r\n"
      "\tfor (var i = 0; i < max; i++) {\r\n"
      "\t\tarray2.push(i);\r\n"
      "\t}\r\n"
      "\tcurrentIndex = 0;\r\n"
      "\tarray2.sort(() => Math.random() - 0.5);\r\n"
      "}\r\n"
      "function createStringFromCurrentElement() {\r\n"
      "\tif (currentIndex >= 0 && currentIndex < array2.length) {\r\n"
      "\t\treturn prefix + '-' + array2[currentIndex];\r\n"
      "\t}\r\n"
      "\tconsole.log('currentIndexが配列の範囲外です。');\r\n"
      "\treturn null;\r\n"
      "}\r\n"
      "// Bound afresh for every image, so each loaded image advances the sequence once.\r\n"
      "function onImageLoaded() {\r\n"
      "\t$('#main').fadeIn(fadeTime(400));\r\n"
      "\tfitImg();\r\n"
      "\tcurrentIndex++;\r\n"
      "\tif (currentIndex >= array2.length) {\r\n"
      "\t\tinitializeAndShuffleArray(maxNumber);\r\n"
      "\t}\r\n"
      "}\r\n"
      "// The fades take 1.4 s in all; an interval under 2 s shortens them in\r\n"
      "// proportion. At full length they would outlast the interval, and every\r\n"
      "// other picture would be skipped.\r\n"
      "function fadeTime(full) {\r\n"
      "\treturn Math.min(full, Math.floor(full * IntervalTime / 2));\r\n"
      "}\r\n"
      "function countup() {\r\n"
      "\t$('#main').fadeOut(fadeTime(1000), function () {\r\n"
      "\t\tnext_img_url = 'image?page=' + createStringFromCurrentElement();\r\n"
      "\t\tif (word) {\r\n"
      "\t\t\tnext_img_url += '&word=' + encodeURIComponent(word);\r\n"
      "\t\t}\r\n"
      "\t\t$('#main').off('load', onImageLoaded).one('load', onImageLoaded);\r\n"
      "\t\t$('#main').attr('src', next_img_url);\r\n"
      "\t});\r\n"
      "}\r\n"
      "function checkMax() {\r\n"
      "\t$.ajax({url: '");
  return text;
}

const std::string& SequencingAfterLink() {
  static const std::string text = ShiftJisPage(
      "', type: 'GET', cache: false, dataType: 'json'}).done(function (reply) {\r\n"
      "\t\tif (reply && reply.ImageURL !== undefined) {\r\n"
      "\t\t\tnewMax = reply.ImageURL;\r\n"
      "\t\t\tif (newMax !== maxNumber || currentIndex >= array2.length) {\r\n"
      "\t\t\t\tmaxNumber = newMax;\r\n"
      "\t\t\t\tinitializeAndShuffleArray(maxNumber);\r\n"
      "\t\t\t}\r\n"
      "\t\t}\r\n"
      "\t});\r\n"
      "}\r\n"
      "$(function () {\r\n"
      "\tcheckMax();\r\n"
      "\tintervalID = setInterval(countup, IntervalTime * 1000);\r\n"
      "\tsetInterval(checkMax, 60000);\r\n"
      "});\r\n");
  return text;
}

}  // namespace

std::string SlideShowSequencingScript(std::string_view next_url_link) {
  return SequencingBeforeLink() + std::string(next_url_link) + SequencingAfterLink();
}

const std::string& SlideShowSliderScript() {
  static const std::string text = ShiftJisPage(
      "$('#speed-slider').val(IntervalTime);\r\n"
      "$('#speedDisplay').text(IntervalTime);\r\n"
      "$('#speed-slider').on('input', function () {\r\n"
      "\tIntervalTime = Number($(this).val());\r\n"
      "\t$('#speedDisplay').text(IntervalTime);\r\n"
      "\tclearInterval(intervalID);\r\n"
      "\tintervalID = setInterval(countup, IntervalTime * 1000);\r\n"
      "});\r\n");
  return text;
}
