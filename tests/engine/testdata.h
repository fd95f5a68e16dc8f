#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

inline std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// The rows of a data file beside the tests, split at `separator`; lines starting with # are notes.
inline std::vector<std::vector<std::string>> readTable(const std::string &file, char separator) {
    std::vector<std::vector<std::string>> rows;
    std::ifstream in(std::string(PALLIMOR_TEST_DATA) + "/" + file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.front() == '#')
            continue;
        std::vector<std::string> &row = rows.emplace_back();
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, separator);)
            row.push_back(trimmed(field));
    }
    return rows;
}

// The catalogue as the user is promised it: extension to category.
inline std::vector<std::pair<std::string, std::string>> promisedCatalogue() {
    std::vector<std::pair<std::string, std::string>> catalogue;
    for (const auto &row : readTable("catalogue.txt", ' '))
        for (std::size_t i = 1; i < row.size(); ++i)
            catalogue.emplace_back(row[i], row[0]);
    return catalogue;
}
