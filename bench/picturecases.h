#pragma once

#include <string>

namespace Cases {
struct Options;
}

// A picture in a large formatted document: the 5 MB RTF of the RTF cases opened as it is and
// with one PNG of about 1 MB added to its first paragraphs, where the first paint shows it.
namespace PictureCases {

// --case add-picture --input RTF --output RTF: the RTF with the PNG put in after its first
// paragraph. Reports the PNG's size.
int addPicture(const Cases::Options &options);

// penloft-bench --pictures [--quick]: makes both files (0.5 MB with --quick), opens each in
// our editor three times, turn about, and prints the medians beside each other.
int compare(const std::string &self, bool quick);

} // namespace PictureCases
