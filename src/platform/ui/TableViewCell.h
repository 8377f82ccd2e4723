#pragma once

class TableView;

// A table cell widget that hosts more than text. The table tells it when it is about to show
// its row, after the delegate has seen it: the moment a drawn cell would be drawn. The cell's
// frame is its allocation.
class TableViewCell {
public:
    virtual ~TableViewCell() = default;
    virtual void drawInView(TableView* controlView) = 0;
};
