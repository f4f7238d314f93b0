// tovik-save-bench: the combined list of FILE1 and FILE2 saved as Save As saves it, to each OUT
// in turn, with the type its extension names (.csv, .html, .xlsx, else Text). Reports the time
// from the call until the file stands complete under its name; the save makes it durable first,
// so the figure includes the wait for the disk.

#include "compare/engine/compare_engine.h"
#include "compare/import/source_load.h"
#include "compare/linetable/line_table.h"
#include "compare/output/table_saveas.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: tovik-save-bench FILE1 FILE2 OUT...\n");
        return 2;
    }
    QCoreApplication app(argc, argv);
    core::line_table source1, source2, same, diff, sum;
    for (auto [path, table] : {std::pair {argv[1], &source1}, std::pair {argv[2], &source2}}) {
        if (const core::result loaded = core::load_source(path, *table); !loaded) {
            std::fprintf(stderr, "tovik-save-bench: cannot read %s: %s\n", path, loaded.reason().c_str());
            return 1;
        }
    }
    const core::compare_counts counts = core::compare_sources(source1, source2, argv[1], argv[2], same, diff, sum);
    std::printf("combined    %ld rows\n", sum.rowcount());
    if (counts.failed()) {
        std::fprintf(stderr, "tovik-save-bench: the compare failed: %s\n",
            counts.out_of_memory ? "there was not enough memory" : "a list would pass the row limit");
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        const save_type type = save_type_named_by(path).value_or(save_type::text);
        const auto start = std::chrono::steady_clock::now();
        const core::result saved = save_rows(sum, path, type);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!saved) {
            std::fprintf(stderr, "tovik-save-bench: cannot write %s: %s\n", argv[i], saved.reason().c_str());
            return 1;
        }
        std::printf(
            "save %-30s %8.4f s  %lld bytes\n", argv[i], seconds, static_cast<long long>(QFileInfo(path).size()));
    }
    return 0;
}
