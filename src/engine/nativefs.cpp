#include "nativefs.h"

#include "nativefs_shared.h"

#include <algorithm>

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

namespace {

// Names are kept in blocks of this many characters, each filled before the next is begun.
constexpr std::size_t namesPerBlock = 1 << 16;

} // namespace

void Listing::add(Name name, ListedType type, bool isHidden) {
    if (blocks.empty() || blocks.back().capacity() - blocks.back().size() < name.size()) {
        blocks.emplace_back();
        blocks.back().reserve(std::max(namesPerBlock, name.size()));
    }
    auto &block = blocks.back();
    records.push_back({static_cast<std::uint32_t>(blocks.size() - 1),
                       static_cast<std::uint32_t>(block.size()),
                       static_cast<std::uint32_t>(name.size()), type, isHidden});
    block.append(name);
}

Listing::Entry Listing::operator[](std::size_t index) const {
    const Record &record = records[index];
    return {fs::path(Name(blocks[record.block]).substr(record.offset, record.length)), record.type,
            record.isHidden};
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
