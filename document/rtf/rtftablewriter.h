#pragma once

#include <QByteArray>
#include <QRgb>

#include <functional>

class QTextTable;

// The RTF of tables: a row definition before each row's first paragraph, as word processors
// write it and read it back.
namespace RtfTableWriter {

// "\trowd\trgaphG\trleftL" with, for each cell, its borders (\clbrdrX\brdrs\brdrwN) and
// "\cellxN", from the row's cell formats; a shaded cell's colour (\clcbpatN) by the index
// `colorIndex` gives it in the colour table.
QByteArray rowDefinition(const QTextTable &table, int row, const std::function<int(QRgb)> &colorIndex);

} // namespace RtfTableWriter
