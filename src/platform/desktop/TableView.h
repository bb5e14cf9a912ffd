#pragma once

#include <QAbstractScrollArea>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QHeaderView;
class QStandardItemModel;

namespace tallowmere::desktop {

// A table of fixed-height rows whose cells are widgets, made only for the
// rows in sight and reused by identifier as rows scroll out and in; a table
// of a thousand rows holds the widgets of the dozen it shows. Cells come
// from the data source, which asks makeView() for a reusable one first.
class TableView : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct Column {
        QString identifier;
        QString title;
        int width = 100;
    };

    class DataSource {
    public:
        virtual ~DataSource() = default;
        virtual int numberOfRows(const TableView& table) = 0;
        // The cell of a column's row: a reused one from makeView() or a new one.
        virtual QWidget* viewFor(TableView& table, const Column& column, int row) = 0;
    };

    explicit TableView(QWidget* parent = nullptr);

    void setDataSource(DataSource* dataSource) { dataSource_ = dataSource; }
    void addTableColumn(Column column);
    const std::vector<Column>& tableColumns() const { return columns_; }
    // Fits the column's width to its title.
    void sizeColumnToFitTitle(int column);
    void setRowHeight(int height);
    int rowHeight() const { return rowHeight_; }

    // A cell of that identifier no row shows any more, or none.
    QWidget* makeView(const QString& identifier);
    // Forgets every cell shown and asks the data source again.
    void reloadData();
    int numberOfRows() const { return rows_; }
    // The cell shown for a column's row, or none when the row is out of sight.
    QWidget* viewAt(int column, int row) const;
    // Scrolls until the row is in sight.
    void scrollRowToVisible(int row);
    QHeaderView* headerView() const { return header_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void updateGeometries();
    void layoutColumns();
    // Puts the cells of the rows in sight in place; those of rows gone out
    // of sight wait for reuse.
    void tile();
    void recycle(int row);

    DataSource* dataSource_ = nullptr;
    std::vector<Column> columns_;
    QHeaderView* header_;
    QStandardItemModel* headerModel_;
    int rowHeight_ = 22;
    int rows_ = 0;
    // Row → the cells of its columns, for the rows in sight.
    std::map<int, std::vector<QPointer<QWidget>>> shown_;
    std::map<QString, std::vector<QPointer<QWidget>>> reusable_;
};

}  // namespace tallowmere::desktop
