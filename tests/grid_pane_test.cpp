// The grid pane: the model over the line table, the total line, the looks and the drops.

#include "compare/linetable/grid_pane.h"
#include "runtime/grid_model.h"
#include "runtime/units.h"
#include "support/theme.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

#include <string>
#include <vector>

namespace {

using core::column;

// A pane that knows which object the drag under its events began at; a real drag needs a
// platform that runs one.
class dragged_pane : public rt::grid_pane {
public:
    QObject* started_at = nullptr;

protected:
    QObject* drag_source(const QDropEvent*) const override { return started_at; }
};

void add_rows(core::line_table& t, const std::vector<std::string>& texts)
{
    for (const std::string& s : texts)
        QCOMPARE(t.set(column::es_text, t.insertrow(0), s), 1L);
}

QString cell(const QAbstractItemModel* m, int row, int column)
{
    return m->data(m->index(row, column)).toString();
}

// Sends a drag event to `target` and tells whether it was accepted. Qt hands moves and drops
// only to the widget that accepted the drag's entry, as during a real drag.
bool offered(QWidget* target, QEvent::Type type)
{
    // What a list widget's drag carries: an item view would take it as rows for its model.
    QMimeData mime;
    mime.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent* e = type == QEvent::Drop ? &drop : type == QEvent::DragEnter ? &enter : &move;
    QCoreApplication::sendEvent(target, e);
    return e->isAccepted();
}

// Ends whatever drag a test left entered, so that Qt forgets the pane before it is destroyed.
struct end_of_drag {
    QWidget* pane;
    ~end_of_drag()
    {
        QDragLeaveEvent e;
        QCoreApplication::sendEvent(pane, &e);
    }
};

} // namespace

class grid_pane_test : public QObject {
    Q_OBJECT
private slots:
    void follows_every_change_of_the_table();
    void failed_table_shows_the_rows_it_holds();
    void looks_as_designed();
    void geometry_in_units();
    void long_lines_are_cut_for_display();
    void drops_only_from_the_set_source();
    void five_million_rows();
    void chosen_rows_copy_as_lines();
    void a_million_rows_copy_whole();
    void a_screen_reader_hears_the_pane_and_its_current_row();
};

