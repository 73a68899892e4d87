// The five orders in which the gallery shows the catalogue, and their codes in keys.
#pragma once

#include <string_view>

enum class ListOrder {
  Name = 0,             // "N": every image in name order
  Date = 1,             // "D": every image, oldest first
  Likes = 2,            // "F": liked images, most liked first
  FolderTopByName = 3,  // "PN": the first image of each folder in name order
  FolderTopByDate = 4,  // "PD": the oldest image of each folder; folders in name order
};

constexpr int kListOrderCount = 5;

std::string_view ListOrderCode(ListOrder order);

// The order a key's code names; a code that is none of the five is read as Name.
ListOrder ListOrderFromCode(std::string_view code);
