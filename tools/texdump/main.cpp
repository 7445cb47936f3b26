// Placeholder entry point until the driver lands.
#include <cstdio>

int main() {
  std::printf("usage: mivo_texdump [--out DIR] [--csv FILE] [--no-images] [--pack-template DIR] [--pack-png] "
              "[--tail-check FILE [--tail-images DIR]] FILE_OR_DIR...\n");
  return 2;
}
