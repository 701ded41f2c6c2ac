#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// A result table for the terminal: a header row and rows of texts, printed
// with every column as wide as its widest cell.
class TCliTable
{
public:
    explicit TCliTable(QStringList headers);

    void AddRow(QStringList cells);
    int RowCount() const { return static_cast<int>(FRows.size()); }

    // Columns separated by two blanks, no trailing blanks; one line per row.
    QString Format() const;

private:
    QStringList FHeaders;
    std::vector<QStringList> FRows;
};

// Key/value lines ("Firmware:  V2.60?") aligned on the values.
QString FormatPairs(const std::vector<std::pair<QString, QString>> &pairs);
