#include "results/RowPrinter.h"

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
    if (m_raw) {
        AppendEscaped(out, row.folder);
        for (const std::string* field : {&row.genre, &row.title, &row.artist}) {
            out += '\t';
            AppendEscaped(out, *field);
        }
        out += '\n';
        return;
    }
    if (row.folder != m_lastFolder) {
        m_lastFolder = row.folder;
        m_lastFolderDecoded = DecodePathToUtf8(row.folder);
    }
    AppendEscaped(out, m_lastFolderDecoded);
    const Charset charset = DetectCharset({row.genre, row.title, row.artist});
    for (const std::string* field : {&row.genre, &row.title, &row.artist}) {
        out += '\t';
        AppendEscaped(out, DecodeToUtf8(*field, charset));
    }
    out += '\n';
}

}  // namespace tamboro