void grid_pane_test::follows_every_change_of_the_table()
{
    rt::grid_pane pane;
    core::line_table& t = pane.table();
    QAbstractItemModel* m = pane.model();
    QAbstractItemModelTester tester(m, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(m, &QAbstractItemModel::modelReset);
    const auto shown = [&](int rows) {
        QCOMPARE(m->rowCount(), rows);
        QCOMPARE(pane.count_label()->text(), QString::number(rows));
    };

    QCOMPARE(pane.total_label()->text(), QStringLiteral("Total :"));
    shown(0);
    add_rows(t, {"cherry", "apple"});
    shown(2);

    const std::string text = "banana\ndate";
    const core::line_span spans[] = {{0, 6}, {7, 4}};
    QCOMPARE(t.append_lines(core::make_block(text), spans, 2), 4L);
    shown(4);
    QCOMPARE(cell(m, 3, 1), QStringLiteral("date"));

    // The number column counts the rows in their current order.
    QCOMPARE(t.setsort("es_text A"), 1L);
    QCOMPARE(t.sort(), 1L);
    shown(4);
    const QStringList sorted
        = {QStringLiteral("apple"), QStringLiteral("banana"), QStringLiteral("cherry"), QStringLiteral("date")};
    for (int r = 0; r < 4; ++r) {
        QCOMPARE(cell(m, r, 0), QString::number(r + 1));
        QCOMPARE(cell(m, r, 1), sorted[r]);
    }

    core::line_table other;
    add_rows(other, {"p", "q"});
    QCOMPARE(other.set(column::es_text2, 2, "from q"), 1L);
    QCOMPARE(other.rowscopy(1, 2, t, 1), 1L);
    shown(6);
    QCOMPARE(cell(m, 1, 1), QStringLiteral("q"));
    QCOMPARE(cell(m, 1, 2), QStringLiteral("from q"));

    {
        // A batch of changes reaches the view as one reset.
        const int before = resets.count();
        core::line_table::batch b(t);
        add_rows(t, {"e", "f"});
        QCOMPARE(t.insertrow(1), 1L);
        QCOMPARE(resets.count(), before);
    }
    shown(9);

    QCOMPARE(t.reset(), 1L);
    shown(0);
    QCOMPARE(t.insertrow(0), 1L);
    shown(1);
}

void grid_pane_test::failed_table_shows_the_rows_it_holds()
{
    rt::grid_pane pane;
    core::line_table& t = pane.table();
    const long saved = core::line_table::row_limit();
    core::line_table::set_row_limit(2);
    add_rows(t, {"a", "b"});
    QCOMPARE(t.insertrow(0), -1L);
    core::line_table::set_row_limit(saved);

    QVERIFY(t.rowcount() < 0);
    QCOMPARE(pane.model()->rowCount(), 2);
    QCOMPARE(pane.count_label()->text(), QStringLiteral("2"));
    QCOMPARE(t.reset(), 1L);
    add_rows(t, {"c"});
    QCOMPARE(pane.count_label()->text(), QStringLiteral("1"));
}

void grid_pane_test::looks_as_designed()
{
    rt::grid_pane pane;
    add_rows(pane.table(), {"keep"});
    QTableView* view = pane.view();
    QAbstractItemModel* m = pane.model();

    QVERIFY(view->horizontalHeader()->isHidden());
    QVERIFY(view->verticalHeader()->isHidden());

    QCOMPARE(m->data(m->index(0, 0), Qt::BackgroundRole).value<QBrush>().color(), QColor(192, 192, 192));
    QVERIFY(!m->data(m->index(0, 1), Qt::BackgroundRole).isValid());
    QVERIFY(!m->data(m->index(0, 2), Qt::BackgroundRole).isValid());
    QCOMPARE(view->viewport()->palette().color(QPalette::Base), QColor(Qt::white));
    for (int c = 0; c < 3; ++c) {
        const QFont f = m->data(m->index(0, c), Qt::FontRole).value<QFont>();
        QCOMPARE(f.family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(f.pointSize(), 8);
        QVERIFY(!f.bold());
    }
    QVERIFY(pane.total_label()->font().bold());
    QVERIFY(!pane.count_label()->font().bold());
    for (QLabel* label : {pane.total_label(), pane.count_label()}) {
        QVERIFY(label->autoFillBackground());
        QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::white));
    }

    // Not editable, whatever asks.
    for (int c = 0; c < 3; ++c)
        QVERIFY(!(m->flags(m->index(0, c)) & Qt::ItemIsEditable));
    QVERIFY(!m->setData(m->index(0, 1), QStringLiteral("changed")));
    QCOMPARE(pane.table().get(column::es_text, 1), std::string_view("keep"));

    // One tab stop, the view's: Tab does not walk the cells.
    QVERIFY(!view->tabKeyNavigation());
    QVERIFY(view->focusPolicy() & Qt::TabFocus);
}

void grid_pane_test::geometry_in_units()
{
    rt::grid_pane pane;
    add_rows(pane.table(), {"a", "b"});
    pane.resize(rt::units_x(1477), rt::units_y(569));
    pane.show();
    QTableView* view = pane.view();

    QCOMPARE(view->rowHeight(0), rt::units_y(69));
    QCOMPARE(view->rowHeight(1), rt::units_y(69));
    QCOMPARE(view->columnWidth(0), rt::units_x(138 - 10));
    QCOMPARE(view->columnWidth(1), rt::units_x(1637 - 138));
    QCOMPARE(view->columnWidth(2), rt::units_x(453));

    QCOMPARE(pane.total_label()->geometry(), rt::unit_rect(14, 0, 202, 53));
    QCOMPARE(pane.count_label()->geometry(), rt::unit_rect(206, 0, 220, 49));
    // The total line lies below the rows, inside the border.
    QWidget* total = pane.total_label()->parentWidget();
    QCOMPARE(total->height(), rt::units_y(53));
    QVERIFY(total->geometry().top() > view->geometry().bottom());
    QVERIFY(pane.contentsRect().contains(total->geometry()));
}

void grid_pane_test::long_lines_are_cut_for_display()
{
    core::line_table t;
    rt::grid_model m(t);
    // Three-byte characters, so a cut at the byte limit would fall inside one.
    std::string line;
    while (line.size() < 3u * rt::grid_model::display_limit)
        line += "\xE2\x82\xAC";
    add_rows(t, {line, "short"});

    const QString shown = cell(&m, 0, 1);
    QVERIFY(shown.size() <= rt::grid_model::display_limit + 1);
    QVERIFY(shown.endsWith(QChar(0x2026)));
    QVERIFY(!shown.contains(QChar(QChar::ReplacementCharacter)));
    QCOMPARE(shown.left(3), QString(3, QChar(0x20AC)));
    QCOMPARE(cell(&m, 1, 1), QStringLiteral("short"));
    QCOMPARE(t.get(column::es_text, 1).size(), line.size());
}

