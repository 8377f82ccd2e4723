#include "GuiTest.h"
#include "rowviews/SubviewController.h"
#include "rowviews/SubviewTableViewCell.h"
#include "rowviews/SubviewTableViewController.h"
#include "support/TestEnvironment.h"

#include <gtkmm/builder.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

namespace {

const char* const tableLayout = R"(<?xml version="1.0" encoding="UTF-8"?>
<interface>
  <object class="GtkWindow" id="window">
    <property name="default-width">500</property>
    <property name="default-height">400</property>
    <child>
      <object class="GtkScrolledWindow">
        <child>
          <object class="GtkColumnView" id="resultsView">
            <child>
              <object class="GtkColumnViewColumn" id="Name">
                <property name="title">Name</property>
                <property name="expand">true</property>
              </object>
            </child>
            <child>
              <object class="GtkColumnViewColumn" id="Status">
                <property name="title"></property>
                <property name="fixed-width">60</property>
              </object>
            </child>
          </object>
        </child>
      </object>
    </child>
  </object>
</interface>)";

// A delegate that adopts the row-view protocol and nothing else.
class ViewsOnly : public SubviewTableViewControllerDataSourceProtocol {
public:
    Gtk::Widget* viewForRow(TableView*, std::int32_t row) override {
        ++viewRequests;
        bool known = row < static_cast<int>(rows.size()) && !withholdViews;
        return known ? rows[row]->view() : nullptr;
    }

    std::vector<std::unique_ptr<SubviewController>> rows;
    int viewRequests = 0;
    bool withholdViews = false;
};

// The file list's side of the table: rows with names, and the operations the table uses recorded.
class FileListDelegate : public ViewsOnly,
                         public TableViewProtocol::NumberOfRowsInTableView,
                         public TableViewProtocol::ObjectValueForTableColumn,
                         public TableViewProtocol::WillDisplayCell,
                         public TableViewProtocol::ShouldSelectRow,
                         public TableViewProtocol::TableViewColumnDidMove,
                         public TableViewProtocol::TableViewSelectionDidChange,
                         public TableViewProtocol::TableViewSelectionIsChanging {
public:
    void fill(std::vector<std::string> newNames) {
        names = std::move(newNames);
        rows.clear();
        for (const std::string& name : names) {
            rows.push_back(SubviewController::controller());
            rows.back()->setFileName("/library/" + name);
        }
    }

    int numberOfRowsInTableView(TableView*) override {
        ++countRequests;
        return static_cast<int>(names.size());
    }
    std::optional<std::string> objectValueForTableColumn(TableView*, Gtk::ColumnViewColumn* column,
                                                         int row) override {
        valueColumns.push_back(column);
        return names.at(row);
    }
    void willDisplayCell(TableView*, Gtk::Widget* cell, Gtk::ColumnViewColumn* column,
                         int) override {
        displayed.emplace_back(cell, column);
    }
    bool shouldSelectRow(TableView*, int row) override { return row != refusedRow; }
    void tableViewColumnDidMove(TableView* table) override { columnMoves.push_back(table); }
    void tableViewSelectionDidChange(TableView* table) override {
        selectionChanges.push_back(table->selectedRow());
    }
    void tableViewSelectionIsChanging(TableView*) override { ++selectionChanging; }

    std::vector<std::string> names;
    int countRequests = 0;
    int refusedRow = -1;
    std::vector<Gtk::ColumnViewColumn*> valueColumns;
    std::vector<std::pair<Gtk::Widget*, Gtk::ColumnViewColumn*>> displayed;
    std::vector<TableView*> columnMoves;
    std::vector<int> selectionChanges;
    int selectionChanging = 0;
};

// An object that serves tables but does not adopt the row-view protocol.
class NotARowViewSource : public TableViewProtocol::NumberOfRowsInTableView {
public:
    int numberOfRowsInTableView(TableView*) override { return 7; }
};

class SubviewTableTest : public FreshEnvironmentTest {
protected:
    void SetUp() override {
        FreshEnvironmentTest::SetUp();
        ImageView::initialize();
        builder = Gtk::Builder::create_from_string(tableLayout);
        window = builder->get_widget<Gtk::Window>("window");
        table = Gtk::Builder::get_widget_derived<TableView>(builder, "resultsView");
        status = table->tableColumnWithIdentifier("Status");
        name = table->tableColumnWithIdentifier("Name");
    }

    void TearDown() override {
        proxy.reset();
        delete window;
        ImageView::uninitialize();
        FreshEnvironmentTest::TearDown();
    }

