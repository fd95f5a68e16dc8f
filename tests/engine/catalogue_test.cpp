#include "catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>

using namespace pallimor;

namespace {

std::map<std::string, int> extensionsPerCategory() {
    std::map<std::string, int> counts;
    for (const auto &[extension, category] : CATEGORIES)
        ++counts[category];
    return counts;
}

bool isKeyCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ';' ||
           c == '=';
}

} // namespace

TEST(Catalogue, StartsAsTheProcessBuildsIt) {
    EXPECT_EQ(CATEGORIES.size(), 368u);
    EXPECT_EQ(CRITICAL_FILES.size(), 7u);
    EXPECT_EQ(EXCEPTIONS, std::vector<std::string>{".ini"});
    EXPECT_FALSE(hasSortProcessStarted);
    const std::map<std::string, bool> allOff = {
        {"Documents", false},    {"Images", false},      {"Audios", false},
        {"Videos", false},       {"Executables", false}, {"Shortcuts", false},
        {"System-Files", false}, {"Plain-Files", false}, {"Programming-Languages", false}};
    EXPECT_EQ(FileCategory, allOff);
}

TEST(Catalogue, CountsPerCategory) {
    const std::map<std::string, int> expected = {{"Documents", 12},
                                                 {"Images", 8},
                                                 {"Audios", 10},
                                                 {"Videos", 305},
                                                 {"Executables", 3},
                                                 {"Shortcuts", 1},
                                                 {"Programming-Languages", 29}};
    EXPECT_EQ(extensionsPerCategory(), expected);
}

TEST(Catalogue, KeysAreSingleDottedExtensions) {
    for (const auto &[extension, category] : CATEGORIES) {
        SCOPED_TRACE(extension);
        EXPECT_EQ(extension.front(), '.');
        EXPECT_EQ(std::count(extension.begin(), extension.end(), '.'), 1);
        EXPECT_GE(extension.size(), 2u);
        EXPECT_LE(extension.size(), 13u);
        EXPECT_TRUE(std::all_of(extension.begin() + 1, extension.end(), isKeyCharacter));
        EXPECT_EQ(FileCategory.count(category), 1u) << "category without a switch";
    }
}

TEST(Catalogue, OnlyTwoKeysHoldCapitals) {
    std::vector<std::string> withCapitals;
    for (const auto &[extension, category] : CATEGORIES) {
        if (std::any_of(extension.begin(), extension.end(),
                        [](char c) { return std::isupper(static_cast<unsigned char>(c)); }))
            withCapitals.push_back(extension);
    }
    EXPECT_EQ(withCapitals, (std::vector<std::string>{".mkv3D", ".ratDVD"}));
}

TEST(Catalogue, EachExtensionHasOneCategory) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {".ts", "Videos"},       {".tsx", "Programming-Languages"},
        {".mts", "Videos"},      {".m2ts", "Videos"},
        {".mts1", "Videos"},     {".ts4", "Videos"},
        {".jpg", "Images"},      {".exe", "Executables"},
        {".bat", "Executables"}, {".cmd", "Executables"},
        {".lnk", "Shortcuts"},   {".ps", "Videos"},
        {".dat", "Videos"},      {".scr", "Videos"},
        {".anydesk", "Videos"},  {".mp4;v=1", "Videos"},
        {".mp4", "Videos"},      {".3gp_128x96", "Videos"},
        {".ratDVD", "Videos"},   {".mkv3D", "Videos"},
        {".md", "Documents"},    {".m4a", "Audios"},
    };
    for (const auto &[extension, category] : rows) {
        SCOPED_TRACE(extension);
        ASSERT_EQ(CATEGORIES.count(extension), 1u);
        EXPECT_EQ(CATEGORIES.at(extension), category);
    }
}

TEST(Catalogue, NamesThatAreNoKeys) {
    for (const std::string &name : CRITICAL_FILES)
        EXPECT_EQ(CATEGORIES.count(name), 0u) << name;
    for (const char *name : {".ini", ".INI", ".zip", ".", ""})
        EXPECT_EQ(CATEGORIES.count(name), 0u) << name;
    for (const auto &[extension, category] : CATEGORIES) {
        EXPECT_NE(category, "System-Files");
        EXPECT_NE(category, "Plain-Files");
    }
    EXPECT_EQ(FileCategory.count("Uncategorized"), 0u);
}

TEST(Catalogue, LettersCaseDoesNotChangeAnExtensionsMeaning) {
    for (const char *spelling : {".JPG", ".Jpg", ".RATDVD", ".ratdvd", ".MKV3D", ".MP4;V=1"})
        EXPECT_EQ(CATEGORIES.count(spelling), 1u) << spelling;
}
