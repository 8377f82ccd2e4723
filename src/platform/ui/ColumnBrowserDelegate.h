#pragma once

class BrowserCell;
class ColumnBrowser;

// What a column browser asks of its delegate. Loading a column asks for its number of rows once;
// each row's cell is then filled at most once, when the row is first needed (shown, selected,
// looked up by name), until the column's next load. So a delegate lists the column's folder when
// asked for the count and keeps that listing to fill the column's cells from.
class ColumnBrowserDelegate {
public:
    virtual ~ColumnBrowserDelegate() = default;
    virtual int numberOfRowsInColumn(ColumnBrowser* browser, int column) = 0;
    virtual void willDisplayCell(ColumnBrowser* browser, BrowserCell* cell, int row,
                                 int column) = 0;
};
