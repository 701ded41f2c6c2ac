#include "cli/Clitable.h"

#include <algorithm>

TCliTable::TCliTable(QStringList headers) : FHeaders(std::move(headers)) {}

void TCliTable::AddRow(QStringList cells)
{
    // A short row is padded and a long one cut, so every row has the
    // header's columns.
    while (cells.size() < FHeaders.size())
        cells << QString();
    while (cells.size() > FHeaders.size())
        cells.removeLast();
    FRows.push_back(std::move(cells));
}

QString TCliTable::Format() const
{
    std::vector<qsizetype> width(static_cast<std::size_t>(FHeaders.size()), 0);
    const auto measure = [&](const QStringList &row) {
        for (qsizetype i = 0; i < row.size(); ++i)
            width[static_cast<std::size_t>(i)] =
                std::max(width[static_cast<std::size_t>(i)], row[i].size());
    };
    measure(FHeaders);
    for (const auto &row : FRows)
        measure(row);

    QString out;
    const auto line = [&](const QStringList &row) {
        QString l;
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                l += QStringLiteral("  ");
            l += i + 1 < row.size() ? row[i].leftJustified(width[static_cast<std::size_t>(i)])
                                    : row[i];
        }
        while (l.endsWith(' '))
            l.chop(1);
        out += l + '\n';
    };
    line(FHeaders);
    for (const auto &row : FRows)
        line(row);
    return out;
}

QString FormatPairs(const std::vector<std::pair<QString, QString>> &pairs)
{
    qsizetype width = 0;
    for (const auto &p : pairs)
        width = std::max(width, p.first.size() + 1);
    QString out;
    for (const auto &p : pairs)
        out += (p.first + ':').leftJustified(width + 2) + p.second + '\n';
    return out;
}
