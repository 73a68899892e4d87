// What the benchmarks share: a clock, a median, and the synthetic 100 000-image gallery of
// 1 000 folders ("albumNNNN/photo III_F.jpg") they measure on.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "server/catalogue/image_entry.h"

constexpr int kBenchFolders = 1000;
constexpr int kBenchImagesPerFolder = 100;

double NowMs();
double Median(std::vector<double> values);

// The gallery's entries under `root`, positioned for the orders; with `write_files` the folders
// and empty files are made on disk too.
std::vector<ImageEntry> BenchGallery(const std::filesystem::path& root, bool write_files);
