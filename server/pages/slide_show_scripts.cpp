#include "server/pages/slide_show_scripts.h"

#include "server/pages/embedded_resources.h"
#include "server/pages/page_common.h"

namespace {

// The sequencing script (resources/SlideShowSequence.js) in Shift-JIS, up to the link of the
// count request and from there on.
struct SequencingScript {
  std::string before_link;
  std::string after_link;
};

const SequencingScript& Sequencing() {
  static const SequencingScript script = [] {
    const ScriptAroundMarker utf8 =
        SplitAtMarker(embedded::SlideShowSequenceJs(), "{{next_url_link}}");
    return SequencingScript{ShiftJisPage(utf8.before), ShiftJisPage(utf8.after)};
  }();
  return script;
}

}  // namespace

std::string SlideShowSequencingScript(std::string_view next_url_link) {
  const SequencingScript& script = Sequencing();
  return script.before_link + std::string(next_url_link) + script.after_link;
}

const std::string& SlideShowSliderScript() {
  static const std::string text = ShiftJisPage(embedded::SlideShowSliderJs());
  return text;
}
