// The I/O floor of a dump-tool run: reads every input file whole, then writes
// files of the given names and sizes, doing no other work. What the tool
// takes beyond this is its own cost.
//
// usage: mivo_io_floor LIST
// LIST holds lines "in PATH" (a file to read) and "out SIZE PATH" (a file to
// write), in the order the tool would handle them.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

bool ReadWhole(const std::string& path, std::vector<char>& buffer) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  buffer.resize(size_t(in.tellg()));
  in.seekg(0);
  return bool(in.read(buffer.data(), std::streamsize(buffer.size())));
}

bool WriteSized(const std::string& path, size_t size, const std::vector<char>& source) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (file == nullptr) return false;
  // The bytes of the last input stand in for computed ones.
  for (size_t done = 0; done < size;) {
    const size_t piece = std::min(size - done, source.empty() ? size_t(0) : source.size());
    if (piece == 0) return std::fseek(file.get(), long(size - 1), SEEK_SET) == 0 && std::fputc(0, file.get()) != EOF;
    if (std::fwrite(source.data(), 1, piece, file.get()) != piece) return false;
    done += piece;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: mivo_io_floor LIST\n", stderr);
    return 2;
  }
  std::ifstream list(argv[1]);
  std::vector<char> buffer;
  std::string kind;
  while (list >> kind) {
    std::string path;
    if (kind == "in") {
      std::getline(list >> std::ws, path);
      if (!ReadWhole(path, buffer)) return 1;
    } else {
      size_t size = 0;
      list >> size;
      std::getline(list >> std::ws, path);
      if (!WriteSized(path, size, buffer)) return 1;
    }
  }
  return 0;
}
