#include "catalogue.h"
#include "variants.h"
#include "workload.h"

#include <QApplication>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <thread>

#include <sys/vfs.h>

namespace fs = std::filesystem;

namespace {

struct Options {
    std::vector<int> sizes = {1000, 10000, 100000};
    int runs = 5;
    fs::path directory = "pallimor-bench-files";
};

enum Variant { Floor, Engine, Window, Reference, VariantCount };

constexpr std::array<const char *, VariantCount> variantNames = {"floor", "engine alone",
                                                                 "window run", "literal reference"};

using Runs = std::array<std::vector<Measurement>, VariantCount>;

struct SizeResult {
    int files = 0;
    std::array<double, VariantCount> median{};
    long peakKiB = 0;
    long laidOutPeakKiB = 0;
    double paneAfterEngine = 0;
};

std::vector<int> parseSizes(const char *text) {
    std::vector<int> sizes;
    std::istringstream list(text);
    for (std::string size; std::getline(list, size, ',');)
        sizes.push_back(std::stoi(size));
    return sizes;
}

Options parseOptions(int argc, char **argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--sizes")
            options.sizes = parseSizes(argv[i + 1]);
        else if (name == "--runs")
            options.runs = std::max(1, std::stoi(argv[i + 1]));
        else if (name == "--dir")
            options.directory = argv[i + 1];
        else
            throw std::invalid_argument("unknown option " + name);
    }
    return options;
}

std::string fileSystemName(const fs::path &directory) {
    struct statfs info {};
    if (::statfs(directory.c_str(), &info) != 0)
        return "unknown";
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:
        return "ext4";
    case 0x01021994:
        return "tmpfs (memory, not a disk)";
    case 0x58465342:
        return "xfs";
    case 0x9123683E:
        return "btrfs";
    case 0x794C7630:
        return "overlayfs";
    default: {
        std::array<char, 32> text{};
        std::snprintf(text.data(), text.size(), "type 0x%lx",
                      static_cast<unsigned long>(info.f_type));
        return text.data();
    }
    }
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double medianOf(const std::vector<Measurement> &runs, double Measurement::*field) {
    std::vector<double> values;
    for (const Measurement &run : runs)
        values.push_back(run.*field);
    return median(values);
}

double perTenThousand(double seconds, int files) {
    return seconds * 10000.0 / files;
}

double megabytes(long kibibytes) {
    return static_cast<double>(kibibytes) * 1024.0 / 1e6;
}

class Bench {
public:
    Bench(Options options, fs::path executable)
        : options(std::move(options)), executable(std::move(executable)) {
        this->options.directory = fs::absolute(this->options.directory);
    }

    bool run() {
        printHeader();
        for (int files : options.sizes) {
            Runs runs;
            if (!measure(files, runs))
                return false;
            results.push_back(summarise(files, runs));
            printSize(results.back(), runs);
        }
        printTargets();
        fs::remove_all(options.directory);
        return true;
    }

private:
    // The variants take turns within each round, each starting the round in turn, so that a
    // slow spell of the disk falls on all of them alike.
    bool measure(int files, Runs &runs) {
        Workload workload(options.directory / "sorted", files);
        for (int round = 0; round < options.runs; ++round) {
            for (int turn = 0; turn < VariantCount; ++turn) {
                const auto variant = static_cast<Variant>((round + turn) % VariantCount);
                workload.create();
                Measurement measurement = runVariant(variant, workload);
                if (!measurement.fault.empty()) {
                    std::cout << "FAULT: " << variantNames[variant] << ", " << files
                              << " files, run " << round + 1 << ": " << measurement.fault
                              << "\n(the directory is left at " << workload.directoryText()
                              << ")\n";
                    return false;
                }
                runs[variant].push_back(measurement);
                workload.remove();
            }
        }
        return true;
    }

    Measurement runVariant(Variant variant, const Workload &workload) const {
        switch (variant) {
        case Floor:
            return runFloor(workload);
        case Engine:
            return runEngine(workload);
        case Window:
            return runWindow(workload, executable, options.directory / "window-run");
        default:
            return runLiteralReference(workload);
        }
    }

