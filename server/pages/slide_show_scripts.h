// The inline scripts of the slide show page, built in from resources/ and held in Shift-JIS like
// the page around them.
#pragma once

#include <string>
#include <string_view>

// Shows the images of the page's order and search in random sequence: asks `next_url_link`
// (a link safe inside a quoted script string, such as SafeLinkFrom writes) how many there are
// at start and every minute, and every IntervalTime seconds fades the image out, loads the
// next one from "image" and fades it in. IntervalTime is 5 unless the query's `interval`
// gives a positive number of seconds (a zero or non-numeric one would run the timer without
// pause).
std::string SlideShowSequencingScript(std::string_view next_url_link);

// Puts IntervalTime on the slider and its label, and restarts the sequence timer with the
// slider's value whenever it moves.
const std::string& SlideShowSliderScript();
