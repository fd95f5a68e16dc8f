#include "nativefs.h"

#include "nativefs_shared.h"

namespace pallimor {

namespace fs = std::filesystem;

namespace {

class KeptBothNames : public std::error_category {
public:
    const char *name() const noexcept override { return "kept both names"; }
    std::string message(int reason) const override {
        return "its old name could not be removed (" +
               messageOf({reason, std::generic_category()}) + ")";
    }
};

} // namespace

const std::error_category &keptBothNamesCategory() {
    static const KeptBothNames category;
    return category;
}

void Listing::add(std::basic_string_view<fs::path::value_type> name, ListedType type,
                  bool isHidden) {
    names.append(name);
    records.push_back({names.size(), type, isHidden});
}

Listing::Entry Listing::operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : records[index - 1].end;
    const Record &record = records[index];
    return {fs::path(names.substr(begin, record.end - begin)), record.type, record.isHidden};
}

std::error_code SortedDirectory::createFolders(const fs::path &relative) const {
    fs::path folder;
    for (const fs::path &part : relative) {
        folder /= part;
        if (const std::error_code error = makeFolder(folder))
            return error;
    }
    return checkIsFolder(relative);
}

} // namespace pallimor
