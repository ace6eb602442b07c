// Writes the bundle's Turtle files into a folder: run by the build after the binaries.
//
//   zerin-lv2-turtle OUTPUT_DIR DSP_BINARY [UI_BINARY]

#include "lv2/turtle.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: zerin-lv2-turtle OUTPUT_DIR DSP_BINARY [UI_BINARY]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const zerin::lv2::BundleFiles files{argv[2], argc == 4 ? argv[3] : ""};
    const std::pair<const char*, std::string> outputs[] = {
        {"manifest.ttl", zerin::lv2::manifestTurtle(files)},
        {"zerin.ttl", zerin::lv2::pluginTurtle(files)},
        {"presets.ttl", zerin::lv2::presetsTurtle()},
    };
    for (const auto& [name, text] : outputs) {
        const std::string path = dir + "/" + name;
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::fprintf(stderr, "zerin-lv2-turtle: %s: cannot write\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
