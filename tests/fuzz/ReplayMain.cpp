// ReplayMain.cpp - runs a fuzz target over saved inputs, without libFuzzer.
//
//   <target>_replay PATH...
//
// Each PATH is an input file or a directory whose regular files (names not
// starting with '.') are inputs. Every input goes through the target's
// LLVMFuzzerTestOneInput once, in a heap block of exactly its size so that
// AddressSanitizer sees any read past it. Exit 0 when every input ran; 1
// when a path cannot be read or no input was found. A target that finds a
// fault aborts, which fails the run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool ListInputs(const std::string& path, std::vector<std::string>& inputs) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        inputs.push_back(path);
        return true;
    }
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) {
        std::fprintf(stderr, "replay: cannot list %s\n", path.c_str());
        return false;
    }
    std::vector<std::string> found;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string child = path + "/" + entry->d_name;
        struct stat childStat {};
        if (::stat(child.c_str(), &childStat) == 0 && S_ISREG(childStat.st_mode)) found.push_back(child);
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

bool ReadInput(const std::string& path, std::vector<char>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    bool ok = true;
    for (int i = 1; i < argc; ++i) ok = ListInputs(argv[i], inputs) && ok;
    if (!ok) return 1;
    if (inputs.empty()) {
        std::fprintf(stderr, "replay: no inputs\n");
        return 1;
    }
    std::vector<char> bytes;
    for (const std::string& input : inputs) {
        if (!ReadInput(input, bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", input.c_str());
            return 1;
        }
        // An exact-size block: a read one byte past the input is caught.
        std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[bytes.size()]);
        if (!bytes.empty()) std::memcpy(block.get(), bytes.data(), bytes.size());
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(block.get(), bytes.size());
    }
    std::fprintf(stderr, "replay: %zu inputs ran\n", inputs.size());
    return 0;
}
