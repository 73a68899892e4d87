#include "common/config/tag_lookup.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// One element located in the text: where its opening and closing tags start.
struct TagPair {
  size_t open;
  size_t close;
};

// Walks the elements of one key in the order the lookups share.
class TagWalk {
 public:
  TagWalk(std::string_view text, std::string_view key)
      : text_(text), open_("<" + std::string(key)), close_("</" + std::string(key) + ">") {}

  // The first pair: both tags searched from the start of the text.
  bool First(TagPair* pair) {
    pair_.open = text_.find(open_);
    pair_.close = text_.find(close_);
    return Check(pair);
  }

  // The next pair: the opening tag searched from the previous closing tag, its closing tag
  // from the new opening tag.
  bool Next(TagPair* pair) {
    pair_.open = text_.find(open_, pair_.close);
    pair_.close = pair_.open == npos ? npos : text_.find(close_, pair_.open);
    return Check(pair);
  }

  // The value between the opening tag's ">" and the closing tag. An opening tag whose first
  // ">" lies beyond the closing tag is malformed and has no value.
  bool ValueOf(const TagPair& pair, std::string* value) const {
    size_t gt = text_.find('>', pair.open);
    if (gt == npos || gt >= pair.close) return false;
    value->assign(text_.substr(gt + 1, pair.close - gt - 1));
    return true;
  }

 private:
  bool Check(TagPair* pair) const {
    if (pair_.open == npos || pair_.close == npos || pair_.open >= pair_.close) return false;
    *pair = pair_;
    return true;
  }

  std::string_view text_;
  std::string open_;
  std::string close_;
  TagPair pair_{npos, npos};
};

}  // namespace

bool FindTagValue(std::string_view text, std::string_view key, std::string* value) {
  TagWalk walk(text, key);
  TagPair pair;
  return walk.First(&pair) && walk.ValueOf(pair, value);
}

std::vector<std::string> FindAllTagValues(std::string_view text, std::string_view key) {
  std::vector<std::string> values;
  TagWalk walk(text, key);
  TagPair pair;
  std::string value;
  for (bool found = walk.First(&pair); found && walk.ValueOf(pair, &value);
       found = walk.Next(&pair)) {
    values.push_back(value);
  }
  return values;
}

size_t CountTagValues(std::string_view text, std::string_view key) {
  return FindAllTagValues(text, key).size();
}

bool GetTagValueAt(std::string_view text, std::string_view key, size_t index, std::string* value) {
  TagWalk walk(text, key);
  TagPair pair;
  if (!walk.First(&pair)) return false;
  for (size_t i = 0; i < index; ++i) {
    // A malformed element ends the walk here too, so the getter agrees with the counter.
    if (!walk.ValueOf(pair, value) || !walk.Next(&pair)) return false;
  }
  return walk.ValueOf(pair, value);
}