void grid_pane_test::drops_only_from_the_set_source()
{
    QObject list, other;
    dragged_pane pane;
    end_of_drag ender {&pane};
    QSignalSpy drops(&pane, &rt::grid_pane::dragdrop);

    // With no source set nothing is taken.
    QVERIFY(!pane.acceptDrops());
    QVERIFY(!offered(&pane, QEvent::DragEnter));
    QVERIFY(!offered(pane.view()->viewport(), QEvent::DragEnter));

    pane.accept_drops_from(&list);
    // The rows' area and the rest of the pane judge alike.
    for (QWidget* target : {static_cast<QWidget*>(&pane), pane.view()->viewport()}) {
        pane.started_at = &list;
        QVERIFY(offered(target, QEvent::DragEnter));
        QVERIFY(offered(target, QEvent::DragMove));
        QVERIFY(offered(target, QEvent::Drop));
        QCOMPARE(drops.count(), 1);
        QCOMPARE(drops.takeFirst().at(0).value<QObject*>(), &list);

        pane.started_at = &other;
        QVERIFY(!offered(target, QEvent::DragEnter));
        pane.started_at = nullptr; // from outside the program
        QVERIFY(!offered(target, QEvent::DragEnter));

        // Even a drop delivered after an accepted entry is judged by its own source.
        for (QObject* stranger : {static_cast<QObject*>(&other), static_cast<QObject*>(nullptr)}) {
            pane.started_at = &list;
            QVERIFY(offered(target, QEvent::DragEnter));
            pane.started_at = stranger;
            QVERIFY(!offered(target, QEvent::DragMove));
            QVERIFY(!offered(target, QEvent::Drop));
        }
        QCOMPARE(drops.count(), 0);
    }

    pane.accept_drops_from(nullptr);
    pane.started_at = nullptr;
    QVERIFY(!pane.acceptDrops());
    QVERIFY(!offered(&pane, QEvent::DragEnter));
}

// Whether the last row's number is drawn as wide as the same digits drawn alone, rather than
// cut short with "…".
static bool last_number_reads_whole(rt::grid_pane& pane)
{
    QTableView* view = pane.view();
    const long n = pane.table().rowcount();
    view->scrollToBottom();
    const int drawn = testing::ink_width(
        view->viewport()->grab().toImage(), view->visualRect(pane.model()->index(n - 1, 0)), rt::light_grey());
    QImage alone(200, 60, QImage::Format_RGB32);
    alone.fill(rt::light_grey());
    QPainter painter(&alone);
    painter.setFont(view->font());
    painter.drawText(4, 40, QString::number(n));
    painter.end();
    return drawn >= testing::ink_width(alone, alone.rect(), rt::light_grey()) - 1;
}

void grid_pane_test::five_million_rows()
{
    {
        rt::grid_pane four_digits;
        four_digits.resize(rt::units_x(631), rt::units_y(569));
        four_digits.show();
        add_rows(four_digits.table(), std::vector<std::string>(1200, "x"));
        QVERIFY(last_number_reads_whole(four_digits));
    }

    constexpr int n = 5000000;
    std::string text;
    text.reserve(n * 8u);
    std::vector<core::line_span> spans;
    spans.reserve(n);
    for (int i = 0; i < n; ++i) {
        const std::string line = "r" + std::to_string(i);
        spans.push_back({text.size(), line.size()});
        text += line;
    }

    rt::grid_pane pane;
    pane.resize(rt::units_x(1477), rt::units_y(569));
    pane.show();
    QCOMPARE(pane.table().append_lines(core::make_block(std::move(text)), spans.data(), spans.size()), long(n));
    const QAbstractItemModel* m = pane.model();
    QCOMPARE(m->rowCount(), n);
    QCOMPARE(cell(m, n - 1, 0), QStringLiteral("5000000"));
    QCOMPARE(cell(m, n - 1, 1), QStringLiteral("r4999999"));
    QCOMPARE(pane.count_label()->text(), QStringLiteral("5000000"));

    pane.view()->scrollToBottom();
    QVERIFY(pane.view()->rowAt(pane.view()->viewport()->height() - 1) >= n - 20);
    // The last number reads whole: its cell has grown for seven digits, from the designed three.
    QVERIFY(last_number_reads_whole(pane));
}

