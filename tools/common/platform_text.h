// Text and paths at the edge of the programs. On Linux paths are byte
// strings and every function here passes bytes through. On Windows the
// C runtime's narrow strings (argv, fopen, printf) are in the ANSI code page,
// while some arguments are read as UTF-8 and paths are UTF-16 inside.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mivo {

// The arguments after the program name, as UTF-8. On Windows they are read
// again from the wide command line, so characters outside the ANSI code page
// survive; elsewhere they are argv's bytes.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// A path from text in the platform's narrow encoding, and back; a character
// that the narrow encoding lacks becomes "?".
std::filesystem::path PathFromNarrow(const std::string& text);
std::string NarrowFromPath(const std::filesystem::path& path);

}  // namespace mivo