    void makeProxy(TableViewDelegate* delegate) {
        proxy = SubviewTableViewController::controllerWithViewColumn(status);
        proxy->setDelegate(delegate);
    }

    void showRows(std::vector<std::string> names) {
        files.fill(std::move(names));
        proxy->reloadTableView();
        window->present();
        GuiTest::runUntil([&] { return files.rows.empty() || table->cellAt(0, status); });
    }

    bool allAttached() const {
        return std::all_of(files.rows.begin(), files.rows.end(), [](const auto& row) {
            return dynamic_cast<SubviewTableViewCell*>(row->view()->get_parent()) != nullptr;
        });
    }

    Glib::RefPtr<Gtk::Builder> builder;
    Gtk::Window* window = nullptr;
    TableView* table = nullptr;
    Gtk::ColumnViewColumn* status = nullptr;
    Gtk::ColumnViewColumn* name = nullptr;
    std::unique_ptr<SubviewTableViewController> proxy;
    FileListDelegate files;
};

TEST_F(SubviewTableTest, TheProxyAnswersTheHostingColumnAndPassesTheRestOn) {
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(TableView::identifierOf(status), "Status");
    ViewsOnly viewsOnly;
    makeProxy(&viewsOnly);
    EXPECT_EQ(table->dataSource(), proxy.get());
    EXPECT_FALSE(proxy->isValidDelegateForSelector<TableViewProtocol::NumberOfRowsInTableView>());
    EXPECT_EQ(proxy->numberOfRowsInTableView(table), 0) << "defaults for what it lacks";
    EXPECT_EQ(proxy->objectValueForTableColumn(table, name, 0), std::nullopt);
    EXPECT_TRUE(proxy->selectionShouldChangeInTableView(table));
    EXPECT_TRUE(proxy->shouldSelectRow(table, 0));

    makeProxy(&files);
    files.fill({"a.mov", "b.pdf", "c.mov"});
    EXPECT_EQ(proxy->numberOfRowsInTableView(table), 3);
    EXPECT_EQ(proxy->objectValueForTableColumn(table, name, 1), "b.pdf");
    EXPECT_EQ(proxy->objectValueForTableColumn(table, status, 0), std::nullopt);
    EXPECT_EQ(files.valueColumns, std::vector<Gtk::ColumnViewColumn*>{name});
    files.refusedRow = 2;
    EXPECT_FALSE(proxy->shouldSelectRow(table, 2));

    Gtk::Label textCell;
    proxy->willDisplayCell(table, &textCell, name, 1);
    auto* hostingCell = Gtk::make_managed<SubviewTableViewCell>();
    Gtk::Box holder;
    holder.append(*hostingCell);
    proxy->willDisplayCell(table, hostingCell, status, 1);
    ASSERT_EQ(files.displayed.size(), 1u);
    EXPECT_EQ(files.displayed[0], std::make_pair(static_cast<Gtk::Widget*>(&textCell), name));
    EXPECT_EQ(hostingCell->view(), files.rows[1]->view());

    NotARowViewSource stranger;
    EXPECT_THROW(proxy->setDelegate(&stranger), std::invalid_argument);
    EXPECT_THROW(proxy->setDelegate(nullptr), std::invalid_argument);
    EXPECT_EQ(proxy->delegate(), &files);
    EXPECT_THROW(SubviewTableViewController::controllerWithViewColumn(nullptr),
                 std::invalid_argument);
}

