#include "results/RowPrinter.h"

#include <optional>

#include "platform/TextDecoder.h"

namespace tamboro {

void AppendEscaped(std::string& out, std::string_view field)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        const char* escape = nullptr;
        switch (c) {
        case '\\':
            escape = "\\\\";
            break;
        case '\t':
            escape = "\\t";
            break;
        case '\r':
            escape = "\\r";
            break;
        case '\n':
            escape = "\\n";
            break;
        default:
            continue;
        }
        out.append(field.substr(start, i - start));
        out.append(escape);
        start = i + 1;
    }
    out.append(field.substr(start));
}

void RowPrinter::AppendLine(std::string& out, const ChartRow& row)
{
    // One decision for all the values of a row, made only when one is shown.
    std::optional<Charset> charset;
    bool first = true;
    for (const ListColumn column : m_columns) {
        if (!first)
            out += '\t';
        first = false;
        if (m_raw) {
            AppendEscaped(out, ColumnBytes(row, column));
            continue;
        }
        switch (column) {
        case kColumnFolder:
            if (row.folder != m_lastFolder) {
                m_lastFolder = row.folder;
                m_lastFolderDecoded = DecodePathToUtf8(row.folder);
            }
            AppendEscaped(out, m_lastFolderDecoded);
            break;
        case kColumnFile:
            AppendEscaped(out, DecodePathToUtf8(row.file));
            break;
        case kColumnMd5:
        case kColumnSha256:
            out += ColumnBytes(row, column);  // hex digits
            break;
        case kColumnTable:
            AppendEscaped(out, row.table);  // UTF-8, as the tables write it
            break;
        default:
            if (!charset)
                charset = DetectCharset(row.values.Values());
            AppendEscaped(out, DecodeToUtf8(ColumnBytes(row, column), *charset));
            break;
        }
    }
    out += '\n';
}

}  // namespace tamboro
