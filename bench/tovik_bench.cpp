// tovik-bench: a compare without a window. Loads two files as the source panes do,
// compares them as the Compare button does, and reports the time of each phase, the row
// counts and the peak memory. With --out it writes the combined list as Save As does, in the
// type the file's extension names.

#include "compare/engine/compare_engine.h"
#include "compare/import/source_load.h"
#include "compare/output/table_writers.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const usage = "usage: tovik-bench [--repeat N] [--out FILE] FILE1 FILE2";

struct options {
    int repeat = 1;
    std::string out;
    std::string file1, file2;
};

bool parse(int argc, char** argv, options& o, std::string& error)
{
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--repeat" || a == "--out") {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            const std::string v = argv[++i];
            if (a == "--out") {
                o.out = v;
                continue;
            }
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 1 || n > 1000) {
                error = "--repeat needs a number from 1 to 1000";
                return false;
            }
            o.repeat = static_cast<int>(n);
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            error = "unknown option " + a;
            return false;
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        error = files.size() < 2 ? "two files are needed" : "only two files can be compared";
        return false;
    }
    o.file1 = files[0];
    o.file2 = files[1];
    return true;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Loads one file; false (with the line to print) when it cannot be read whole.
bool load(const std::string& path, core::line_table& table, std::string& error)
{
    const core::result r = core::load_source(path, table);
    if (r)
        return true;
    error = "cannot read " + path + ": " + (r.reason().empty() ? std::string("unknown error") : r.reason());
    return false;
}

bool ends_with(const std::string& s, const char* tail)
{
    const std::size_t n = std::strlen(tail);
    return s.size() >= n && s.compare(s.size() - n, n, tail) == 0;
}

// Writes the combined list through the writer that Save As uses for the file's extension:
// .csv and .xlsx as those types, any other name as Text.
bool write_sum(const core::line_table& sum, const std::string& path, std::string& error)
{
    const core::row_source& rows = sum;
    core::result written;
    if (ends_with(path, ".xlsx")) {
        written = core::write_xlsx_file(rows, path);
    } else {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            written = {core::fault::open_failed, std::strerror(errno)};
        else if (ends_with(path, ".csv"))
            written = core::write_csv(rows, out);
        else
            written = core::write_text(rows, out);
        if (written) {
            out.close();
            if (!out)
                written = {core::fault::write_failed, "the data could not be written"};
        }
    }
    if (!written)
        error = "cannot write " + path + ": " + written.reason();
    return written.ok();
}

} // namespace

int main(int argc, char** argv)
{
    options o;
    std::string error;
    if (!parse(argc, argv, o, error)) {
        std::fprintf(stderr, "tovik-bench: %s (%s)\n", error.c_str(), usage);
        return 2;
    }

    std::vector<double> load1, load2, compare, total;
    core::compare_counts counts;
    // The last run's tables stay for --out.
    std::unique_ptr<core::line_table> s1, s2, same, diff, sum;
    for (int run = 0; run < o.repeat; ++run) {
        s1.reset();
        s2.reset();
        same.reset();
        diff.reset();
        sum.reset();
        s1 = std::make_unique<core::line_table>();
        s2 = std::make_unique<core::line_table>();
        same = std::make_unique<core::line_table>();
        diff = std::make_unique<core::line_table>();
        sum = std::make_unique<core::line_table>();

        const auto start = std::chrono::steady_clock::now();
        if (!load(o.file1, *s1, error)) {
            std::fprintf(stderr, "tovik-bench: %s\n", error.c_str());
            return 1;
        }
        const double t1 = seconds_since(start);
        const auto start2 = std::chrono::steady_clock::now();
        if (!load(o.file2, *s2, error)) {
            std::fprintf(stderr, "tovik-bench: %s\n", error.c_str());
            return 1;
        }
        const double t2 = seconds_since(start2);
        const auto start3 = std::chrono::steady_clock::now();
        counts = core::compare_sources(*s1, *s2, o.file1, o.file2, *same, *diff, *sum);
        const double t3 = seconds_since(start3);
        if (counts.failed()) {
            std::fprintf(stderr, "tovik-bench: the compare failed: %s\n",
                counts.out_of_memory ? "there was not enough memory" : "a list would pass the row limit");
            return 1;
        }
        load1.push_back(t1);
        load2.push_back(t2);
        compare.push_back(t3);
        total.push_back(seconds_since(start));
    }

    std::printf("load 1      %8.4f s\n", median(load1));
    std::printf("load 2      %8.4f s\n", median(load2));
    std::printf("compare     %8.4f s\n", median(compare));
    std::printf("total       %8.4f s\n", median(total));
    std::printf("rows 1      %ld\n", counts.rows1);
    std::printf("rows 2      %ld\n", counts.rows2);
    std::printf("similarity  %ld\n", counts.same);
    std::printf("difference  %ld\n", counts.diff);
    std::printf("combined    %ld\n", counts.sum);
    rusage usage_now {};
    getrusage(RUSAGE_SELF, &usage_now);
    std::printf("peak RSS    %.1f MB\n", static_cast<double>(usage_now.ru_maxrss) / 1024.0);
    std::fflush(stdout);

    if (!o.out.empty()) {
        const auto start = std::chrono::steady_clock::now();
        if (!write_sum(*sum, o.out, error)) {
            std::fprintf(stderr, "tovik-bench: %s\n", error.c_str());
            return 1;
        }
        std::printf("write       %8.4f s\n", seconds_since(start));
        getrusage(RUSAGE_SELF, &usage_now);
        std::printf("peak RSS    %.1f MB after writing\n", static_cast<double>(usage_now.ru_maxrss) / 1024.0);
    }
    return 0;
}
