#include "workload.h"

#include "rules.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// What a camera dump or a Downloads folder holds: catalogue extensions in both letter cases,
// a name without one, a double and an unknown one, and a name that reads as markup. The
// number of the file goes in place of %06d.
// clang-format off
constexpr std::array<const char *, 16> kinds = {
    "IMG_%06d.jpg", "DSC%06d.JPG", "Screenshot %06d.png", "report-%06d.pdf", "Notes %06d.TXT",
    "letter_%06d.docx", "Q&amp;A <draft> %06d.md", "track %06d.mp3", "VID_%06d.MP4",
    "clip-%06d.mkv", "main%06d.cpp", "setup-%06d.Exe", "link %06d.lnk", "README-%06d",
    "backup-%06d.tar.gz", "data_%06d.xyz"};
// clang-format on

ino_t createEmptyFile(const fs::path &path) {
    const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0644);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0)
        throw std::system_error(errno, std::generic_category(), "create " + path.native());
    ::close(fd);
    return status.st_ino;
}

void fail(const std::string &fault) {
    throw std::runtime_error(fault);
}

} // namespace

Workload::Workload(fs::path root, int fileCount) : root(std::move(root)) {
    for (int index = 0; index < fileCount; ++index) {
        std::string name(64, '\0');
        name.resize(std::snprintf(name.data(), name.size(), kinds[index % kinds.size()], index));
        // Every box is unticked, so the engine's rules must move every file.
        const pallimor::Placement placement = pallimor::placementOf(name);
        if (placement.kind != pallimor::Placement::Moved)
            fail("the rules do not move " + name);
        const std::string folder = placement.categoryPath + "/";
        std::string to = folder + name;
        // A few names are taken already, some twice, so that the run has to number them.
        const int taken = index % 400 == 7 ? 2 : index % 200 == 7 ? 1 : 0;
        for (int count = 1; count <= taken; ++count) {
            occupants.push_back({to, to});
            // The next free name: a number before the extension.
            to = folder + fs::path(name).stem().string() + std::to_string(count) +
                 fs::path(name).extension().string();
        }
        moves.push_back({name, to});
    }
}

void Workload::create() {
    fs::remove_all(root);
    fs::create_directories(root);
    for (File &file : occupants) {
        fs::create_directories((root / file.to).parent_path());
        file.inode = createEmptyFile(root / file.to);
    }
    for (File &file : moves)
        file.inode = createEmptyFile(root / file.from);
    // Written out now, so that the journal does not flush them during a timed run.
    if (const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
}

void Workload::checkTree() const {
    for (const auto *files : {&moves, &occupants}) {
        for (const File &file : *files) {
            struct stat status {};
            if (::lstat((root / file.to).c_str(), &status) != 0 || status.st_ino != file.inode ||
                status.st_size != 0)
                fail("the untouched file from " + file.from + " is not at " + file.to);
        }
    }
}

void Workload::checkLog(std::string_view log) const {
    std::vector<std::string> lines, expected;
    for (std::size_t begin = 0, end = 0; end != std::string_view::npos; begin = end + 1) {
        end = log.find('\n', begin);
        lines.emplace_back(log.substr(begin, end - begin));
    }
    const std::string tail = " seconds with " + std::to_string(moves.size()) + " file(s).";
    if (lines.size() < 2 || lines.front() != "Result Summary: " ||
        !lines.back().starts_with("Process Finished in ") || !lines.back().ends_with(tail))
        fail("a log from \"" + lines.front() + "\" to \"" + lines.back() + "\"");
    // The moves come in the directory's order, so they are compared sorted.
    lines = {lines.begin() + 1, lines.end() - 1};
    for (const File &file : moves)
        expected.push_back("Moved: " + (root / file.from).native() + " -> " +
                           (root / file.to).native());
    std::ranges::sort(lines);
    std::ranges::sort(expected);
    const auto [line, move] = std::ranges::mismatch(lines, expected);
    if (line != lines.end() || move != expected.end())
        fail("log line \"" + (line != lines.end() ? *line : "") + "\" where \"" +
             (move != expected.end() ? *move : "") + "\" belongs");
}
