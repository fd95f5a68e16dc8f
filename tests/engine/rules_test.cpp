#include "catalogue.h"
#include "rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace pallimor;

namespace {

template <typename Result> struct Row {
    const char *why;
    std::string input;
    Result expected;
};

template <typename Result>
void checkRows(const std::function<Result(std::string_view)> &rule,
               const std::vector<Row<Result>> &rows) {
    for (const Row<Result> &row : rows)
        EXPECT_EQ(rule(row.input), row.expected) << row.why << ": \"" << row.input << '"';
}

void setAllSwitches(bool value) {
    for (auto &[category, held] : FileCategory)
        held = value;
}

} // namespace

TEST(Rules, GetFileExtension) {
    checkRows<std::string>(getFileExtension, {
                                                 {"plain extension", "report.pdf", ".pdf"},
                                                 {"last dot wins", "archive.tar.gz", ".gz"},
                                                 {"case kept", "report.PDF", ".PDF"},
                                                 {"no dot", "README", ""},
                                                 {"only a leading dot", ".bashrc", ""},
                                                 {"hidden with extension", ".hidden.txt", ".txt"},
                                                 {"trailing dot", "notes.", "."},
                                                 {"two leading dots", "..bar", ".bar"},
                                                 {"empty", "", ""},
                                                 {"dot alone", ".", ""},
                                                 {"two dots alone", "..", ""},
                                                 {"three dots", "...", "."},
                                                 {"dot only in a folder", "dir.d/readme", ""},
                                                 {"full path", "/home/u/dir.d/photo.jpeg", ".jpeg"},
                                                 {"trailing separator", "dir/", ""},
                                                 {"non-ASCII", "\xC3\xA9t\xC3\xA9.JPG", ".JPG"},
                                             });
}

TEST(Rules, NameFilters) {
    checkRows<bool>(isHiddenFile, {
                                      {"empty", "", false},
                                      {"leading dot", ".env", true},
                                      {"inner dot", "a.b", false},
                                      {"blank before dot", " .env", false},
                                  });
    checkRows<bool>(isCriticalFile, {
                                        {"dot name has no extension", ".bashrc", false},
                                        {"critical extension", "notes.profile", true},
                                        {"capitals still critical", "NOTES.PROFILE", true},
                                        {"another", "keys.ssh", true},
                                        {"no dot", "profile", false},
                                        {"ordinary", "photo.jpg", false},
                                    });
    checkRows<bool>(isException, {
                                     {"exception", "setup.ini", true},
                                     {"capitals still excepted", "SETUP.INI", true},
                                     {"no dot", "ini", false},
                                     {"not the last extension", "setup.ini.txt", false},
                                 });
    checkRows<bool>(isPlainFile, {
                                     {"no extension", "/home/u/README", true},
                                     {"dot name", "/home/u/.env", true},
                                     {"trailing dot", "/home/u/notes.", false},
                                     {"dotted folder", "/home/u/dir.d/README", true},
                                 });
}

TEST(Rules, CategorizeFile) {
    checkRows<std::string>(categorizeFile,
                           {
                               {"capitals filed", "photo.JPG", "Images/Jpg"},
                               {"source code", "main.cpp", "Programming-Languages/Cpp"},
                               {"no extension", "README", "Plain-Files"},
                               {"unknown extension", "archive.zip", "Uncategorized"},
                               {"trailing dot", "notes.", "Uncategorized"},
                               {"catalogue key with capitals", "clip.ratDVD", "Videos/Ratdvd"},
                               {"that key in other capitals", "clip.RATDVD", "Videos/Ratdvd"},
                               {"the other key with capitals", "scene.mkv3D", "Videos/Mkv3d"},
                               {"digit first", "clip.3gp_128x96", "Videos/3gp_128x96"},
                               {"odd characters", "clip.mp4;v=1", "Videos/Mp4;v=1"},
                               {"ts is video", "stream.ts", "Videos/Ts"},
                               {"tsx is code", "view.tsx", "Programming-Languages/Tsx"},
                               {"full path", "/home/u/dir.d/report.pdf", "Documents/Pdf"},
                               {"non-ASCII letter not folded", "x.\xC3\x89XE", "Uncategorized"},
                               {"exception still has a folder", "setup.ini", "Uncategorized"},
                           });
}

TEST(Rules, IsNotIncludedFollowsTheSwitchWhateverTheCase) {
    struct SwitchRow {
        const char *why;
        std::string name;
        std::string category;
        bool held;
        bool expected;
    };
    const std::vector<SwitchRow> rows = {
        {"held", "photo.jpg", "Images", true, true},
        {"sorted", "photo.jpg", "Images", false, false},
        {"capitals still held back", "photo.JPG", "Images", true, true},
        {"capitals sorted", "PHOTO.JPG", "Images", false, false},
        {"key with capitals", "clip.ratDVD", "Videos", true, true},
        {"that key lower-cased", "clip.ratdvd", "Videos", true, true},
        {"codes box", "main.cpp", "Programming-Languages", true, true},
        {"no extension has no category", "README", "Plain-Files", true, false},
        {"unknown extension", "archive.zip", "Documents", true, false},
    };
    for (const SwitchRow &row : rows) {
        setAllSwitches(!row.held);
        FileCategory[row.category] = row.held;
        EXPECT_EQ(isNotIncluded(row.name), row.expected) << row.why << ": " << row.name;
    }
}

TEST(Rules, SystemFilesSwitchChangesNoRule) {
    const std::vector<std::string> names = {"photo.jpg",     "README", "setup.ini", "a.sys",
                                            "notes.profile", "x.dll",  ".env"};
    auto answers = [&names] {
        std::vector<std::string> result;
        for (const std::string &name : names)
            result.push_back(categorizeFile(name) + std::to_string(isNotIncluded(name)) +
                             std::to_string(isException(name)) +
                             std::to_string(isCriticalFile(name)));
        return result;
    };
    setAllSwitches(false);
    FileCategory["System-Files"] = false;
    const auto off = answers();
    FileCategory["System-Files"] = true;
    EXPECT_EQ(answers(), off);
}
