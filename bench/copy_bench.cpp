// tovik-copy-bench: a list pane holding the rows of FILE, all of them chosen, copied as Ctrl+C
// copies them. Reports the time from the copy until the clipboard holds the text, and checks
// that the clipboard then holds every row.

#include "compare/import/source_load.h"
#include "compare/linetable/grid_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTableView>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tovik-copy-bench FILE\n");
        return 2;
    }
    QApplication app(argc, argv);
    rt::grid_pane pane;
    if (!core::load_source(argv[1], pane.table())) {
        std::fprintf(stderr, "tovik-copy-bench: cannot read %s\n", argv[1]);
        return 1;
    }
    pane.show();
    pane.view()->setFocus();
    pane.select_all_action()->trigger();
    QApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    pane.copy_action()->trigger();
    const QString text = QApplication::clipboard()->text();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const long rows = pane.table().rowcount();
    const long lines = text.count(QLatin1Char('\n'));
    std::printf("rows        %ld\n", rows);
    std::printf("copied      %ld lines, %lld bytes as UTF-8\n", lines, static_cast<long long>(text.toUtf8().size()));
    std::printf("copy        %8.4f s\n", seconds);
    return lines == rows ? 0 : 1;
}
