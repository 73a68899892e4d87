#include "server/catalogue/list_order.h"

namespace {

constexpr std::string_view kCodes[kListOrderCount] = {"N", "D", "F", "PN", "PD"};

}  // namespace

std::string_view ListOrderCode(ListOrder order) {
  return kCodes[static_cast<int>(order)];
}

ListOrder ListOrderFromCode(std::string_view code) {
  for (int i = 0; i < kListOrderCount; ++i) {
    if (kCodes[i] == code) return static_cast<ListOrder>(i);
  }
  return ListOrder::Name;
}
