#pragma once

#include <QByteArray>

class QTextTable;

// The RTF of tables: a row definition before each row's first paragraph, as word processors
// write it and read it back.
namespace RtfTableWriter {

// "\trowd\trgaphG\trleftL" with, for each cell, its borders (\clbrdrX\brdrs\brdrwN) and
// "\cellxN", from the row's cell formats.
QByteArray rowDefinition(const QTextTable &table, int row);

} // namespace RtfTableWriter