    static SizeResult summarise(int files, const Runs &runs) {
        SizeResult result;
        result.files = files;
        for (int variant = 0; variant < VariantCount; ++variant)
            result.median[variant] = medianOf(runs[variant], &Measurement::seconds);
        for (const Measurement &run : runs[Window]) {
            result.peakKiB = std::max(result.peakKiB, run.peakKiB);
            result.laidOutPeakKiB = std::max(result.laidOutPeakKiB, run.laidOutPeakKiB);
        }
        result.paneAfterEngine = medianOf(runs[Window], &Measurement::paneAfterEngine);
        return result;
    }

    void printHeader() const {
        fs::create_directories(options.directory);
        std::printf("Pallimor benchmark: %u cores, files in %s (%s), median of %d runs\n",
                    std::thread::hardware_concurrency(), fs::absolute(options.directory).c_str(),
                    fileSystemName(options.directory).c_str(), options.runs);
        std::printf("every run checked: each file found by its inode where it belongs, every "
                    "log line as expected\n\n");
        std::printf("%8s  %-18s %9s %9s %8s %13s\n", "files", "variant", "median s", "min s",
                    "x floor", "s/10k files");
    }

    static void printSize(const SizeResult &result, const Runs &runs) {
        for (int variant = 0; variant < VariantCount; ++variant) {
            double fastest = runs[variant].front().seconds;
            for (const Measurement &run : runs[variant])
                fastest = std::min(fastest, run.seconds);
            std::printf("%8d  %-18s %9.3f %9.3f %8.2f %13.3f\n", result.files,
                        variantNames[variant], result.median[variant], fastest,
                        result.median[variant] / result.median[Floor],
                        perTenThousand(result.median[variant], result.files));
        }
        std::printf("%8s  window run: pane painted %.3f s after the engine's end; peak resident "
                    "memory %.0f MB when shown, %.0f MB once every line is laid out\n\n",
                    "", result.paneAfterEngine, megabytes(result.peakKiB),
                    megabytes(result.laidOutPeakKiB));
        std::fflush(stdout);
    }

    static void printTarget(const char *target, double value, double limit, bool atMost) {
        const bool met = atMost ? value <= limit : value >= limit;
        std::printf("  %-52s %8.3f  %s\n", target, value, met ? "met" : "MISSED");
    }

    void printTargets() const {
        const SizeResult &largest = results.back();
        std::printf("Targets at %d files:\n", largest.files);
        const double floor = largest.median[Floor];
        printTarget("window run / floor (<= 1.25)", largest.median[Window] / floor, 1.25, true);
        printTarget("engine alone / floor (<= 1.15)", largest.median[Engine] / floor, 1.15, true);
        printTarget("pane painted after the engine's end, s (<= 0.5)", largest.paneAfterEngine, 0.5,
                    true);
        printTarget("window run peak resident memory, MB (<= 150)",
                    megabytes(largest.laidOutPeakKiB), 150, true);
        printTarget("literal reference / window run (>= 5)",
                    largest.median[Reference] / largest.median[Window], 5, false);
        const auto tenth = std::find_if(results.begin(), results.end(), [&](const SizeResult &r) {
            return r.files * 10 == largest.files;
        });
        if (tenth != results.end())
            printFlatness(largest, *tenth);
    }

    static void printFlatness(const SizeResult &largest, const SizeResult &tenth) {
        for (Variant variant : {Window, Engine}) {
            const std::string target = std::string(variantNames[variant]) + " s/10k at " +
                                       std::to_string(largest.files) + " / at " +
                                       std::to_string(tenth.files) + " (<= 1.3)";
            printTarget(target.c_str(),
                        perTenThousand(largest.median[variant], largest.files) /
                            perTenThousand(tenth.median[variant], tenth.files),
                        1.3, true);
        }
    }

    Options options;
    fs::path executable;
    std::vector<SizeResult> results;
};

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && std::strcmp(argv[1], "--window-run") == 0)
        return windowRunMain(argc, argv, argv[2], argv[3]);
    try {
        const Options options = parseOptions(argc, argv);
        // The window runs headless, so the figures do not depend on a desktop.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        // Every switch off, as when every box is unticked: every file moves.
        for (auto &[category, held] : pallimor::FileCategory)
            held = false;
        return Bench(options, fs::read_symlink("/proc/self/exe")).run() ? 0 : 1;
    } catch (const std::exception &error) {
        std::cerr << "pallimor_bench: " << error.what() << '\n';
        return 2;
    }
}
