// A sortable HTML list of records. The sort column and direction come from
// the form fields "iCol" and "bAsc"; a column header links to the reverse
// order of its column.
#pragma once

#include <string>
#include <vector>

class LWebletForm;

class LHtmlListRow
{
  public:
    // Text cells are HTML-encoded; the PrintF forms write HTML as formatted.
    void AddCell(const char *text) { AddCellWithOrder(text, nullptr); }
    void AddCellWithOrder(const char *text, const char *order_text);
    void AddCellInt(int value);
    void AddCellIntLink(int value, const char *link);
    void AddCellImageLink(const char *image, const char *link, const char *alt);
    void AddCellPrintF(const char *format, ...);
    void AddCellPrintFWithOrder(const char *order_text, const char *format, ...);
    void SetArguments(const char *arguments) { this->arguments = arguments; }

    struct Cell {
        std::string html;
        std::string order;
    };
    const std::vector<Cell> &Cells() const { return cells; }

  private:
    void AddRaw(const std::string &html, const std::string &order);
    std::vector<Cell> cells;
    std::string arguments;
};

class LHtmlList
{
  public:
    // Column header alignment.
    enum { AlignLeft = 0, AlignCentre = 1, AlignRight = 2, AlignRawHeader = 3 };

    LHtmlList(LWebletForm &form, const char *base_url, int default_column);

    void AddColumn(const char *title, int width_percent, int align, bool sortable);
    void AddColumnRawHTML(const char *html, int width_percent);
    void AddRow(LHtmlListRow row);
    void Write(LWebletForm &form, int width_percent);
    int GetRowCount() const { return (int)rows.size(); }
    int GetSortColumn() const { return sort_column; }
    bool IsAscending() const { return ascending; }

  private:
    struct Column {
        std::string title;
        int width;
        int align;
        bool sortable;
    };
    bool Before(const LHtmlListRow &a, const LHtmlListRow &b) const;
    void WriteHeader(LWebletForm &form, size_t index);
    std::string SortLink(size_t index) const;

    std::string base_url;
    int sort_column;
    bool ascending;
    std::vector<Column> columns;
    std::vector<LHtmlListRow> rows;
};
