#include "results/MissingLine.h"

#include "results/RowPrinter.h"

namespace tamboro {

void AppendMissingLine(std::string& out, const std::string& symbol, const TableEntry& entry)
{
    AppendEscaped(out, symbol + entry.level);
    for (const std::string* field :
         {&entry.title, &entry.artist, &entry.md5, &entry.sha256, &entry.url, &entry.urlDiff}) {
        out += '\t';
        AppendEscaped(out, *field);
    }
    out += '\n';
}

}  // namespace tamboro
