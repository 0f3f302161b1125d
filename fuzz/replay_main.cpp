// Runs the fuzz target over files or directories of inputs, for builds
// without libFuzzer.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// `path` itself, or the regular files directly in it when it is a directory.
std::vector<std::string> Inputs(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return {path};
    }
    std::vector<std::string> files;
    DIR* dir = opendir(path.c_str());
    for (const dirent* e = dir != nullptr ? readdir(dir) : nullptr; e != nullptr; e = readdir(dir)) {
        const std::string file = path + "/" + e->d_name;
        if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            files.push_back(file);
        }
    }
    if (dir != nullptr) {
        closedir(dir);
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::string& f : Inputs(argv[i])) {
            std::ifstream in(f, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                             std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    std::printf("replayed %d inputs\n", count);
    return count > 0 ? 0 : 1;
}
