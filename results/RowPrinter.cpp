#include "results/RowPrinter.h"

#include "platform/TextDecoder.h"
#include "results/ListColumn.h"

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
    if (m_raw) {
        AppendEscaped(out, row.folder);
        for (int32_t column = kColumnFolder + 1; column < kColumnCount; ++column) {
            out += '\t';
            AppendEscaped(out, ColumnBytes(row, column));
        }
        out += '\n';
        return;
    }
    if (row.folder != m_lastFolder) {
        m_lastFolder = row.folder;
        m_lastFolderDecoded = DecodePathToUtf8(row.folder);
    }
    AppendEscaped(out, m_lastFolderDecoded);
    const Charset charset = DetectCharset(row.values.Values());
    for (int32_t column = kColumnFolder + 1; column < kColumnCount; ++column) {
        out += '\t';
        AppendEscaped(out, DecodeToUtf8(ColumnBytes(row, column), charset));
    }
    out += '\n';
}

}  // namespace tamboro