void grid_pane_test::chosen_rows_copy_as_lines()
{
    rt::grid_pane pane;
    pane.resize(rt::units_x(1477), rt::units_y(569));
    add_rows(pane.table(), {"one", "two", "three", "four"});
    QCOMPARE(pane.table().set(column::es_text2, 2, "c:\\b.txt"), 1L);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    QTableView* view = pane.view();
    const auto click = [&](int row, Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QTest::mouseClick(
            view->viewport(), Qt::LeftButton, keys, view->visualRect(pane.model()->index(row, 1)).center());
    };
    const auto copied = [&] {
        QApplication::clipboard()->clear();
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        return QApplication::clipboard()->text();
    };
    // Click, Ctrl+click and Shift+click choose rows; the copy keeps the pane's order.
    click(3);
    click(1, Qt::ControlModifier);
    QCOMPARE(copied(), QStringLiteral("two\tc:\\b.txt\nfour\n"));
    click(0);
    click(2, Qt::ShiftModifier);
    QCOMPARE(copied(), QStringLiteral("one\ntwo\tc:\\b.txt\nthree\n"));
    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(copied(), QStringLiteral("one\ntwo\tc:\\b.txt\nthree\nfour\n"));
    // The context menu offers both, and the cells stay as they were.
    QStringList offered;
    for (QAction* a : view->actions())
        offered << a->text();
    QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(offered, (QStringList {QStringLiteral("Copy"), QStringLiteral("Select All")}));
    QTest::keyClick(view, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(pane.table().get(column::es_text, 1), std::string_view("one"));
    QCOMPARE(pane.table().rowcount(), 4L);
    // In a pane narrower than its text band, moving to a row keeps the row numbers in sight.
    pane.resize(rt::units_x(300), rt::units_y(569));
    QTRY_VERIFY(view->horizontalScrollBar()->maximum() > 0);
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(view->currentIndex().row(), 1);
    QCOMPARE(view->horizontalScrollBar()->value(), 0);
}

void grid_pane_test::a_million_rows_copy_whole()
{
    constexpr int n = 1000000;
    std::string text, expected;
    std::vector<core::line_span> spans;
    for (int i = 0; i < n; ++i) {
        const std::string line = "row " + std::to_string(i);
        spans.push_back({text.size(), line.size()});
        text += line;
        expected += line + '\n';
    }
    rt::grid_pane pane;
    QCOMPARE(pane.table().append_lines(core::make_block(std::move(text)), spans.data(), spans.size()), long(n));
    pane.show();
    QVERIFY(QTest::qWaitForWindowActive(&pane));
    pane.view()->setFocus(); // the keys are the view's own, as after a click into it
    QTest::keyClick(pane.view(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(pane.view(), Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->text().toUtf8() == QByteArray::fromStdString(expected));
}

void grid_pane_test::a_screen_reader_hears_the_pane_and_its_current_row()
{
    QWidget window;
    auto* before = new QPushButton(QStringLiteral("Compare"), &window);
    auto* pane = new rt::grid_pane(&window);
    pane->setAccessibleName(QStringLiteral("Difference"));
    pane->setGeometry(0, 40, 400, 300);
    window.resize(400, 340);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(pane->view());
    QVERIFY(face && face->tableInterface());
    QCOMPARE(face->role(), QAccessible::Table);
    QCOMPARE(face->text(QAccessible::Name), QStringLiteral("Difference"));
    QCOMPARE(face->text(QAccessible::Description), QStringLiteral("No rows"));
    add_rows(pane->table(), {"cherry", "apple"});
    QCOMPARE(pane->table().set(column::es_text2, 1, "c:\\one.txt"), 1L);
    QCOMPARE(face->text(QAccessible::Description), QStringLiteral("2 rows"));

    // Tab into the pane: it has the focus, on its first row; an arrow moves the row told.
    before->setFocus();
    QVERIFY(!face->state().focused);
    QTest::keyClick(before, Qt::Key_Tab);
    QVERIFY(face->state().focused && face->state().focusable);
    QCOMPARE(face->text(QAccessible::Description), QStringLiteral("Row 1 of 2: cherry, from c:\\one.txt"));
    QTest::keyClick(pane->view(), Qt::Key_Down);
    QCOMPARE(face->text(QAccessible::Description), QStringLiteral("Row 2 of 2: apple"));

    // Its cells read as the rows, numbered without the hidden headers.
    QAccessibleTableInterface* table = face->tableInterface();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->columnCount(), 3);
    QAccessibleInterface* cell = table->cellAt(1, 1);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("apple"));
    QCOMPARE(face->indexOfChild(cell), 4);
    QCOMPARE(face->child(4), cell);
    QVERIFY(cell->state().selected && table->isRowSelected(1));
    QCOMPARE(face->childCount(), 6);
}

QTEST_MAIN(grid_pane_test)
#include "grid_pane_test.moc"
