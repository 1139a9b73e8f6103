#include "app/data_path.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string data_file_path(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || fs::path(path).is_absolute() || fs::exists(path, ec))
        return path;
    fs::path program_dir = fs::read_symlink("/proc/self/exe", ec).parent_path();
    if (ec)
        return path;
    fs::path build = fs::weakly_canonical(GLOWCAM_BUILD_DIR, ec);
    fs::path inside = program_dir.lexically_relative(build);
    fs::path data = !ec && !inside.empty() && *inside.begin() != ".."
                        ? build
                        : program_dir / GLOWCAM_DATA_FROM_BIN;
    fs::path found = data / path;
    return fs::exists(found, ec) ? found.lexically_normal().string() : path;
}