TEST_F(SubviewTableTest, EachRowHostsItsOwnLiveViewCentredInItsCell) {
    makeProxy(&files);
    std::vector<std::string> names{"Lesson 1.mov", "Scales.pdf", "Notes"};
    for (int index = 3; index < 300; ++index)
        names.push_back("Lesson " + std::to_string(index) + ".mov");
    showRows(names);
    EXPECT_EQ(table->numberOfRows(), 300);
    EXPECT_EQ(files.countRequests, 1);
    GuiTest::settle();
    for (int row = 0; row < 3; ++row) {
        SubView* view = files.rows[row]->view();
        EXPECT_EQ(view->get_parent(), table->cellAt(row, status));
        auto* label = dynamic_cast<Gtk::Label*>(table->cellAt(row, name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(std::string(label->get_text()), files.names[row]);
        graphene_rect_t bounds;
        ASSERT_TRUE(
            gtk_widget_compute_bounds(view->get_last_child()->gobj(), view->gobj(), &bounds));
        EXPECT_FLOAT_EQ(bounds.origin.x, (view->get_width() - 16) / 2.0f);
        EXPECT_FLOAT_EQ(bounds.size.width, 16);
    }
    // The text column's cells reached the delegate; the hosting column's did not.
    EXPECT_FALSE(files.displayed.empty());
    for (const auto& [cell, column] : files.displayed)
        EXPECT_EQ(column, name);

    table->scrollRowToVisible(299);
    ASSERT_TRUE(GuiTest::runUntil([&] { return table->cellAt(299, status) != nullptr; }));
    EXPECT_EQ(files.rows[299]->view()->get_parent(), table->cellAt(299, status));
    table->moveColumn(status, 0);
    EXPECT_EQ(table->tableColumns().front(), status);
    EXPECT_EQ(files.columnMoves, std::vector<TableView*>{table});
}

TEST_F(SubviewTableTest, ReloadingLeavesNoViewOfTheEarlierRows) {
    makeProxy(&files);
    showRows({"a.mov", "b.mov", "c.mov"});
    ASSERT_TRUE(allAttached());
    std::vector<std::unique_ptr<SubviewController>> earlier = std::move(files.rows);

    // While the list is hidden (the shop is shown) its rows are not drawn again at once.
    table->set_visible(false);
    files.fill({"d.mov", "e.mov"});
    proxy->reloadTableView();
    for (const auto& row : earlier)
        EXPECT_EQ(row->view()->get_parent(), nullptr);
    EXPECT_EQ(table->numberOfRows(), 2);
    table->set_visible(true);
    ASSERT_TRUE(GuiTest::runUntil([&] { return allAttached(); }));

    // Rows drawn again without a view keep none of the earlier ones.
    files.withholdViews = true;
    proxy->reloadTableView();
    GuiTest::settle();
    for (const auto& row : files.rows)
        EXPECT_EQ(row->view()->get_parent(), nullptr);
    files.withholdViews = false;

    // The file list drops its row controllers before it reloads: the cells let go of them.
    files.fill({"f.mov"});
    proxy->reloadTableView();
    ASSERT_TRUE(GuiTest::runUntil([&] { return allAttached(); }));
    EXPECT_EQ(table->numberOfRows(), 1);
}

TEST_F(SubviewTableTest, ACellAttachesItsRowsViewOnceAndForgetsItWhenDestroyed) {
    auto row = SubviewController::controller();
    auto* first = Gtk::make_managed<SubviewTableViewCell>();
    auto* second = Gtk::make_managed<SubviewTableViewCell>();
    Gtk::Box holder;
    holder.append(*first);
    holder.append(*second);
    for (int twice = 0; twice < 2; ++twice) {
        first->addSubview(row->view());
        first->drawInView(table);
    }
    EXPECT_EQ(row->view()->get_parent(), first);
    EXPECT_EQ(first->get_first_child(), first->get_last_child());

    // A recycled cell showing the row takes the view from the cell that showed it before.
    second->addSubview(row->view());
    second->drawInView(table);
    EXPECT_EQ(row->view()->get_parent(), second);
    EXPECT_EQ(first->get_first_child(), nullptr);
    row.reset();
    EXPECT_EQ(second->view(), nullptr);
    EXPECT_EQ(second->get_first_child(), nullptr);
}

TEST_F(SubviewTableTest, SelectionGoesThroughTheDelegateAndSurvivesAReloadWhileValid) {
    makeProxy(&files);
    int doubleClicks = 0;
    table->setDoubleAction([&](TableView*) { ++doubleClicks; });
    showRows({"a.mov", "b.mov", "c.mov"});

    table->selectRow(1, false);
    table->selectRow(1, false);
    EXPECT_EQ(files.selectionChanges, std::vector<int>{1});

    // A user's choice that the delegate refuses leaves the selection as it was.
    files.refusedRow = 2;
    table->get_model()->select_item(2, true);
    EXPECT_EQ(table->selectedRow(), 1);
    table->get_model()->select_item(0, true);
    EXPECT_EQ(files.selectionChanges, (std::vector<int>{1, 0}));
    EXPECT_EQ(files.selectionChanging, 1);

    GuiTest::settle();
    for (Gtk::Widget* child = table->get_first_child(); child; child = child->get_next_sibling())
        if (GTK_IS_LIST_VIEW(child->gobj()))
            gtk_widget_activate_action(child->gobj(), "list.activate-item", "u", 1u);
    EXPECT_EQ(doubleClicks, 1);

    proxy->reloadTableView();
    EXPECT_EQ(table->selectedRow(), 0);
    EXPECT_EQ(files.selectionChanges.size(), 2u);
    files.fill({});
    proxy->reloadTableView();
    EXPECT_EQ(table->selectedRow(), -1);
    EXPECT_EQ(files.selectionChanges.back(), -1);
}

} // namespace
