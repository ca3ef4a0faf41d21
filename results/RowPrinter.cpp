#include "results/RowPrinter.h"

#include <optional>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/TextDecoder.h"

namespace tamboro {

namespace {

bool NeedsEscape(char c)
{
    return c == '\\' || c == '\t' || c == '\r' || c == '\n';
}

// Where the first byte to escape is, from `from` on; the size when none.
// Sixteen bytes at a time: most fields hold none, and every row's folder
// and values go through here.
std::size_t FindEscape(std::string_view field, std::size_t from)
{
    std::size_t i = from;
#ifdef __SSE2__
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= field.size(); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data() + i));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, backslash), _mm_cmpeq_epi8(bytes, tab)),
                                          _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
        if (const int mask = _mm_movemask_epi8(hits); mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    while (i < field.size() && !NeedsEscape(field[i]))
        ++i;
    return i;
}

const char* EscapeOf(char c)
{
    switch (c) {
    case '\\':
        return "\\\\";
    case '\t':
        return "\\t";
    case '\r':
        return "\\r";
    default:
        return "\\n";
    }
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view field)
{
    std::size_t start = 0;
    for (std::size_t i = FindEscape(field, 0); i < field.size(); i = FindEscape(field, start)) {
        out.append(field.substr(start, i - start));
        out.append(EscapeOf(field[i]));
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
