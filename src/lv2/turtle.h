#pragma once

// The bundle's Turtle, made from the parameter table and the factory curves at build time so
// that nothing is ever kept in step by hand.

#include <string>

namespace zerin::lv2 {

struct BundleFiles {
    std::string dspBinary; // file name of the DSP library in the bundle
    std::string uiBinary;  // file name of the UI library; empty: no UI
};

std::string manifestTurtle(const BundleFiles& files);
std::string pluginTurtle(const BundleFiles& files);
std::string presetsTurtle();

// "shimmer-wash" for "Shimmer Wash": the last part of a factory preset's URI.
std::string presetSlug(const std::string& name);

} // namespace zerin::lv2
